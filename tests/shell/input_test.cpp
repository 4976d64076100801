// Event translation, held keys and pad buttons, the game controllers, and the names of keys and buttons.
#include "shell/input.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

SDL_Event KeyEvent(bool down, SDL_Keycode sym, SDL_Scancode scancode = SDL_SCANCODE_UNKNOWN, uint16_t mod = 0,
                   bool repeat = false) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat ? 1 : 0;
    event.key.keysym.sym = sym;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = mod;
    return event;
}

std::vector<Message> Translate(const SDL_Event& event) {
    std::vector<Message> out;
    TranslateEvent(event, out);
    return out;
}

SDL_Event PadButton(SDL_JoystickID pad, SDL_GameControllerButton button, bool down) {
    SDL_Event event{};
    event.type = down ? SDL_CONTROLLERBUTTONDOWN : SDL_CONTROLLERBUTTONUP;
    event.cbutton.which = pad;
    event.cbutton.button = static_cast<uint8_t>(button);
    return event;
}

SDL_Event PadAxis(SDL_JoystickID pad, SDL_GameControllerAxis axis, int value) {
    SDL_Event event{};
    event.type = SDL_CONTROLLERAXISMOTION;
    event.caxis.which = pad;
    event.caxis.axis = static_cast<uint8_t>(axis);
    event.caxis.value = static_cast<int16_t>(value);
    return event;
}

std::vector<uint8_t> TextBytes(const char* utf8) {
    std::vector<Message> out;
    AppendTextMessages(utf8, out);
    std::vector<uint8_t> bytes;
    for (const Message& m : out) {
        EXPECT_EQ(m.id, WM_CHAR);
        bytes.push_back(static_cast<uint8_t>(m.wParam));
    }
    return bytes;
}

}  // namespace

TEST(KeyTranslation, EveryKeyOfTheGameHasItsVirtualKeyCode) {
    struct Case {
        SDL_Keycode sym;
        SDL_Scancode scancode;
        uint16_t mod;
        int expected;
    };
    const Case cases[] = {
        {SDLK_LEFT, SDL_SCANCODE_LEFT, 0, 0x25},
        {SDLK_UP, SDL_SCANCODE_UP, 0, 0x26},
        {SDLK_RIGHT, SDL_SCANCODE_RIGHT, 0, 0x27},
        {SDLK_DOWN, SDL_SCANCODE_DOWN, 0, 0x28},
        {SDLK_SPACE, SDL_SCANCODE_SPACE, 0, 0x20},
        {SDLK_RETURN, SDL_SCANCODE_RETURN, 0, 0x0D},
        {SDLK_KP_ENTER, SDL_SCANCODE_KP_ENTER, 0, 0x0D},
        {SDLK_ESCAPE, SDL_SCANCODE_ESCAPE, 0, 0x1B},
        {SDLK_BACKSPACE, SDL_SCANCODE_BACKSPACE, 0, 0x08},
        {SDLK_TAB, SDL_SCANCODE_TAB, 0, 0x09},
        {SDLK_PAUSE, SDL_SCANCODE_PAUSE, 0, 0x13},
        {SDLK_CLEAR, SDL_SCANCODE_CLEAR, 0, 0x0C},
        {SDLK_p, SDL_SCANCODE_P, 0, 'P'},
        {SDLK_p, SDL_SCANCODE_P, KMOD_SHIFT, 'P'},
        {SDLK_a, SDL_SCANCODE_A, 0, 'A'},
        {SDLK_z, SDL_SCANCODE_Z, 0, 'Z'},
        {SDLK_0, SDL_SCANCODE_0, 0, '0'},
        {SDLK_9, SDL_SCANCODE_9, 0, '9'},
        {SDLK_F1, SDL_SCANCODE_F1, 0, 0x70},
        {SDLK_F12, SDL_SCANCODE_F12, 0, 0x7B},
        {SDLK_DELETE, SDL_SCANCODE_DELETE, 0, 0x2E},
        {SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, 0, 0x10},
        {SDLK_RSHIFT, SDL_SCANCODE_RSHIFT, 0, 0x10},
        {SDLK_LCTRL, SDL_SCANCODE_LCTRL, 0, 0x11},
        {SDLK_RCTRL, SDL_SCANCODE_RCTRL, 0, 0x11},
        // Keypad 5 turns the piece whether num lock is on or off.
        {SDLK_KP_5, SDL_SCANCODE_KP_5, KMOD_NUM, 0x65},
        {SDLK_KP_5, SDL_SCANCODE_KP_5, 0, 0x65},
        // The other keypad digits are digits with num lock, navigation keys without.
        {SDLK_KP_4, SDL_SCANCODE_KP_4, KMOD_NUM, 0x64},
        {SDLK_LEFT, SDL_SCANCODE_KP_4, 0, 0x25},
        {SDLK_KP_8, SDL_SCANCODE_KP_8, 0, 0x26},
        {SDLK_KP_2, SDL_SCANCODE_KP_2, 0, 0x28},
    };
    for (const Case& c : cases) {
        std::vector<Message> down = Translate(KeyEvent(true, c.sym, c.scancode, c.mod));
        ASSERT_FALSE(down.empty()) << SDL_GetKeyName(c.sym);
        EXPECT_EQ(down[0].id, WM_KEYDOWN);
        EXPECT_EQ(down[0].wParam, static_cast<uint64_t>(c.expected)) << SDL_GetKeyName(c.sym);
        std::vector<Message> up = Translate(KeyEvent(false, c.sym, c.scancode, c.mod));
        ASSERT_EQ(up.size(), 1u);
        EXPECT_EQ(up[0].id, WM_KEYUP);
        EXPECT_EQ(up[0].wParam, static_cast<uint64_t>(c.expected));
    }
    EXPECT_TRUE(Translate(KeyEvent(true, SDLK_CAPSLOCK, SDL_SCANCODE_CAPSLOCK)).empty());
}

TEST(KeyTranslation, ControlKeysAlsoTypeTheirCharacter) {
    for (auto [sym, code] : {std::pair{SDLK_RETURN, 0x0D},
                             {SDLK_BACKSPACE, 0x08},
                             {SDLK_ESCAPE, 0x1B},
                             {SDLK_TAB, 0x09},
                             {SDLK_KP_ENTER, 0x0D}}) {
        std::vector<Message> down = Translate(KeyEvent(true, sym));
        ASSERT_EQ(down.size(), 2u) << code;
        EXPECT_EQ(down[1].id, WM_CHAR);
        EXPECT_EQ(down[1].wParam, static_cast<uint64_t>(code));
        // Held down, the key repeats with its character; the release types nothing.
        std::vector<Message> repeat = Translate(KeyEvent(true, sym, SDL_SCANCODE_UNKNOWN, 0, true));
        ASSERT_EQ(repeat.size(), 2u);
        EXPECT_EQ(repeat[1].id, WM_CHAR);
        EXPECT_EQ(Translate(KeyEvent(false, sym)).size(), 1u);
    }
    // Other keys type through text input, not through their key downs.
    EXPECT_EQ(Translate(KeyEvent(true, SDLK_a)).size(), 1u);
    EXPECT_EQ(Translate(KeyEvent(true, SDLK_SPACE)).size(), 1u);
}

TEST(KeyTranslation, RepeatAndReleaseAreMarkedInLParam) {
    const int64_t wasDown = int64_t{1} << 30, releasing = int64_t{1} << 31;
    Message first = Translate(KeyEvent(true, SDLK_UP))[0];
    Message repeat = Translate(KeyEvent(true, SDLK_UP, SDL_SCANCODE_UP, 0, true))[0];
    Message up = Translate(KeyEvent(false, SDLK_UP))[0];
    EXPECT_EQ(first.lParam & wasDown, 0);
    EXPECT_NE(repeat.lParam & wasDown, 0);
    EXPECT_EQ(repeat.id, WM_KEYDOWN);
    EXPECT_NE(up.lParam & releasing, 0);
    EXPECT_EQ(first.lParam & 0xFFFF, 1);  // repeat count
}

TEST(TextTranslation, CharactersBecomeCodePageBytes) {
    EXPECT_EQ(TextBytes("aZ 9~"), (std::vector<uint8_t>{'a', 'Z', ' ', '9', '~'}));
    // Latin-1 letters keep their code; the 0x80-0x9F extras come from their own characters.
    EXPECT_EQ(TextBytes("\xC3\xA9\xC3\x9F\xC3\xBF"), (std::vector<uint8_t>{0xE9, 0xDF, 0xFF}));
    EXPECT_EQ(TextBytes("\xE2\x82\xAC\xC5\x93\xE2\x80\x9C\xC5\xB8"),
              (std::vector<uint8_t>{0x80, 0x9C, 0x93, 0x9F}));
    // Characters the code page cannot show are dropped, the rest kept.
    EXPECT_EQ(TextBytes("a\xE6\x97\xA5"
                        "b\xF0\x9F\x98\x80"),
              (std::vector<uint8_t>{'a', 'b'}));
    // C1 controls would read as the extras: they are not characters of the code page.
    EXPECT_TRUE(TextBytes("\xC2\x80\xC2\x9F").empty());
    // Control characters, broken and overlong sequences give nothing.
    EXPECT_TRUE(TextBytes("\t\x7F").empty());
    EXPECT_EQ(TextBytes("a\xFF"
                        "b\xC3"),
              (std::vector<uint8_t>{'a', 'b'}));
    EXPECT_EQ(TextBytes("\xC3(x"), (std::vector<uint8_t>{'(', 'x'}));
    EXPECT_TRUE(TextBytes("\xC1\x81\xE0\x80\xA9").empty());
}

TEST(TextTranslation, TextInputEventGivesOneMessagePerCharacter) {
    SDL_Event event{};
    event.type = SDL_TEXTINPUT;
    std::strcpy(event.text.text, "J\xC3\xB6");
    std::vector<Message> out = Translate(event);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].wParam, static_cast<uint64_t>('J'));
    EXPECT_EQ(out[1].wParam, 0xF6u);
}

TEST(PointerTranslation, PositionsAndButtons) {
    for (auto [x, y] : {std::pair{0, 0}, {799, 599}, {-5, 3}, {40000, -40000}}) {
        Point p = LParamPoint(PointLParam(x, y));
        EXPECT_EQ(p.x, std::clamp(x, -32768, 32767));
        EXPECT_EQ(p.y, std::clamp(y, -32768, 32767));
    }
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 412;
    motion.motion.y = 37;
    motion.motion.state = SDL_BUTTON_LMASK;
    std::vector<Message> moved = Translate(motion);
    ASSERT_EQ(moved.size(), 1u);
    EXPECT_EQ(moved[0].id, WM_MOUSEMOVE);
    EXPECT_EQ(LParamPoint(moved[0].lParam).x, 412);
    EXPECT_EQ(LParamPoint(moved[0].lParam).y, 37);
    EXPECT_EQ(moved[0].wParam & 1, 1u);

    SDL_Event button{};
    button.button.x = 10;
    button.button.y = 20;
    button.type = SDL_MOUSEBUTTONDOWN;
    button.button.button = SDL_BUTTON_LEFT;
    EXPECT_EQ(Translate(button).at(0).id, WM_LBUTTONDOWN);
    button.type = SDL_MOUSEBUTTONUP;
    EXPECT_EQ(Translate(button).at(0).id, WM_LBUTTONUP);
    button.button.button = SDL_BUTTON_RIGHT;
    button.type = SDL_MOUSEBUTTONDOWN;
    EXPECT_EQ(Translate(button).at(0).id, WM_RBUTTONDOWN);
    // The right button's release also asks for the context menu.
    button.type = SDL_MOUSEBUTTONUP;
    std::vector<Message> rightUp = Translate(button);
    ASSERT_EQ(rightUp.size(), 2u);
    EXPECT_EQ(rightUp[0].id, WM_RBUTTONUP);
    EXPECT_EQ(rightUp[1].id, WM_CONTEXTMENU);
    EXPECT_EQ(LParamPoint(rightUp[0].lParam).y, 20);
    button.button.button = SDL_BUTTON_MIDDLE;
    EXPECT_TRUE(Translate(button).empty());
}

// With the picture inside a larger window, or on a display of two pixels per point, the pointer's
// messages carry the picture's pixels.
TEST(PointerTranslation, PositionsLandInTheGamesPicture) {
    struct Case {
        const char* what;
        PointerMapping mapping;
        int x, y;
        Point inPicture;
    };
    const PixelRect wide{240, 0, 1440, 1080}, tall{0, 32, 1280, 960};
    const Case cases[] = {
        {"wide screen, picture's corner", {{1920, 1080}, {1920, 1080}, wide}, 240, 0, {0, 0}},
        {"wide screen, a button", {{1920, 1080}, {1920, 1080}, wide}, 960, 540, {720, 540}},
        {"wide screen, left bar", {{1920, 1080}, {1920, 1080}, wide}, 10, 540, {-230, 540}},
        {"tall screen", {{1280, 1024}, {1280, 1024}, tall}, 640, 512, {640, 480}},
        {"tall screen, bar below", {{1280, 1024}, {1280, 1024}, tall}, 640, 1020, {640, 988}},
        {"two pixels a point", {{960, 540}, {1920, 1080}, wide}, 480, 270, {720, 540}},
    };
    for (const Case& c : cases) {
        SDL_Event motion{};
        motion.type = SDL_MOUSEMOTION;
        motion.motion.x = c.x;
        motion.motion.y = c.y;
        SDL_Event button{};
        button.type = SDL_MOUSEBUTTONDOWN;
        button.button.button = SDL_BUTTON_RIGHT;
        button.button.x = c.x;
        button.button.y = c.y;
        for (const SDL_Event& event : {motion, button}) {
            std::vector<Message> out;
            TranslateEvent(event, out, c.mapping);
            ASSERT_EQ(out.size(), 1u) << c.what;
            EXPECT_EQ(LParamPoint(out[0].lParam).x, c.inPicture.x) << c.what;
            EXPECT_EQ(LParamPoint(out[0].lParam).y, c.inPicture.y) << c.what;
        }
    }
}

// F11 and Alt+Enter switch between window and full screen through the window command, once per press;
// Enter alone still reaches the game.
TEST(KeyTranslation, FullScreenKeysGiveTheWindowCommand) {
    struct Case {
        const char* what;
        SDL_Event event;
        std::vector<uint32_t> messages;
    };
    const Case cases[] = {
        {"F11", KeyEvent(true, SDLK_F11), {WM_COMMAND}},
        {"F11 held", KeyEvent(true, SDLK_F11, SDL_SCANCODE_UNKNOWN, 0, true), {}},
        {"F11 let go", KeyEvent(false, SDLK_F11), {WM_KEYUP}},
        {"Alt+Enter", KeyEvent(true, SDLK_RETURN, SDL_SCANCODE_UNKNOWN, KMOD_LALT), {WM_COMMAND}},
        {"AltGr+Enter", KeyEvent(true, SDLK_RETURN, SDL_SCANCODE_UNKNOWN, KMOD_RALT), {WM_COMMAND}},
        {"Alt+keypad Enter", KeyEvent(true, SDLK_KP_ENTER, SDL_SCANCODE_UNKNOWN, KMOD_LALT), {WM_COMMAND}},
        {"Alt+Enter held", KeyEvent(true, SDLK_RETURN, SDL_SCANCODE_UNKNOWN, KMOD_LALT, true), {}},
        {"Enter", KeyEvent(true, SDLK_RETURN), {WM_KEYDOWN, WM_CHAR}},
        {"Ctrl+Enter", KeyEvent(true, SDLK_RETURN, SDL_SCANCODE_UNKNOWN, KMOD_LCTRL), {WM_KEYDOWN, WM_CHAR}},
        {"Alt+Space", KeyEvent(true, SDLK_SPACE, SDL_SCANCODE_UNKNOWN, KMOD_LALT), {WM_KEYDOWN}},
    };
    for (const Case& c : cases) {
        std::vector<uint32_t> ids;
        for (const Message& message : Translate(c.event)) {
            ids.push_back(message.id);
            if (message.id == WM_COMMAND) {
                EXPECT_EQ(message.wParam, CommandToggleFullScreen) << c.what;
            }
        }
        EXPECT_EQ(ids, c.messages) << c.what;
    }
}

TEST(WindowTranslation, FocusCloseAndSize) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.event = SDL_WINDOWEVENT_FOCUS_LOST;
    EXPECT_EQ(Translate(event).at(0).id, WM_KILLFOCUS);
    event.window.event = SDL_WINDOWEVENT_FOCUS_GAINED;
    EXPECT_EQ(Translate(event).at(0).id, WM_SETFOCUS);
    event.window.event = SDL_WINDOWEVENT_CLOSE;
    EXPECT_EQ(Translate(event).at(0).id, WM_CLOSE);
    event.window.event = SDL_WINDOWEVENT_SIZE_CHANGED;
    event.window.data1 = 1024;
    event.window.data2 = 768;
    Message size = Translate(event).at(0);
    EXPECT_EQ(size.id, WM_SIZE);
    EXPECT_EQ(LParamPoint(size.lParam).x, 1024);
    EXPECT_EQ(LParamPoint(size.lParam).y, 768);
    event.window.event = SDL_WINDOWEVENT_MOVED;
    EXPECT_TRUE(Translate(event).empty());
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    EXPECT_EQ(Translate(quit).at(0).id, WM_CLOSE);
}

TEST(KeyState, FollowsTheMessages) {
    KeyStateTracker keys;
    std::vector<Message> messages;
    AppendKeyMessages(VK_LEFT, true, false, messages);
    AppendKeyMessages(VK_DOWN, true, false, messages);
    messages.push_back({WM_LBUTTONDOWN, 1, PointLParam(300, 200)});
    AppendPadMessages(PAD_DPRIGHT, true, false, messages);
    for (const Message& m : messages) keys.Apply(m);
    EXPECT_TRUE(keys.IsPadButtonHeld(PAD_DPRIGHT));
    EXPECT_FALSE(keys.IsPadButtonHeld(PAD_DPLEFT));
    EXPECT_TRUE(keys.IsKeyHeld(VK_LEFT));
    EXPECT_TRUE(keys.IsKeyHeld(VK_DOWN));
    EXPECT_FALSE(keys.IsKeyHeld(VK_RIGHT));
    EXPECT_TRUE(keys.IsKeyHeld(VK_LBUTTON));
    EXPECT_TRUE(keys.IsLeftButtonDown());
    EXPECT_EQ(keys.CursorPosition().x, 300);

    keys.Apply({WM_KEYUP, VK_LEFT, 0});
    keys.Apply({WM_MOUSEMOVE, 0, PointLParam(-3, 650)});
    EXPECT_FALSE(keys.IsKeyHeld(VK_LEFT));
    EXPECT_TRUE(keys.IsKeyHeld(VK_DOWN));
    EXPECT_EQ(keys.CursorPosition().x, -3);
    EXPECT_EQ(keys.CursorPosition().y, 650);

    // Keys released while another window has the focus never report it: losing it lets go of all.
    keys.Apply({WM_KILLFOCUS, 0, 0});
    EXPECT_FALSE(keys.IsKeyHeld(VK_DOWN));
    EXPECT_FALSE(keys.IsPadButtonHeld(PAD_DPRIGHT));
    EXPECT_FALSE(keys.IsLeftButtonDown());
    // Codes out of range are never held and do not corrupt the table.
    keys.Apply({WM_KEYDOWN, 0x1234, 0});
    keys.Apply({WM_PADBUTTONDOWN, 0x1234, 0});
    EXPECT_FALSE(keys.IsKeyHeld(0x1234));
    EXPECT_FALSE(keys.IsPadButtonHeld(0x1234));
    EXPECT_FALSE(keys.IsKeyHeld(-1));
}

TEST(Gamepad, DpadIsHeldAndRepeatsItsPress) {
    GamepadMapper pad;
    std::vector<Message> out;
    pad.HandleEvent(PadButton(3, SDL_CONTROLLER_BUTTON_DPAD_LEFT, true), 1000, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, WM_PADBUTTONDOWN);
    EXPECT_EQ(out[0].wParam, static_cast<uint64_t>(PAD_DPLEFT));
    EXPECT_FALSE(IsRepeatPress(out[0]));
    EXPECT_TRUE(pad.IsButtonHeld(PAD_DPLEFT));

    out.clear();
    pad.Update(1000 + GamepadMapper::RepeatDelayMs - 1, out);
    EXPECT_TRUE(out.empty());
    pad.Update(1000 + GamepadMapper::RepeatDelayMs, out);
    pad.Update(1000 + GamepadMapper::RepeatDelayMs + GamepadMapper::RepeatIntervalMs, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(IsRepeatPress(out[1]));
    // A long stall repeats once, not once per missed interval.
    out.clear();
    pad.Update(1000 + 10 * GamepadMapper::RepeatDelayMs, out);
    EXPECT_EQ(out.size(), 1u);

    out.clear();
    pad.HandleEvent(PadButton(3, SDL_CONTROLLER_BUTTON_DPAD_LEFT, false), 9000, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, WM_PADBUTTONUP);
    EXPECT_FALSE(pad.IsButtonHeld(PAD_DPLEFT));
    out.clear();
    pad.Update(20000, out);
    EXPECT_TRUE(out.empty());
}

TEST(Gamepad, StickPressesTheDpadWithADeadZoneWithoutChatter) {
    GamepadMapper pad;
    std::vector<Message> out;
    pad.HandleEvent(PadAxis(1, SDL_CONTROLLER_AXIS_LEFTX, GamepadMapper::StickRelease - 1), 0, out);
    EXPECT_TRUE(out.empty());
    pad.HandleEvent(PadAxis(1, SDL_CONTROLLER_AXIS_LEFTX, GamepadMapper::StickPress + 1), 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].wParam, static_cast<uint64_t>(PAD_DPRIGHT));
    // Falling back between the two thresholds keeps the direction held.
    out.clear();
    pad.HandleEvent(
        PadAxis(1, SDL_CONTROLLER_AXIS_LEFTX, (GamepadMapper::StickPress + GamepadMapper::StickRelease) / 2),
        0, out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(pad.IsButtonHeld(PAD_DPRIGHT));
    // Straight across to the other side: right is released, left pressed.
    pad.HandleEvent(PadAxis(1, SDL_CONTROLLER_AXIS_LEFTX, -30000), 0, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].id, WM_PADBUTTONUP);
    EXPECT_EQ(out[0].wParam, static_cast<uint64_t>(PAD_DPRIGHT));
    EXPECT_EQ(out[1].wParam, static_cast<uint64_t>(PAD_DPLEFT));
    out.clear();
    pad.HandleEvent(PadAxis(1, SDL_CONTROLLER_AXIS_LEFTY, 32767), 0, out);
    EXPECT_TRUE(pad.IsButtonHeld(PAD_DPDOWN));
    EXPECT_TRUE(pad.IsButtonHeld(PAD_DPLEFT));
    pad.HandleEvent(PadAxis(1, SDL_CONTROLLER_AXIS_LEFTY, 0), 0, out);
    EXPECT_FALSE(pad.IsButtonHeld(PAD_DPDOWN));
    // The right stick is not a direction.
    out.clear();
    pad.HandleEvent(PadAxis(1, SDL_CONTROLLER_AXIS_RIGHTX, 32767), 0, out);
    EXPECT_TRUE(out.empty());
}

TEST(Gamepad, ButtonsArePressedOnceAndStickAndDpadShareADirection) {
    GamepadMapper pad;
    std::vector<Message> out;
    const std::pair<SDL_GameControllerButton, int> buttons[] = {
        {SDL_CONTROLLER_BUTTON_A, PAD_A},
        {SDL_CONTROLLER_BUTTON_B, PAD_B},
        {SDL_CONTROLLER_BUTTON_START, PAD_START},
        {SDL_CONTROLLER_BUTTON_LEFTSHOULDER, PAD_LEFTSHOULDER}};
    for (auto [sdl, game] : buttons) pad.HandleEvent(PadButton(0, sdl, true), 0, out);
    ASSERT_EQ(out.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(out[i].id, WM_PADBUTTONDOWN);
        EXPECT_EQ(out[i].wParam, static_cast<uint64_t>(buttons[i].second));
    }
    // Held buttons other than the directions never repeat.
    out.clear();
    pad.Update(5000, out);
    EXPECT_TRUE(out.empty());
    pad.HandleEvent(PadButton(0, SDL_CONTROLLER_BUTTON_A, false), 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, WM_PADBUTTONUP);
    // The stick holds up; the d-pad's up pressed as well changes nothing, and up stays held until both
    // let go.
    out.clear();
    pad.HandleEvent(PadAxis(0, SDL_CONTROLLER_AXIS_LEFTY, -32768), 0, out);
    pad.HandleEvent(PadButton(0, SDL_CONTROLLER_BUTTON_DPAD_UP, true), 0, out);
    pad.HandleEvent(PadAxis(0, SDL_CONTROLLER_AXIS_LEFTY, 0), 0, out);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(pad.IsButtonHeld(PAD_DPUP));
    pad.HandleEvent(PadButton(0, SDL_CONTROLLER_BUTTON_DPAD_UP, false), 0, out);
    EXPECT_FALSE(pad.IsButtonHeld(PAD_DPUP));
}

TEST(Gamepad, SeveralPadsAndUnplugging) {
    GamepadMapper pad;
    std::vector<Message> out;
    pad.HandleEvent(PadButton(1, SDL_CONTROLLER_BUTTON_DPAD_DOWN, true), 0, out);
    pad.HandleEvent(PadButton(2, SDL_CONTROLLER_BUTTON_DPAD_DOWN, true), 0, out);
    EXPECT_EQ(out.size(), 1u);
    out.clear();
    pad.HandleEvent(PadButton(1, SDL_CONTROLLER_BUTTON_DPAD_DOWN, false), 0, out);
    EXPECT_TRUE(out.empty());
    EXPECT_TRUE(pad.IsButtonHeld(PAD_DPDOWN));
    // Pulling out the pad that still holds Down releases it.
    SDL_Event removed{};
    removed.type = SDL_CONTROLLERDEVICEREMOVED;
    removed.cdevice.which = 2;
    EXPECT_TRUE(pad.HandleEvent(removed, 0, out));
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0].id, WM_PADBUTTONUP);
    EXPECT_FALSE(pad.IsButtonHeld(PAD_DPDOWN));
    // Focus loss lets go of everything.
    out.clear();
    pad.HandleEvent(PadButton(4, SDL_CONTROLLER_BUTTON_B, true), 0, out);
    pad.ReleaseAll(out);
    EXPECT_FALSE(pad.IsButtonHeld(PAD_B));
    EXPECT_EQ(out.back().id, WM_PADBUTTONUP);
    // Keyboard events are not the mapper's.
    out.clear();
    EXPECT_FALSE(pad.HandleEvent(KeyEvent(true, SDLK_a), 0, out));
}

// config.ini names keys and pad buttons as SDL does: every name the game writes is SDL's own name of a
// key or button that gives that very code back.
TEST(KeyNames, BindingNamesAreSdlNamesOfTheirOwnKeys) {
    int named = 0;
    for (int code = 1; code <= 0xFF; ++code) {
        const std::string name = KeyBindingName(code);
        if (name.empty()) continue;
        ++named;
        const SDL_Keycode sym = SDL_GetKeyFromName(name.c_str());
        ASSERT_NE(sym, SDLK_UNKNOWN) << name;
        SDL_Keysym keysym{};
        keysym.sym = sym;
        keysym.scancode = SDL_GetScancodeFromName(name.c_str());
        keysym.mod = KMOD_NUM;
        EXPECT_EQ(VirtualKeyFromSdl(keysym), code) << name;
        EXPECT_EQ(VirtualKeyFromBindingName(name), code) << name;
    }
    EXPECT_GT(named, 80);
    // The right-hand modifiers and the keypad's Enter give the same codes as their left-hand twins.
    for (const char* twin :
         {"Right Shift", "Right Ctrl", "Right Alt", "Keypad Enter", "return", "keypad 5"}) {
        SDL_Keysym keysym{};
        keysym.sym = SDL_GetKeyFromName(twin);
        keysym.scancode = SDL_GetScancodeFromName(twin);
        keysym.mod = KMOD_NUM;
        EXPECT_EQ(VirtualKeyFromBindingName(twin), VirtualKeyFromSdl(keysym)) << twin;
    }
    for (const char* unknown : {"", "Lefty", "F13", "Keypad", "Space Bar", "0x25"})
        EXPECT_EQ(VirtualKeyFromBindingName(unknown), 0) << unknown;

    for (int button = 0; button < PadButtonCount; ++button) {
        const std::string name = PadButtonName(button);
        EXPECT_STREQ(SDL_GameControllerGetStringForButton(static_cast<SDL_GameControllerButton>(button)),
                     name.c_str());
        EXPECT_EQ(PadButtonFromName(name), button);
    }
    EXPECT_EQ(PadButtonFromName("A"), PAD_A);
    EXPECT_EQ(PadButtonFromName("DpLeft"), PAD_DPLEFT);
    EXPECT_EQ(PadButtonFromName("select"), -1);
    EXPECT_EQ(PadButtonName(PadButtonCount), "");
}

TEST(KeyNames, NamesAndCodesOfScripts) {
    const std::pair<const char*, int> names[] = {
        {"Left", 0x25},  {"Right", 0x27},     {"Up", 0x26},  {"Down", 0x28}, {"Space", 0x20}, {"Enter", 0x0D},
        {"Esc", 0x1B},   {"Backspace", 0x08}, {"Tab", 0x09}, {"P", 0x50},    {"F1", 0x70},    {"Pause", 0x13},
        {"Clear", 0x0C}, {"Numpad5", 0x65},   {"a", 'A'},    {"Z", 'Z'},     {"7", '7'},      {"enter", 0x0D},
        {"F12", 0x7B},   {"0x25", 0x25},      {"37", 37},    {"0X7b", 0x7B},
    };
    for (auto [name, code] : names) EXPECT_EQ(VirtualKeyFromName(name), code) << name;
    for (const char* bad : {"", "F13", "F0", "Lefty", "0x100", "-5", "0x", "!", "256", "12345"}) {
        EXPECT_EQ(VirtualKeyFromName(bad), 0) << bad;
    }
    // Every code the recorder can write reads back as the same code.
    for (int code = 1; code <= 0xFF; ++code)
        EXPECT_EQ(VirtualKeyFromName(VirtualKeyName(code)), code) << code;
}
