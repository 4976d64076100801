#include "platform/input.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

// Bits of the key messages' lParam: repeat count 1, bit 30 "was down before", bit 31 "being released".
constexpr int64_t KeyRepeatCount = 1;
constexpr int64_t KeyWasDown = int64_t{1} << 30;
constexpr int64_t KeyReleasing = int64_t{1} << 31;

// Modifier flags of the pointer messages' wParam.
constexpr uint64_t MkLeftButton = 0x1, MkRightButton = 0x2;

// Unicode code points of the code page's 0x80-0x9F range (0 = unused position).
constexpr uint16_t CodePageExtras[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

int KeypadKey(SDL_Scancode scancode, bool numLock) {
    // Navigation meaning of the keypad digits with num lock off, indexed by digit.
    static constexpr int navigation[10] = {0x2D,       0x23,     VK_DOWN, 0x22,  VK_LEFT,
                                           VK_NUMPAD5, VK_RIGHT, 0x24,    VK_UP, 0x21};
    int digit;
    switch (scancode) {
        case SDL_SCANCODE_KP_0:
            digit = 0;
            break;
        case SDL_SCANCODE_KP_1:
            digit = 1;
            break;
        case SDL_SCANCODE_KP_2:
            digit = 2;
            break;
        case SDL_SCANCODE_KP_3:
            digit = 3;
            break;
        case SDL_SCANCODE_KP_4:
            digit = 4;
            break;
        case SDL_SCANCODE_KP_5:
            digit = 5;
            break;
        case SDL_SCANCODE_KP_6:
            digit = 6;
            break;
        case SDL_SCANCODE_KP_7:
            digit = 7;
            break;
        case SDL_SCANCODE_KP_8:
            digit = 8;
            break;
        case SDL_SCANCODE_KP_9:
            digit = 9;
            break;
        default:
            return 0;
    }
    if (digit == 5) return VK_NUMPAD5;
    return numLock ? 0x60 + digit : navigation[digit];
}

struct NamedKey {
    const char* name;
    int code;
};

// Canonical names first: VirtualKeyName answers the first entry of a code.
constexpr NamedKey KeyNames[] = {
    {"Left", VK_LEFT},          {"Right", VK_RIGHT},         {"Up", VK_UP},
    {"Down", VK_DOWN},          {"Space", VK_SPACE},         {"Enter", VK_RETURN},
    {"Esc", VK_ESCAPE},         {"Backspace", VK_BACK},      {"Tab", VK_TAB},
    {"Pause", VK_PAUSE},        {"Clear", VK_CLEAR},         {"Delete", VK_DELETE},
    {"Shift", VK_SHIFT},        {"Control", VK_CONTROL},     {"Return", VK_RETURN},
    {"Escape", VK_ESCAPE},      {"Ctrl", VK_CONTROL},        {"Numpad0", 0x60},
    {"Numpad1", 0x61},          {"Numpad2", 0x62},           {"Numpad3", 0x63},
    {"Numpad4", 0x64},          {"Numpad5", VK_NUMPAD5},     {"Numpad6", 0x66},
    {"Numpad7", 0x67},          {"Numpad8", 0x68},           {"Numpad9", 0x69},
    {"LeftButton", VK_LBUTTON}, {"RightButton", VK_RBUTTON},
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

int VirtualKeyFromSdl(const SDL_Keysym& keysym) {
    if (int keypad = KeypadKey(keysym.scancode, (keysym.mod & KMOD_NUM) != 0)) return keypad;
    SDL_Keycode sym = keysym.sym;
    if (sym >= SDLK_a && sym <= SDLK_z) return 'A' + (sym - SDLK_a);
    if (sym >= SDLK_0 && sym <= SDLK_9) return '0' + (sym - SDLK_0);
    if (sym >= SDLK_F1 && sym <= SDLK_F12) return VK_F1 + (sym - SDLK_F1);
    switch (sym) {
        case SDLK_LEFT:
            return VK_LEFT;
        case SDLK_RIGHT:
            return VK_RIGHT;
        case SDLK_UP:
            return VK_UP;
        case SDLK_DOWN:
            return VK_DOWN;
        case SDLK_SPACE:
            return VK_SPACE;
        case SDLK_RETURN:
        case SDLK_RETURN2:
        case SDLK_KP_ENTER:
            return VK_RETURN;
        case SDLK_ESCAPE:
            return VK_ESCAPE;
        case SDLK_BACKSPACE:
            return VK_BACK;
        case SDLK_TAB:
            return VK_TAB;
        case SDLK_PAUSE:
            return VK_PAUSE;
        case SDLK_CLEAR:
        case SDLK_KP_CLEAR:
            return VK_CLEAR;
        case SDLK_DELETE:
            return VK_DELETE;
        case SDLK_INSERT:
            return 0x2D;
        case SDLK_HOME:
            return 0x24;
        case SDLK_END:
            return 0x23;
        case SDLK_PAGEUP:
            return 0x21;
        case SDLK_PAGEDOWN:
            return 0x22;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT:
            return VK_SHIFT;
        case SDLK_LCTRL:
        case SDLK_RCTRL:
            return VK_CONTROL;
        case SDLK_LALT:
        case SDLK_RALT:
            return 0x12;
        case SDLK_KP_MULTIPLY:
            return 0x6A;
        case SDLK_KP_PLUS:
            return 0x6B;
        case SDLK_KP_MINUS:
            return 0x6D;
        case SDLK_KP_PERIOD:
            return 0x6E;
        case SDLK_KP_DIVIDE:
            return 0x6F;
        default:
            return 0;
    }
}

void AppendKeyMessages(int virtualKey, bool down, bool repeat, std::vector<Message>& out) {
    if (virtualKey <= 0 || virtualKey > 0xFF) return;
    if (!down) {
        out.push_back(
            {WM_KEYUP, static_cast<uint64_t>(virtualKey), KeyRepeatCount | KeyWasDown | KeyReleasing});
        return;
    }
    out.push_back(
        {WM_KEYDOWN, static_cast<uint64_t>(virtualKey), KeyRepeatCount | (repeat ? KeyWasDown : 0)});
    // The control keys type their control code as a character as well, so name entry sees them
    // both as key presses and as characters.
    switch (virtualKey) {
        case VK_RETURN:
        case VK_BACK:
        case VK_ESCAPE:
        case VK_TAB:
            out.push_back({WM_CHAR, static_cast<uint64_t>(virtualKey), KeyRepeatCount});
            break;
        default:
            break;
    }
}

uint8_t CodePageByte(uint32_t codePoint) {
    if (codePoint >= 0x20 && codePoint < 0x7F) return static_cast<uint8_t>(codePoint);
    if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<uint8_t>(codePoint);
    for (int i = 0; i < 32; ++i) {
        if (CodePageExtras[i] != 0 && CodePageExtras[i] == codePoint) return static_cast<uint8_t>(0x80 + i);
    }
    return 0;
}

void AppendTextMessages(std::string_view utf8, std::vector<Message>& out) {
    size_t i = 0;
    while (i < utf8.size()) {
        auto lead = static_cast<unsigned char>(utf8[i]);
        int length;
        uint32_t codePoint;
        if (lead < 0x80) {
            length = 1;
            codePoint = lead;
        } else if ((lead & 0xE0) == 0xC0) {
            length = 2;
            codePoint = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            length = 3;
            codePoint = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            length = 4;
            codePoint = lead & 0x07;
        } else {
            ++i;  // a stray continuation byte or an invalid lead byte
            continue;
        }
        bool valid = i + length <= utf8.size();
        for (int k = 1; valid && k < length; ++k) {
            auto next = static_cast<unsigned char>(utf8[i + k]);
            if ((next & 0xC0) != 0x80)
                valid = false;
            else
                codePoint = (codePoint << 6) | (next & 0x3F);
        }
        if (!valid) {
            ++i;  // resynchronise on the next byte
            continue;
        }
        // Overlong forms would smuggle in characters under a second spelling.
        static constexpr uint32_t smallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (codePoint >= smallest[length]) {
            if (uint8_t byte = CodePageByte(codePoint)) out.push_back({WM_CHAR, byte, KeyRepeatCount});
        }
        i += length;
    }
}

int64_t PointLParam(int x, int y) {
    auto low = static_cast<uint16_t>(static_cast<int16_t>(std::clamp(x, -32768, 32767)));
    auto high = static_cast<uint16_t>(static_cast<int16_t>(std::clamp(y, -32768, 32767)));
    return static_cast<int64_t>(static_cast<uint32_t>(low) | (static_cast<uint32_t>(high) << 16));
}

Point LParamPoint(int64_t lParam) {
    auto bits = static_cast<uint32_t>(lParam);
    return {static_cast<int16_t>(bits & 0xFFFF), static_cast<int16_t>(bits >> 16)};
}

void TranslateEvent(const SDL_Event& event, std::vector<Message>& out) {
    switch (event.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            AppendKeyMessages(VirtualKeyFromSdl(event.key.keysym), event.type == SDL_KEYDOWN,
                              event.key.repeat != 0, out);
            break;
        case SDL_TEXTINPUT:
            AppendTextMessages(event.text.text, out);
            break;
        case SDL_MOUSEMOTION: {
            uint64_t buttons = ((event.motion.state & SDL_BUTTON_LMASK) ? MkLeftButton : 0) |
                               ((event.motion.state & SDL_BUTTON_RMASK) ? MkRightButton : 0);
            out.push_back({WM_MOUSEMOVE, buttons, PointLParam(event.motion.x, event.motion.y)});
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            int64_t where = PointLParam(event.button.x, event.button.y);
            if (event.button.button == SDL_BUTTON_LEFT) {
                out.push_back({down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? MkLeftButton : 0, where});
            } else if (event.button.button == SDL_BUTTON_RIGHT) {
                out.push_back({down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? MkRightButton : 0, where});
                // Releasing the right button asks for a context menu, as the classic loop did.
                if (!down) out.push_back({WM_CONTEXTMENU, 0, where});
            }
            break;
        }
        case SDL_WINDOWEVENT:
            switch (event.window.event) {
                case SDL_WINDOWEVENT_FOCUS_GAINED:
                    out.push_back({WM_SETFOCUS, 0, 0});
                    break;
                case SDL_WINDOWEVENT_FOCUS_LOST:
                    out.push_back({WM_KILLFOCUS, 0, 0});
                    break;
                case SDL_WINDOWEVENT_CLOSE:
                    out.push_back({WM_CLOSE, 0, 0});
                    break;
                case SDL_WINDOWEVENT_SIZE_CHANGED:
                    out.push_back({WM_SIZE, 0, PointLParam(event.window.data1, event.window.data2)});
                    break;
                default:
                    break;
            }
            break;
        case SDL_QUIT:
            out.push_back({WM_CLOSE, 0, 0});
            break;
        default:
            break;
    }
}

void KeyStateTracker::Apply(const Message& message) {
    switch (message.id) {
        case WM_KEYDOWN:
        case WM_KEYUP:
            if (message.wParam > 0 && message.wParam < held.size())
                held[message.wParam] = message.id == WM_KEYDOWN;
            break;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONUP:
            held[VK_LBUTTON] = message.id == WM_LBUTTONDOWN;
            cursor = LParamPoint(message.lParam);
            break;
        case WM_RBUTTONDOWN:
        case WM_RBUTTONUP:
            held[VK_RBUTTON] = message.id == WM_RBUTTONDOWN;
            cursor = LParamPoint(message.lParam);
            break;
        case WM_MOUSEMOVE:
            cursor = LParamPoint(message.lParam);
            break;
        case WM_KILLFOCUS:
            ReleaseAll();
            break;
        default:
            break;
    }
}

bool KeyStateTracker::IsKeyHeld(int virtualKey) const {
    return virtualKey > 0 && virtualKey < static_cast<int>(held.size()) && held[virtualKey];
}

void KeyStateTracker::ReleaseAll() {
    held.fill(false);
}

bool GamepadMapper::PadHolds(const Pad& pad, int virtualKey) const {
    switch (virtualKey) {
        case VK_LEFT:
            return pad.dpad[0] || pad.stickX < 0;
        case VK_RIGHT:
            return pad.dpad[1] || pad.stickX > 0;
        case VK_UP:
            return pad.dpad[2] || pad.stickY < 0 || pad.a;
        case VK_DOWN:
            return pad.dpad[3] || pad.stickY > 0;
        case VK_SPACE:
            return pad.b;
        case VK_ESCAPE:
            return pad.start;
        default:
            return false;
    }
}

void GamepadMapper::Refresh(int virtualKey, uint32_t nowMs, std::vector<Message>& out) {
    bool nowHeld = std::any_of(pads.begin(), pads.end(),
                               [&](const auto& entry) { return PadHolds(entry.second, virtualKey); });
    Held& key = keys[virtualKey];
    if (nowHeld == key.down) return;
    key.down = nowHeld;
    key.nextRepeatMs = nowMs + RepeatDelayMs;
    AppendKeyMessages(virtualKey, nowHeld, false, out);
}

bool GamepadMapper::HandleEvent(const SDL_Event& event, uint32_t nowMs, std::vector<Message>& out) {
    switch (event.type) {
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            bool down = event.type == SDL_CONTROLLERBUTTONDOWN;
            Pad& pad = pads[event.cbutton.which];
            int key = 0;
            switch (event.cbutton.button) {
                case SDL_CONTROLLER_BUTTON_DPAD_LEFT:
                    pad.dpad[0] = down;
                    key = VK_LEFT;
                    break;
                case SDL_CONTROLLER_BUTTON_DPAD_RIGHT:
                    pad.dpad[1] = down;
                    key = VK_RIGHT;
                    break;
                case SDL_CONTROLLER_BUTTON_DPAD_UP:
                    pad.dpad[2] = down;
                    key = VK_UP;
                    break;
                case SDL_CONTROLLER_BUTTON_DPAD_DOWN:
                    pad.dpad[3] = down;
                    key = VK_DOWN;
                    break;
                case SDL_CONTROLLER_BUTTON_A:
                    // Every press of A turns, even while a direction already holds Up.
                    if (down && !pad.a && keys[VK_UP].down) AppendKeyMessages(VK_UP, true, true, out);
                    pad.a = down;
                    key = VK_UP;
                    break;
                case SDL_CONTROLLER_BUTTON_B:
                    pad.b = down;
                    key = VK_SPACE;
                    break;
                case SDL_CONTROLLER_BUTTON_START:
                    pad.start = down;
                    key = VK_ESCAPE;
                    break;
                default:
                    break;
            }
            if (key) Refresh(key, nowMs, out);
            return true;
        }
        case SDL_CONTROLLERAXISMOTION: {
            if (event.caxis.axis != SDL_CONTROLLER_AXIS_LEFTX &&
                event.caxis.axis != SDL_CONTROLLER_AXIS_LEFTY)
                return true;
            Pad& pad = pads[event.caxis.which];
            bool horizontal = event.caxis.axis == SDL_CONTROLLER_AXIS_LEFTX;
            int& direction = horizontal ? pad.stickX : pad.stickY;
            int value = event.caxis.value;
            // Two thresholds, so a stick resting near the edge of the dead zone does not chatter.
            if (value > StickPress)
                direction = 1;
            else if (value < -StickPress)
                direction = -1;
            else if (value > -StickRelease && value < StickRelease)
                direction = 0;
            // The side let go of is released before the other is pressed.
            int negative = horizontal ? VK_LEFT : VK_UP, positive = horizontal ? VK_RIGHT : VK_DOWN;
            Refresh(direction < 0 ? positive : negative, nowMs, out);
            Refresh(direction < 0 ? negative : positive, nowMs, out);
            return true;
        }
        case SDL_CONTROLLERDEVICEREMOVED:
            pads.erase(event.cdevice.which);
            for (int key : {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_SPACE, VK_ESCAPE}) Refresh(key, nowMs, out);
            return true;
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMAPPED:
            return true;
        default:
            return false;
    }
}

void GamepadMapper::Update(uint32_t nowMs, std::vector<Message>& out) {
    for (int key : {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN}) {
        auto found = keys.find(key);
        if (found == keys.end() || !found->second.down) continue;
        // Only the directions repeat: A alone holding Up turns once per press.
        bool byDirection = std::any_of(pads.begin(), pads.end(), [&](const auto& entry) {
            Pad pad = entry.second;
            pad.a = false;
            return PadHolds(pad, key);
        });
        Held& held = found->second;
        if (!byDirection || static_cast<int32_t>(nowMs - held.nextRepeatMs) < 0) continue;
        AppendKeyMessages(key, true, true, out);
        held.nextRepeatMs += RepeatIntervalMs;
        // After a stall (a slow frame) repeat once, not once for every missed interval.
        if (static_cast<int32_t>(nowMs - held.nextRepeatMs) >= 0)
            held.nextRepeatMs = nowMs + RepeatIntervalMs;
    }
}

bool GamepadMapper::IsKeyHeld(int virtualKey) const {
    auto found = keys.find(virtualKey);
    return found != keys.end() && found->second.down;
}

void GamepadMapper::ReleaseAll(std::vector<Message>& out) {
    for (auto& [id, pad] : pads) pad = Pad{};
    for (int key : {VK_LEFT, VK_RIGHT, VK_UP, VK_DOWN, VK_SPACE, VK_ESCAPE}) Refresh(key, 0, out);
}

int VirtualKeyFromName(std::string_view name) {
    if (name.empty()) return 0;
    if (name.size() == 1) {
        auto c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[0])));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
        return 0;
    }
    for (const NamedKey& key : KeyNames) {
        if (EqualsIgnoringCase(name, key.name)) return key.code;
    }
    if ((name[0] == 'F' || name[0] == 'f') && name.size() <= 3) {
        int number = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9') return 0;
            number = number * 10 + (c - '0');
        }
        return number >= 1 && number <= 12 ? VK_F1 + number - 1 : 0;
    }
    // A numeric code: hexadecimal with 0x, or decimal of two or more digits (one digit is the digit key).
    int base = 10;
    std::string_view digits = name;
    if (name.size() > 2 && name[0] == '0' && (name[1] == 'x' || name[1] == 'X')) {
        base = 16;
        digits = name.substr(2);
    }
    if (digits.size() > 4) return 0;
    int value = 0;
    for (char c : digits) {
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        else
            return 0;
        value = value * base + digit;
    }
    return value >= 1 && value <= 0xFF ? value : 0;
}

std::string VirtualKeyName(int virtualKey) {
    if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
        return std::string(1, static_cast<char>(virtualKey));
    }
    if (virtualKey >= VK_F1 && virtualKey < VK_F1 + 12) return "F" + std::to_string(virtualKey - VK_F1 + 1);
    for (const NamedKey& key : KeyNames) {
        if (key.code == virtualKey) return key.name;
    }
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", virtualKey & 0xFF);
    return text;
}
