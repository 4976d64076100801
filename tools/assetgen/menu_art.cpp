// The menu pictures: the title lettering, translucent panels sized for each screen, buttons in their
// out and over states, check boxes in their four states, paging arrows, the pause and value boxes,
// and the loading splash of each language. One look throughout: deep blue glass with a cool rim light,
// gold for the title and the check marks. Panels are drawn at one and a half times their 800 x 600 size:
// they stay smooth on a full-HD screen, and each costs the device under half the memory it would at
// twice the size (the help panel is the largest picture the game holds).
#include <algorithm>
#include <cmath>

#include "graphics_assets.h"

namespace {

// Alpha grown by a radius, with a soft last pixel.
Canvas DilateAlpha(const Canvas& mask, float radius) {
    Canvas out(mask.width, mask.height, {0, 0, 0, 0});
    const int r = static_cast<int>(std::ceil(radius));
    std::vector<float> horizontal(mask.pixels.size(), 0);
    // Separable max filter on a square, then rounded by the distance check on the second pass.
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            float best = 0;
            for (int d = -r; d <= r; ++d) {
                const int sx = x + d;
                if (sx >= 0 && sx < mask.width)
                    best = std::max(best, mask.At(sx, y).a * Clamp01(radius + 0.5f - std::fabs(d)));
            }
            horizontal[static_cast<size_t>(y) * mask.width + x] = best;
        }
    for (int y = 0; y < mask.height; ++y)
        for (int x = 0; x < mask.width; ++x) {
            float best = 0;
            for (int d = -r; d <= r; ++d) {
                const int sy = y + d;
                if (sy >= 0 && sy < mask.height)
                    best = std::max(best, horizontal[static_cast<size_t>(sy) * mask.width + x] *
                                              Clamp01(radius + 0.5f - std::fabs(d)));
            }
            out.At(x, y).a = best;
        }
    return out;
}

Canvas BoxBlurAlpha(const Canvas& mask, int radius) {
    Canvas out = mask;
    for (int pass = 0; pass < 2; ++pass) {
        Canvas src = out;
        for (int y = 0; y < mask.height; ++y)
            for (int x = 0; x < mask.width; ++x) {
                float sum = 0;
                int n = 0;
                for (int d = -radius; d <= radius; ++d) {
                    const int sx = pass == 0 ? x + d : x, sy = pass == 0 ? y : y + d;
                    if (sx < 0 || sy < 0 || sx >= mask.width || sy >= mask.height) continue;
                    sum += src.At(sx, sy).a;
                    ++n;
                }
                out.At(x, y).a = n ? sum / n : 0;
            }
    }
    return out;
}

// The title: "KELVANE" in gold with a dark outline, a bevel light and a shadow, and a row of the
// seven cell colours beneath it.
Canvas Logo() {
    const int width = 1024, height = 256;
    Canvas image(width, height, {0, 0, 0, 0});
    int baseline = 0;
    Canvas letters = TextMask(U"KELVANE", 190, 16, &baseline);
    if (letters.width > width - 40)
        letters = Resize(letters, width - 40, letters.height * (width - 40) / letters.width);
    const int ox = (width - letters.width) / 2, oy = 4;
    const Canvas outline = DilateAlpha(letters, 7);
    const Canvas shadow = BoxBlurAlpha(DilateAlpha(letters, 9), 5);
    for (int y = 0; y < letters.height; ++y)
        for (int x = 0; x < letters.width; ++x) {
            const int px = ox + x, py = oy + y;
            if (px < 0 || py < 0 || px >= width || py >= height) continue;
            Colour& c = image.At(px, py);
            const int sx = x - 6, sy = y - 8;
            if (sx >= 0 && sy >= 0 && sx < letters.width && sy < letters.height)
                BlendOver(c, {0, 0, 0.05f, 1}, 0.55f * shadow.At(sx, sy).a);
            BlendOver(c, FromHex(0x10183A), outline.At(x, y).a);
            const float t = Clamp01(static_cast<float>(y - 30) / 150.0f);
            Colour fill = t < 0.5f ? Mix(FromHex(0xFFF4B0), FromHex(0xFFC43A), t * 2)
                                   : Mix(FromHex(0xFFC43A), FromHex(0xE0641A), (t - 0.5f) * 2);
            // Bevel: lighter where the letter's edge faces up and left, darker down and right.
            const float here = letters.At(x, y).a;
            const float upLeft = (x >= 3 && y >= 3) ? letters.At(x - 3, y - 3).a : 0;
            const float downRight =
                (x + 3 < letters.width && y + 3 < letters.height) ? letters.At(x + 3, y + 3).a : 0;
            fill = Mix(fill, {1, 1, 0.92f, 1}, 0.7f * Clamp01(here - upLeft));
            fill = Mix(fill, FromHex(0x8A2A08), 0.6f * Clamp01(here - downRight));
            BlendOver(c, fill, here);
        }
    const uint32_t palette[7] = {0xDB610F, 0xF2A30D, 0xF5EB4D, 0x0DA87A, 0x66BDF5, 0x1478CC, 0xDB85B8};
    const float block = 26, gap = 10, rowWidth = 7 * block + 6 * gap;
    const float top = static_cast<float>(height) - block - 12;
    for (int i = 0; i < 7; ++i) {
        const float cx = (width - rowWidth) / 2 + i * (block + gap) + block / 2, cy = top + block / 2;
        const Colour base = FromHex(palette[i]);
        ShadeShape(
            image,
            [&](float x, float y) { return DistanceRoundedBox(x, y, cx, cy, block / 2, block / 2, 5); },
            [&](float d, float, float y) {
                if (d > 3) return Colour{0, 0, 0, 0};
                Colour c =
                    Mix(Scale(base, 1.15f), Scale(base, 0.7f), Clamp01((y - (cy - block / 2)) / block));
                c = Mix(FromHex(0x10183A), c, CoverageFromDistance(d + 2));
                c.a = CoverageFromDistance(d - 2);
                return c;
            },
            static_cast<int>(cx - block), static_cast<int>(cy - block), static_cast<int>(cx + block),
            static_cast<int>(cy + block));
    }
    return image;
}

// A translucent rounded panel with a rim light, a sheen across its top and a soft outer glow; an
// opacity near 1 hides what lies behind (a question over a busy screen). The size is in pixels of the
// 800 x 600 screen.
constexpr float PanelScale = 1.5f;

Canvas Panel(int screenWidth, int screenHeight, float opacity = 0.84f) {
    const int width = static_cast<int>(std::lround(screenWidth * PanelScale)),
              height = static_cast<int>(std::lround(screenHeight * PanelScale));
    Canvas image(width, height, {0, 0, 0, 0});
    // Distances in pixels of the picture, laid out at twice the screen's size.
    const float unit = PanelScale / 2;
    const float margin = 10 * unit, radius = 26 * unit;
    const float cx = width / 2.0f, cy = height / 2.0f, hw = width / 2.0f - margin,
                hh = height / 2.0f - margin;
    ShadeShape(
        image, [&](float x, float y) { return DistanceRoundedBox(x, y, cx, cy, hw, hh, radius); },
        [&](float d, float, float y) {
            const float t = (y - margin) / (2 * hh);
            if (d > 0) {
                Colour glow = FromHex(0x4A8CFF);
                glow.a = 0.35f * std::exp(-d / (4.0f * unit));
                return glow;
            }
            Colour c = Mix(FromHex(0x0E1A42), FromHex(0x060A20), Clamp01(t));
            c.a = opacity;
            c = Mix(c, {0.55f, 0.7f, 1.0f, 0.9f}, 0.10f * SmoothStep(0.2f, 0.0f, t));
            const float rim = std::exp(-std::fabs(d + 3.5f * unit) / (1.2f * unit));
            c = Mix(c, {0.62f, 0.82f, 1.0f, 1.0f}, Clamp01(rim));
            const float inner = std::exp(-std::fabs(d + 9 * unit) / (2.5f * unit));
            c = Mix(c, {0.25f, 0.4f, 0.8f, 0.9f}, 0.25f * inner);
            c.a *= CoverageFromDistance(d);
            return c;
        },
        0, 0, width, height);
    return image;
}

// A capsule button; the over state is brighter with a warm rim.
Canvas Button(int width, int height, bool over) {
    Canvas image(width, height, {0, 0, 0, 0});
    const float margin = 6, cx = width / 2.0f, cy = height / 2.0f;
    const float hw = width / 2.0f - margin, hh = height / 2.0f - margin;
    const Colour top = over ? FromHex(0x3F7FE0) : FromHex(0x24509E),
                 bottom = over ? FromHex(0x17357E) : FromHex(0x0E2352);
    const Colour rimColour = over ? FromHex(0xFFD36A) : FromHex(0x8DB8FF);
    ShadeShape(
        image, [&](float x, float y) { return DistanceRoundedBox(x, y, cx, cy, hw, hh, hh); },
        [&](float d, float, float y) {
            const float t = Clamp01((y - (cy - hh)) / (2 * hh));
            if (d > 0) {
                Colour glow = rimColour;
                glow.a = (over ? 0.5f : 0.25f) * std::exp(-d / 2.5f);
                return glow;
            }
            Colour c = Mix(top, bottom, t);
            c.a = 0.95f;
            // Glossy upper half.
            c = Mix(c, {1, 1, 1, 1}, 0.22f * SmoothStep(0.55f, 0.1f, t) * Clamp01(-d / 6));
            c = Mix(c, rimColour, Clamp01(std::exp(-std::fabs(d + 2.2f) / 0.9f)));
            c.a *= CoverageFromDistance(d);
            return c;
        },
        0, 0, width, height);
    return image;
}

// Check box: a dark rounded square; the over state lights its rim, the checked states carry a gold tick.
Canvas CheckBox(bool over, bool checked) {
    const int size = 96;
    Canvas image(size, size, {0, 0, 0, 0});
    const Colour rimColour = over ? FromHex(0xFFD36A) : FromHex(0x8DB8FF);
    ShadeShape(
        image, [&](float x, float y) { return DistanceRoundedBox(x, y, 48, 48, 38, 38, 12); },
        [&](float d, float, float y) {
            if (d > 0) {
                Colour glow = rimColour;
                glow.a = (over ? 0.55f : 0.25f) * std::exp(-d / 3.0f);
                return glow;
            }
            Colour c = Mix(FromHex(0x0A1436), FromHex(0x1A2E66), Clamp01((y - 10) / 76));
            c.a = 0.95f;
            c = Mix(c, rimColour, Clamp01(std::exp(-std::fabs(d + 3) / 1.3f)));
            c.a *= CoverageFromDistance(d);
            return c;
        },
        0, 0, size, size);
    if (checked) {
        const std::vector<Point2> tick = {{26, 50}, {42, 66}, {72, 30}};
        auto distance = [&](float x, float y) {
            return std::min(DistanceSegment(x, y, tick[0], tick[1]),
                            DistanceSegment(x, y, tick[1], tick[2])) -
                   7;
        };
        ShadeShape(
            image, distance,
            [&](float d, float, float y) {
                Colour c = Mix(FromHex(0xFFF0A0), FromHex(0xF0A020), Clamp01((y - 30) / 40));
                c = Mix(FromHex(0x2A1800), c, CoverageFromDistance(d + 2));
                c.a = CoverageFromDistance(d - 1);
                return c;
            },
            0, 0, size, size);
    }
    return image;
}

// Round paging button with an arrow pointing left or right.
Canvas Arrow(bool right, bool over) {
    Canvas image = CheckBox(over, false);
    const float dir = right ? 1.0f : -1.0f;
    const std::vector<Point2> arrow = {{48 + dir * 20, 48}, {48 - dir * 12, 26}, {48 - dir * 12, 70}};
    ShadeShape(
        image, [&](float x, float y) { return DistancePolygon(x, y, arrow) - 2; },
        [&](float d, float, float) {
            Colour c = over ? FromHex(0xFFE27A) : FromHex(0xD8E6FF);
            c.a = CoverageFromDistance(d);
            return c;
        },
        0, 0, 96, 96);
    return image;
}

// A small framed well for a value drawn by the game (the block style, the language, a timing).
Canvas ValueBox(int width = 128, int height = 96) {
    Canvas image(width, height, {0, 0, 0, 0});
    const float cx = width / 2.0f, cy = height / 2.0f;
    ShadeShape(
        image, [&](float x, float y) { return DistanceRoundedBox(x, y, cx, cy, cx - 8, cy - 8, 12); },
        [&](float d, float, float) {
            if (d > 0) return Colour{0, 0, 0, 0};
            Colour c = FromHex(0x040818, 0.9f);
            c = Mix(c, FromHex(0x8DB8FF), Clamp01(std::exp(-std::fabs(d + 2.5f) / 1.1f)));
            c.a *= CoverageFromDistance(d);
            return c;
        },
        0, 0, width, height);
    return image;
}

// A volume slider's track: a dark groove with a rim that lights up in the over state, and a faint
// ramp that grows to the right (louder).
Canvas SliderTrack(bool over) {
    const int width = 200, height = 24;
    Canvas image(width, height, {0, 0, 0, 0});
    const Colour rimColour = over ? FromHex(0xFFD36A) : FromHex(0x8DB8FF);
    ShadeShape(
        image, [&](float x, float y) { return DistanceRoundedBox(x, y, 100, 12, 96, 7, 7); },
        [&](float d, float x, float) {
            if (d > 0) {
                Colour glow = rimColour;
                glow.a = (over ? 0.5f : 0.2f) * std::exp(-d / 2.0f);
                return glow;
            }
            Colour c = Mix(FromHex(0x0A1436), FromHex(0x2A4C9E), Clamp01((x - 4) / 192));
            c.a = 0.95f;
            c = Mix(c, rimColour, Clamp01(std::exp(-std::fabs(d + 1.5f) / 0.9f)));
            c.a *= CoverageFromDistance(d);
            return c;
        },
        0, 0, width, height);
    return image;
}

// The slider's thumb: an upright gold-rimmed knob, brighter in the over state.
Canvas SliderThumb(bool over) {
    const int width = 22, height = 34;
    Canvas image(width, height, {0, 0, 0, 0});
    const Colour top = over ? FromHex(0xFFF0A0) : FromHex(0xD8E6FF),
                 bottom = over ? FromHex(0xF0A020) : FromHex(0x6F8FCF);
    ShadeShape(
        image, [&](float x, float y) { return DistanceRoundedBox(x, y, 11, 17, 8, 14, 5); },
        [&](float d, float, float y) {
            Colour c = Mix(top, bottom, Clamp01((y - 3) / 28));
            c = Mix(FromHex(0x1A1000), c, CoverageFromDistance(d + 1.5f));
            c.a = CoverageFromDistance(d);
            return c;
        },
        0, 0, width, height);
    return image;
}

// The loading splash (a plain bitmap stretched onto the window before anything else is drawn).
Canvas Splash(const std::u32string& text) {
    const int width = 320, height = 90;
    Canvas image(width, height, FromHex(0x050A24));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const float d = DistanceRoundedBox(x + 0.5f, y + 0.5f, 160, 45, 156, 41, 14);
            image.At(x, y) =
                Mix(image.At(x, y), FromHex(0x6FA0FF), Clamp01(std::exp(-std::fabs(d + 1.5f) / 1.0f)));
        }
    int baseline = 0;
    Canvas letters = TextMask(text, 44, 4, &baseline);
    if (letters.width > width - 24)
        letters = Resize(letters, width - 24, letters.height * (width - 24) / letters.width);
    const int ox = (width - letters.width) / 2, oy = (height - letters.height) / 2 + 2;
    for (int y = 0; y < letters.height; ++y)
        for (int x = 0; x < letters.width; ++x) {
            const int px = ox + x, py = oy + y;
            if (px < 0 || py < 0 || px >= width || py >= height) continue;
            BlendOver(image.At(px, py), FromHex(0xC8FFFF), letters.At(x, y).a);
        }
    return image;
}

// The label pinned above the high-score row whose name is being typed: a dark strip with a gold rim.
Canvas Prompt() {
    const int width = 544, height = 60;
    Canvas image(width, height, {0, 0, 0, 0});
    ShadeShape(
        image,
        [&](float x, float y) { return DistanceRoundedBox(x, y, width / 2.0f, height / 2.0f, 268, 26, 12); },
        [&](float d, float, float) {
            if (d > 0) return Colour{0, 0, 0, 0};
            Colour c = FromHex(0x120A02, 0.96f);
            c = Mix(c, FromHex(0xFFD36A), Clamp01(std::exp(-std::fabs(d + 2.0f) / 1.0f)));
            c.a *= CoverageFromDistance(d);
            return c;
        },
        0, 0, width, height);
    return image;
}

// Pause symbol for the in-game button, to the left of its label.
Canvas PauseButton(bool over) {
    Canvas image = Button(256, 72, over);
    for (int bar = 0; bar < 2; ++bar) {
        const float cx = 40 + bar * 16.0f;
        ShadeShape(
            image, [&](float x, float y) { return DistanceRoundedBox(x, y, cx, 36, 5, 15, 2); },
            [&](float d, float, float) {
                Colour c = over ? FromHex(0xFFE27A) : FromHex(0xD8E6FF);
                c.a = CoverageFromDistance(d);
                return c;
            },
            0, 0, 256, 72);
    }
    return image;
}
}  // namespace

std::vector<NamedPicture> BuildMenuPictures() {
    std::vector<NamedPicture> pictures;
    pictures.push_back({"Graphics\\logo.png", Logo()});
    pictures.push_back({"Graphics\\panel_main.png", Panel(352, 336)});
    pictures.push_back({"Graphics\\panel_options.png", Panel(480, 516)});
    pictures.push_back({"Graphics\\panel_controls.png", Panel(736, 564)});
    pictures.push_back({"Graphics\\panel_select.png", Panel(640, 432)});
    pictures.push_back({"Graphics\\panel_scores.png", Panel(560, 510)});
    pictures.push_back({"Graphics\\panel_pause.png", Panel(320, 282)});
    pictures.push_back({"Graphics\\panel_help.png", Panel(752, 576, 0.95f)});
    pictures.push_back({"Graphics\\panel_confirm.png", Panel(448, 192, 0.97f)});
    pictures.push_back({"Graphics\\prompt.png", Prompt()});
    pictures.push_back({"Graphics\\panel_hud.png", Panel(192, 456)});
    pictures.push_back({"Graphics\\panel_next.png", Panel(160, 204)});
    pictures.push_back({"Graphics\\button_out.png", Button(512, 90, false)});
    pictures.push_back({"Graphics\\button_over.png", Button(512, 90, true)});
    pictures.push_back({"Graphics\\button_small_out.png", Button(256, 72, false)});
    pictures.push_back({"Graphics\\button_small_over.png", Button(256, 72, true)});
    pictures.push_back({"Graphics\\pause_out.png", PauseButton(false)});
    pictures.push_back({"Graphics\\pause_over.png", PauseButton(true)});
    pictures.push_back({"Graphics\\check_out.png", CheckBox(false, false)});
    pictures.push_back({"Graphics\\check_over.png", CheckBox(true, false)});
    pictures.push_back({"Graphics\\check_on.png", CheckBox(false, true)});
    pictures.push_back({"Graphics\\check_on_over.png", CheckBox(true, true)});
    pictures.push_back({"Graphics\\arrow_left_out.png", Arrow(false, false)});
    pictures.push_back({"Graphics\\arrow_left_over.png", Arrow(false, true)});
    pictures.push_back({"Graphics\\arrow_right_out.png", Arrow(true, false)});
    pictures.push_back({"Graphics\\arrow_right_over.png", Arrow(true, true)});
    pictures.push_back({"Graphics\\valuebox.png", ValueBox()});
    pictures.push_back({"Graphics\\valuebox_wide.png", ValueBox(320, 84)});
    pictures.push_back({"Graphics\\slider_out.png", SliderTrack(false)});
    pictures.push_back({"Graphics\\slider_over.png", SliderTrack(true)});
    pictures.push_back({"Graphics\\thumb_out.png", SliderThumb(false)});
    pictures.push_back({"Graphics\\thumb_over.png", SliderThumb(true)});
    pictures.push_back({"Graphics\\loading_en.bmp", Splash(U"Loading...")});
    pictures.push_back({"Graphics\\loading_de.bmp", Splash(U"Wird geladen...")});
    pictures.push_back({"Graphics\\icon.png", RenderIcon(64)});
    // The bonus items as the help page shows them, drawn from the very meshes the game draws.
    for (const NamedMesh& mesh : BuildAllMeshes()) {
        if (mesh.fileName == "bonus.x")
            pictures.push_back({"Graphics\\help_bonus_points.png", RenderMeshPicture(mesh.mesh, 0.45f, 112)});
        if (mesh.fileName == "bonus2.x")
            pictures.push_back({"Graphics\\help_bonus_clear.png", RenderMeshPicture(mesh.mesh, 0.6f, 112)});
    }
    return pictures;
}
