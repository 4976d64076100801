#include "shell/input.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

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
        case SDLK_SEMICOLON:
            return 0xBA;
        case SDLK_EQUALS:
            return 0xBB;
        case SDLK_COMMA:
            return 0xBC;
        case SDLK_MINUS:
            return 0xBD;
        case SDLK_PERIOD:
            return 0xBE;
        case SDLK_SLASH:
            return 0xBF;
        case SDLK_BACKQUOTE:
            return 0xC0;
        case SDLK_LEFTBRACKET:
            return 0xDB;
        case SDLK_BACKSLASH:
            return 0xDC;
        case SDLK_RIGHTBRACKET:
            return 0xDD;
        case SDLK_QUOTE:
            return 0xDE;
        default:
            return 0;
    }
}

// F11, or Enter with Alt: the keys that switch between window and full screen.
static bool IsFullScreenKey(const SDL_Keysym& keysym) {
    const bool enter = keysym.sym == SDLK_RETURN || keysym.sym == SDLK_KP_ENTER;
    return keysym.sym == SDLK_F11 || (enter && (keysym.mod & KMOD_ALT) != 0);
}

void TranslateEvent(const SDL_Event& event, std::vector<Message>& out, const PointerMapping& pointer) {
    auto where = [&pointer](int x, int y) {
        const Point at = PictureFromWindow({x, y}, pointer.window, pointer.drawable, pointer.picture);
        return PointLParam(at.x, at.y);
    };
    switch (event.type) {
        case SDL_KEYDOWN:
            if (IsFullScreenKey(event.key.keysym)) {
                if (!event.key.repeat) out.push_back({WM_COMMAND, CommandToggleFullScreen, 0});
                break;
            }
            AppendKeyMessages(VirtualKeyFromSdl(event.key.keysym), true, event.key.repeat != 0, out);
            break;
        case SDL_KEYUP:
            AppendKeyMessages(VirtualKeyFromSdl(event.key.keysym), false, false, out);
            break;
        case SDL_TEXTINPUT:
            AppendTextMessages(event.text.text, out);
            break;
        case SDL_MOUSEMOTION: {
            uint64_t buttons = ((event.motion.state & SDL_BUTTON_LMASK) ? MK_LBUTTON : 0) |
                               ((event.motion.state & SDL_BUTTON_RMASK) ? MK_RBUTTON : 0);
            out.push_back({WM_MOUSEMOVE, buttons, where(event.motion.x, event.motion.y)});
            break;
        }
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP: {
            bool down = event.type == SDL_MOUSEBUTTONDOWN;
            const int64_t at = where(event.button.x, event.button.y);
            if (event.button.button == SDL_BUTTON_LEFT) {
                out.push_back({down ? WM_LBUTTONDOWN : WM_LBUTTONUP, down ? MK_LBUTTON : 0, at});
            } else if (event.button.button == SDL_BUTTON_RIGHT) {
                out.push_back({down ? WM_RBUTTONDOWN : WM_RBUTTONUP, down ? MK_RBUTTON : 0, at});
                // Releasing the right button asks for a context menu, as the classic loop did.
                if (!down) out.push_back({WM_CONTEXTMENU, 0, at});
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

bool GamepadMapper::PadHolds(const Pad& pad, int button) {
    switch (button) {
        case PAD_DPLEFT:
            return pad.buttons[button] || pad.stickX < 0;
        case PAD_DPRIGHT:
            return pad.buttons[button] || pad.stickX > 0;
        case PAD_DPUP:
            return pad.buttons[button] || pad.stickY < 0;
        case PAD_DPDOWN:
            return pad.buttons[button] || pad.stickY > 0;
        default:
            return button >= 0 && button < PadButtonCount && pad.buttons[button];
    }
}

void GamepadMapper::Refresh(int button, uint32_t nowMs, std::vector<Message>& out) {
    bool nowHeld = std::any_of(pads.begin(), pads.end(),
                               [&](const auto& entry) { return PadHolds(entry.second, button); });
    Held& state = held[button];
    if (nowHeld == state.down) return;
    state.down = nowHeld;
    state.nextRepeatMs = nowMs + RepeatDelayMs;
    AppendPadMessages(button, nowHeld, false, out);
}

bool GamepadMapper::HandleEvent(const SDL_Event& event, uint32_t nowMs, std::vector<Message>& out) {
    switch (event.type) {
        case SDL_CONTROLLERBUTTONDOWN:
        case SDL_CONTROLLERBUTTONUP: {
            const int button = event.cbutton.button;
            if (button < 0 || button >= PadButtonCount) return true;  // a button this SDL added later
            pads[event.cbutton.which].buttons[button] = event.type == SDL_CONTROLLERBUTTONDOWN;
            Refresh(button, nowMs, out);
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
            int negative = horizontal ? PAD_DPLEFT : PAD_DPUP,
                positive = horizontal ? PAD_DPRIGHT : PAD_DPDOWN;
            Refresh(direction < 0 ? positive : negative, nowMs, out);
            Refresh(direction < 0 ? negative : positive, nowMs, out);
            return true;
        }
        case SDL_CONTROLLERDEVICEREMOVED:
            pads.erase(event.cdevice.which);
            for (int button = 0; button < PadButtonCount; ++button) Refresh(button, nowMs, out);
            return true;
        case SDL_CONTROLLERDEVICEADDED:
        case SDL_CONTROLLERDEVICEREMAPPED:
            return true;
        default:
            return false;
    }
}

void GamepadMapper::Update(uint32_t nowMs, std::vector<Message>& out) {
    // Only the directions repeat: every other button acts once per press.
    for (int button : {PAD_DPUP, PAD_DPDOWN, PAD_DPLEFT, PAD_DPRIGHT}) {
        Held& state = held[button];
        if (!state.down || static_cast<int32_t>(nowMs - state.nextRepeatMs) < 0) continue;
        AppendPadMessages(button, true, true, out);
        state.nextRepeatMs += RepeatIntervalMs;
        // After a stall (a slow frame) repeat once, not once for every missed interval.
        if (static_cast<int32_t>(nowMs - state.nextRepeatMs) >= 0)
            state.nextRepeatMs = nowMs + RepeatIntervalMs;
    }
}

bool GamepadMapper::IsButtonHeld(int button) const {
    return button >= 0 && button < PadButtonCount && held[button].down;
}

void GamepadMapper::ReleaseAll(std::vector<Message>& out) {
    for (auto& [id, pad] : pads) pad = Pad{};
    for (int button = 0; button < PadButtonCount; ++button) Refresh(button, 0, out);
}
