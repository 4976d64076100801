#include "ui/screen.h"

#include <tinyxml2.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/paths.h"
#include "persist/log.h"
#include "ui/bitmap_font.h"
#include "ui/texture_registry.h"

namespace {

std::function<void(const std::string&)> screenSoundPlayer;
ScreenOptionStore* optionStore = nullptr;

constexpr ColourArgb OpaqueWhite = 0xFFFFFFFFu;
constexpr float ButtonLabelSize = 0.04f;
// A broken screen file could otherwise write one line per element; the first few say enough.
constexpr int MaxLoadComplaints = 20;

}  // namespace

// Reads the attributes of one file into the records and notes what did not fit.
class ScreenFileReader {
public:
    explicit ScreenFileReader(const std::string& fileName) : fileName(fileName) {}
    ~ScreenFileReader() {
        if (suppressed > 0)
            WriteLog("Screen '" + fileName + "': " + std::to_string(suppressed) + " more problems not listed",
                     0);
    }

    void Text(const tinyxml2::XMLElement* element, const char* attribute, std::string& field,
              size_t width = ScreenFieldLength) {
        const char* value = element->Attribute(attribute);
        if (!value) return;
        field = value;
        if (field.size() > width) {
            field.resize(width);
            Complain("attribute '" + std::string(attribute) + "' cut to " + std::to_string(width) +
                     " characters");
        }
    }

    // The leading decimal number of the value; text without one, and values that are not finite
    // numbers ("nan", "inf", 1e999), read as 0.
    void Number(const tinyxml2::XMLElement* element, const char* attribute, float& field) {
        const char* value = element->Attribute(attribute);
        if (!value) return;
        const double number = std::strtod(value, nullptr);
        field = std::isfinite(number) && std::fabs(number) <= FLT_MAX ? static_cast<float>(number) : 0.0f;
    }

    void Complain(const std::string& problem) {
        if (complaints < MaxLoadComplaints) {
            ++complaints;
            WriteLog("Screen '" + fileName + "': " + problem, 0);
        } else {
            ++suppressed;
        }
    }

private:
    const std::string& fileName;
    int complaints = 0;
    long suppressed = 0;
};

namespace {

// The strict hit box: the boundary pixels are outside. Compared in floating point, so that no
// position, however wild, is turned into an out-of-range integer.
bool PointInBox(float xc, float yc, float w, float h, PixelSize client, int x, int y) {
    const float clientW = static_cast<float>(client.width), clientH = static_cast<float>(client.height);
    const float left = xc - w / 2, top = yc - h / 2;
    const float px = static_cast<float>(x), py = static_cast<float>(y);
    return std::trunc(left * clientW) < px && px < std::trunc((left + w) * clientW) &&
           std::trunc(top * clientH) < py && py < std::trunc((top + h) * clientH);
}

// Where along the slider's track the pointer is (0 = left end, 1 = right end), or -1 off the track.
float SliderPosition(const ScreenSlider& slider, PixelSize client, int x, int y) {
    if (!PointInBox(slider.xc, slider.yc, slider.trackWidth, slider.trackHeight, client, x, y)) return -1;
    const float left = slider.xc - slider.trackWidth / 2;
    return (static_cast<float>(x) / static_cast<float>(client.width) - left) / slider.trackWidth;
}

void StoreChecked(const ScreenButton& button) {
    if (optionStore) optionStore->StoreOption(button.name, std::to_string(button.checked));
}

void StoreValue(const ScreenSlider& slider) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(slider.value));
    if (optionStore) optionStore->StoreOption(slider.name, text);
}

// The pixel size of a picture as fractions of the client area; false when it has none.
bool PictureSize(Texture* texture, PixelSize client, float& w, float& h) {
    const PixelSize own = TextureRegistry::GetTextureSize(texture);
    if (!texture || client.width <= 0 || client.height <= 0) return false;
    w = static_cast<float>(own.width) / static_cast<float>(client.width);
    h = static_cast<float>(own.height) / static_cast<float>(client.height);
    return true;
}

// A pixel centre within the strict hit range of one axis.
std::optional<int> CentrePixel(float centre, float size, int clientSize) {
    const double low = std::trunc(static_cast<double>(centre - size / 2) * clientSize);
    const double high = std::trunc(static_cast<double>(centre - size / 2 + size) * clientSize);
    const double mid = std::floor((low + high) / 2);
    if (!std::isfinite(mid) || mid < -1e9 || mid > 1e9) return std::nullopt;
    return static_cast<int>(mid);
}

}  // namespace

void SetScreenSoundPlayer(std::function<void(const std::string& fileName)> player) {
    screenSoundPlayer = std::move(player);
}

void SetScreenOptionStore(ScreenOptionStore* store) {
    optionStore = store;
}

void Screen::Clear() {
    *this = Screen();
}

int Screen::LoadFromXml(const std::string& fileName) {
    std::string bytes;
    bool readable = false;
    std::string why;
    if (std::FILE* file = OpenRegularFile(LocateGameFile(fileName))) {
        char chunk[16384];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0 &&
               bytes.size() + got <= MaxScreenFileSize)
            bytes.append(chunk, got);
        readable = got == 0 && !std::ferror(file);
        if (!readable) why = std::ferror(file) ? std::strerror(errno) : "larger than a screen file can be";
        std::fclose(file);
    } else {
        why = errno != 0 ? std::strerror(errno) : "not a regular file";
    }
    if (!readable) {
        Clear();
        this->fileName = fileName;
        loadFailed = true;
        WriteLog("Fatal error, cannot load XML: " + fileName + " (" + why + ")", 0);
        return 0;
    }
    return LoadFromText(bytes, fileName);
}

int Screen::LoadFromText(std::string_view xml, const std::string& fileName) {
    Clear();
    this->fileName = fileName;
    tinyxml2::XMLDocument document;
    // Parsing stops at the first NUL byte; an empty file is an error, as it is for the file loader.
    if (xml.empty() || document.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) {
        loadFailed = true;
        const char* error = document.ErrorStr();
        WriteLog("Fatal error, cannot load XML: " + fileName + " (" +
                     (xml.empty() ? std::string("empty file") : std::string(error ? error : "not XML")) + ")",
                 0);
        return 0;
    }
    const tinyxml2::XMLElement* root = document.FirstChildElement("Screen");
    if (!root) {
        WriteLog("Screen '" + fileName + "': no Screen element, the screen is empty", 0);
        return 1;
    }

    ScreenFileReader reader(fileName);
    reader.Number(root, "xc", xc);
    reader.Number(root, "yc", yc);
    reader.Number(root, "width", width);
    reader.Number(root, "height", height);
    reader.Text(root, "bgImage", bgImage);
    reader.Text(root, "clickSound", clickSound);
    reader.Text(root, "overSound", overSound);

    // Only the direct children count; kinds may be interleaved, each kind keeps its file order.
    for (const tinyxml2::XMLElement* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const std::string_view kind = e->Name();
        if (kind == "Button") {
            if (buttons.size() >= MaxScreenButtons) {
                reader.Complain("more than 50 buttons, button ignored");
                continue;
            }
            ScreenButton& b = buttons.emplace_back();
            reader.Text(e, "name", b.name);
            reader.Text(e, "text", b.text);
            reader.Text(e, "align", b.align);
            reader.Text(e, "stretch", b.stretch);
            reader.Number(e, "xc", b.xc);
            reader.Number(e, "yc", b.yc);
            reader.Number(e, "width", b.width);
            reader.Number(e, "height", b.height);
            reader.Text(e, "outImg", b.outImg);
            reader.Text(e, "overImg", b.overImg);
            reader.Text(e, "outImgChecked", b.outImgChecked);
            reader.Text(e, "overImgChecked", b.overImgChecked);
            reader.Text(e, "action", b.action);
        } else if (kind == "Slider") {
            if (sliders.size() >= MaxScreenSliders) {
                reader.Complain("more than 5 sliders, slider ignored");
                continue;
            }
            ScreenSlider& s = sliders.emplace_back();
            reader.Text(e, "name", s.name);
            reader.Number(e, "xc", s.xc);
            reader.Number(e, "yc", s.yc);
            reader.Text(e, "outSliderImg", s.outSliderImg);
            reader.Text(e, "overSliderImg", s.overSliderImg);
            reader.Text(e, "outThumbImg", s.outThumbImg);
            reader.Text(e, "overThumbImg", s.overThumbImg);
            reader.Text(e, "action", s.action);
        } else if (kind == "Image") {
            if (images.size() >= MaxScreenImages) {
                reader.Complain("more than 20 images, image ignored");
                continue;
            }
            ScreenImage& i = images.emplace_back();
            reader.Text(e, "img", i.img);
            reader.Text(e, "stretch", i.stretch);
            reader.Number(e, "xc", i.xc);
            reader.Number(e, "yc", i.yc);
            reader.Number(e, "width", i.width);
            reader.Number(e, "height", i.height);
        } else if (kind == "Text") {
            if (texts.size() >= MaxScreenTexts) {
                reader.Complain("more than 20 texts, text ignored");
                continue;
            }
            ScreenText& t = texts.emplace_back();
            reader.Text(e, "name", t.name);
            reader.Text(e, "text", t.text, ScreenTextLength);
            reader.Text(e, "align", t.align);
            reader.Number(e, "xc", t.xc);
            reader.Number(e, "yc", t.yc);
            reader.Number(e, "size", t.size);
        }
    }
    RestoreOptions(reader);
    return 1;
}

void Screen::RestoreOptions(ScreenFileReader& reader) {
    if (!optionStore) return;
    // Only checkable buttons have a stored state; a value such as 0.9 truncates to unchecked.
    for (ScreenButton& b : buttons) {
        if (!b.Checkable()) continue;
        int stored = 0;
        if (optionStore->ReadOptionInt(b.name, stored)) b.checked = stored;
    }
    for (ScreenSlider& s : sliders) {
        float stored = 0;
        if (!optionStore->ReadOptionFloat(s.name, stored)) continue;
        s.value = std::clamp(stored, 0.0f, 1.0f);
        if (s.value != stored)
            reader.Complain("stored value of slider '" + s.name + "' lies outside 0 to 1; " +
                            std::to_string(s.value) + " is used");
    }
}

void Screen::PlaySound(const std::string& fileName) const {
    if (!fileName.empty() && screenSoundPlayer) screenSoundPlayer(fileName);
}

void Screen::Draw() {
    TextureRegistry& registry = textureRegistry;
    const PixelSize client = registry.GetClientSize();

    if (!bgImage.empty())
        registry.DrawQuad(registry.GetTexture(bgImage), xc, yc, width, height, 0, 0, 1, 1, OpaqueWhite,
                          QUAD_ALPHA_BLEND);

    for (const ScreenImage& i : images) {
        const uint32_t flags = QUAD_ALPHA_BLEND | (i.stretch == "no" ? QUAD_PIXEL_SIZE : 0);
        registry.DrawQuad(registry.GetTexture(i.img), i.xc, i.yc, i.width, i.height, 0, 0, 1, 1, OpaqueWhite,
                          flags);
    }

    for (const ScreenText& t : texts) {
        if (t.text.empty()) continue;
        const uint32_t flags = t.align == "left" ? 0 : t.align == "right" ? TEXT_RIGHT : TEXT_CENTRE;
        bitmapFont.DrawText(t.xc, t.yc, t.size, OpaqueWhite, flags, t.text);
    }

    for (size_t i = 0; i < buttons.size(); ++i) {
        ScreenButton& b = buttons[i];
        b.labelSize = ButtonLabelSize;
        const bool checked = b.checked != 0;
        const bool lit = IsLit(i, b.hovered);
        const std::string& picture =
            lit ? (checked ? b.overImgChecked : b.overImg) : (checked ? b.outImgChecked : b.outImg);
        Texture* texture = registry.GetTexture(picture);
        const bool ownSize = b.stretch == "no";
        if (ownSize) {
            // The button is as large as its picture, and its label one font cell high in pixels.
            // A picture that does not load leaves the last size in place and draws nothing.
            const bool sized = PictureSize(texture, client, b.width, b.height);
            // A label as tall as one of the font's eight rows of glyph cells.
            const int cellHeight = TextureRegistry::GetTextureSize(bitmapFont.FontTexture()).height / 8;
            if (client.height > 0)
                b.labelSize = static_cast<float>(cellHeight) / static_cast<float>(client.height);
            if (sized)
                registry.DrawQuad(texture, b.xc, b.yc, b.width, b.height, 0, 0, 1, 1, OpaqueWhite,
                                  QUAD_ALPHA_BLEND | QUAD_PIXEL_SIZE);
        } else {
            registry.DrawQuad(texture, b.xc, b.yc, b.width, b.height, 0, 0, 1, 1, OpaqueWhite,
                              QUAD_ALPHA_BLEND);
        }
        if (b.text.empty()) continue;
        const uint32_t pixelFlag = ownSize ? TEXT_PIXEL_SIZE : 0;
        if (b.align == "left")
            bitmapFont.DrawText(b.xc + b.width, b.yc, b.labelSize, OpaqueWhite, pixelFlag, b.text);
        else if (b.align == "right")
            bitmapFont.DrawText(b.xc - b.width, b.yc, b.labelSize, OpaqueWhite, TEXT_RIGHT | pixelFlag,
                                b.text);
        else
            bitmapFont.DrawText(b.xc, b.yc, b.labelSize, OpaqueWhite, TEXT_CENTRE | pixelFlag, b.text);
    }

    for (size_t i = 0; i < sliders.size(); ++i) {
        ScreenSlider& s = sliders[i];
        const bool lit = IsLit(buttons.size() + i, s.hovered);
        Texture* track = registry.GetTexture(lit ? s.overSliderImg : s.outSliderImg);
        Texture* thumb = registry.GetTexture(lit ? s.overThumbImg : s.outThumbImg);
        if (PictureSize(track, client, s.trackWidth, s.trackHeight))
            registry.DrawQuad(track, s.xc, s.yc, s.trackWidth, s.trackHeight, 0, 0, 1, 1, OpaqueWhite,
                              QUAD_ALPHA_BLEND | QUAD_PIXEL_SIZE);
        if (PictureSize(thumb, client, s.thumbWidth, s.thumbHeight))
            registry.DrawQuad(thumb, s.xc - s.trackWidth / 2 + s.value * s.trackWidth, s.yc, s.thumbWidth,
                              s.thumbHeight, 0, 0, 1, 1, OpaqueWhite, QUAD_ALPHA_BLEND | QUAD_PIXEL_SIZE);
    }
}

std::string Screen::HandleMouse(uint32_t messageId, int x, int y, bool leftButtonDown) {
    const PixelSize client = textureRegistry.GetClientSize();
    if (client.width <= 0 || client.height <= 0) return {};

    if (messageId == WM_MOUSEMOVE) {
        int pointed = -1;
        for (size_t i = 0; i < buttons.size(); ++i) {
            ScreenButton& b = buttons[i];
            if (PointInBox(b.xc, b.yc, b.width, b.height, client, x, y)) {
                if (!b.hovered) PlaySound(overSound);  // once per entry
                b.hovered = 1;
                if (pointed < 0) pointed = static_cast<int>(i);
            } else {
                b.hovered = 0;
            }
        }
        for (size_t i = 0; i < sliders.size(); ++i) {
            ScreenSlider& s = sliders[i];
            const float t = SliderPosition(s, client, x, y);
            if (t < 0 || t > 1) {
                s.hovered = 0;
                continue;
            }
            if (!s.hovered) PlaySound(overSound);
            s.hovered = 1;
            if (pointed < 0) pointed = static_cast<int>(buttons.size() + i);
            // Dragging: the thumb follows a held button for as long as the pointer stays on the track.
            if (leftButtonDown) {
                if (focusEnabled) focus = pointed;
                return SetSliderValue(s, t);
            }
        }
        if (focusEnabled && pointed >= 0) focus = pointed;
        return {};
    }

    if (messageId == WM_LBUTTONDOWN) {
        // The first button under the pointer wins, and buttons win over sliders.
        for (ScreenButton& b : buttons) {
            if (PointInBox(b.xc, b.yc, b.width, b.height, client, x, y)) return Press(b);
        }
        for (ScreenSlider& s : sliders) {
            const float t = SliderPosition(s, client, x, y);
            if (t < 0 || t > 1) continue;
            PlaySound(clickSound);
            return SetSliderValue(s, t);
        }
    }
    return {};
}

std::string Screen::Press(ScreenButton& button) {
    PlaySound(clickSound);
    if (button.Checkable()) {
        button.checked = button.checked ? 0 : 1;
        StoreChecked(button);
    }
    return button.action;
}

std::string Screen::SetSliderValue(ScreenSlider& slider, float value) {
    slider.value = std::clamp(value, 0.0f, 1.0f);
    StoreValue(slider);
    return slider.action;
}

int Screen::IsChecked(std::string_view name) const {
    // Any button of that name counts: a later one may be the one that was clicked or restored.
    for (const ScreenButton& b : buttons)
        if (b.name == name && b.checked) return 1;
    return 0;
}

void Screen::SetChecked(std::string_view name, int value) {
    for (ScreenButton& b : buttons) {
        if (b.name != name) continue;
        b.checked = value;
        StoreChecked(b);
    }
}

const ScreenText* Screen::FindText(std::string_view name) const {
    for (const ScreenText& t : texts)
        if (t.name == name) return &t;
    return nullptr;
}

float Screen::GetTextX(std::string_view name) const {
    const ScreenText* t = FindText(name);
    return t ? t->xc : 0.0f;
}

float Screen::GetTextY(std::string_view name) const {
    const ScreenText* t = FindText(name);
    return t ? t->yc : 0.0f;
}

float Screen::GetTextSize(std::string_view name) const {
    const ScreenText* t = FindText(name);
    return t ? t->size : 0.0f;
}

bool Screen::HasAction(std::string_view action) const {
    for (const ScreenButton& b : buttons)
        if (b.action == action) return true;
    for (const ScreenSlider& s : sliders)
        if (s.action == action) return true;
    return false;
}

std::optional<Point> Screen::FindActionCentre(std::string_view action) const {
    const PixelSize client = textureRegistry.GetClientSize();
    if (action.empty() || client.width <= 0 || client.height <= 0) return std::nullopt;
    auto centre = [&](float cx, float cy, float w, float h) -> std::optional<Point> {
        const std::optional<int> px = CentrePixel(cx, w, client.width),
                                 py = CentrePixel(cy, h, client.height);
        if (!px || !py) return std::nullopt;
        return Point{*px, *py};
    };
    for (const ScreenButton& b : buttons)
        if (b.action == action) return centre(b.xc, b.yc, b.width, b.height);
    for (const ScreenSlider& s : sliders)
        if (s.action == action) return centre(s.xc, s.yc, s.trackWidth, s.trackHeight);
    return std::nullopt;
}

// ---------------------------------------------------------------------------------------------------
// Keyboard and pad focus

void Screen::EnableFocus(bool enabled) {
    focusEnabled = enabled;
    if (!enabled) focus = -1;
}

void Screen::ResetFocus() {
    if (!focusEnabled) return;
    for (ScreenButton& b : buttons) b.hovered = 0;
    for (ScreenSlider& s : sliders) s.hovered = 0;
    focus = buttons.empty() && sliders.empty() ? -1 : 0;
}

bool Screen::IsLit(size_t widget, int hovered) const {
    return hovered != 0 || (focusEnabled && focus == static_cast<int>(widget));
}

// The widget a move goes to, by the widgets' centres in client pixels: Up and Down take the nearest
// widget above or below (a sideways offset counts double), wrapping round to the far end; Left and
// Right the nearest one on the same line.
int Screen::NearestWidget(MenuMove move) const {
    const PixelSize client = textureRegistry.GetClientSize();
    const float w = client.width > 0 ? static_cast<float>(client.width) : 800.0f;
    const float h = client.height > 0 ? static_cast<float>(client.height) : 600.0f;
    struct Place {
        float x, y, height;
    };
    std::vector<Place> places;
    for (const ScreenButton& b : buttons) places.push_back({b.xc * w, b.yc * h, b.height * h});
    for (const ScreenSlider& s : sliders)
        places.push_back({s.xc * w, s.yc * h, std::max(s.trackHeight, s.thumbHeight) * h});
    if (focus < 0 || focus >= static_cast<int>(places.size())) return places.empty() ? -1 : 0;

    constexpr float SameLine = 2.0f;  // pixels
    const Place from = places[static_cast<size_t>(focus)];
    const bool vertical = move == MenuMove::Up || move == MenuMove::Down;
    const float sign = move == MenuMove::Up || move == MenuMove::Left ? -1.0f : 1.0f;
    int best = -1;
    float bestScore = 0;
    for (size_t i = 0; i < places.size(); ++i) {
        if (static_cast<int>(i) == focus) continue;
        const float dx = (places[i].x - from.x) * (vertical ? 1.0f : sign);
        const float dy = (places[i].y - from.y) * (vertical ? sign : 1.0f);
        float score;
        if (vertical) {
            if (dy <= SameLine) continue;
            score = dy + 2 * std::fabs(dx);
        } else {
            const float line = std::max(std::max(from.height, places[i].height) / 2, SameLine);
            if (dx <= SameLine || std::fabs(dy) > line) continue;
            score = dx + 2 * std::fabs(dy);
        }
        if (best < 0 || score < bestScore) {
            best = static_cast<int>(i);
            bestScore = score;
        }
    }
    if (best >= 0 || !vertical) return best;
    // Past the last line: round to the far end, to the widget nearest in the sideways direction.
    for (size_t i = 0; i < places.size(); ++i) {
        if (static_cast<int>(i) == focus) continue;
        const float depth = places[i].y * sign;
        const float score = std::fabs(places[i].x - from.x);
        if (best < 0) {
            best = static_cast<int>(i);
            continue;
        }
        const float bestDepth = places[static_cast<size_t>(best)].y * sign;
        if (depth < bestDepth - SameLine || (std::fabs(depth - bestDepth) <= SameLine &&
                                             score < std::fabs(places[static_cast<size_t>(best)].x - from.x)))
            best = static_cast<int>(i);
    }
    return best;
}

void Screen::MoveFocus(int widget) {
    if (widget < 0 || widget == focus) return;
    for (ScreenButton& b : buttons) b.hovered = 0;
    for (ScreenSlider& s : sliders) s.hovered = 0;
    focus = widget;
    PlaySound(overSound);
}

std::string Screen::Navigate(MenuMove move) {
    if (!focusEnabled) return {};
    const int buttonCount = static_cast<int>(buttons.size());
    const bool onSlider = focus >= buttonCount && focus < buttonCount + static_cast<int>(sliders.size());
    switch (move) {
        case MenuMove::Left:
        case MenuMove::Right:
            if (onSlider) {
                ScreenSlider& slider = sliders[static_cast<size_t>(focus - buttonCount)];
                const float step = move == MenuMove::Left ? -SliderKeyStep : SliderKeyStep;
                return SetSliderValue(slider, slider.value + step);
            }
            MoveFocus(NearestWidget(move));
            return {};
        case MenuMove::Up:
        case MenuMove::Down:
            MoveFocus(NearestWidget(move));
            return {};
        case MenuMove::Activate:
            if (focus >= 0 && focus < buttonCount) return Press(buttons[static_cast<size_t>(focus)]);
            return {};
        case MenuMove::Back:
            for (const char* cancel : {"procClose", "procNo"}) {
                for (ScreenButton& b : buttons)
                    if (b.action == cancel) return Press(b);
            }
            return {};
    }
    return {};
}

const ScreenButton* Screen::FindButton(std::string_view name) const {
    for (const ScreenButton& b : buttons)
        if (b.name == name) return &b;
    return nullptr;
}

float Screen::SliderValue(std::string_view name, float fallback) const {
    for (const ScreenSlider& s : sliders)
        if (s.name == name) return s.value;
    return fallback;
}

std::string Screen::FocusedName() const {
    const int buttonCount = static_cast<int>(buttons.size());
    if (focus >= 0 && focus < buttonCount) return buttons[static_cast<size_t>(focus)].name;
    if (focus >= buttonCount && focus < buttonCount + static_cast<int>(sliders.size()))
        return sliders[static_cast<size_t>(focus - buttonCount)].name;
    return {};
}

std::string Screen::FocusedAction() const {
    const int buttonCount = static_cast<int>(buttons.size());
    if (focus >= 0 && focus < buttonCount) return buttons[static_cast<size_t>(focus)].action;
    if (focus >= buttonCount && focus < buttonCount + static_cast<int>(sliders.size()))
        return sliders[static_cast<size_t>(focus - buttonCount)].action;
    return {};
}
