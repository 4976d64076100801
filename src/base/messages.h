// Window messages and key codes as the game's input handling knows them: the platform turns SDL events
// into these messages (key down with virtual-key codes and auto-repeat, character messages in the
// language's single-byte code page, pointer movement, buttons, focus, close, command, size), and
// answers the held-key and pointer queries. No SDL here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

#include "base/keys.h"

struct Message {
    uint32_t id = 0;
    uint64_t wParam = 0;
    int64_t lParam = 0;
};

constexpr uint32_t WM_SIZE = 0x0005;
constexpr uint32_t WM_SETFOCUS = 0x0007;
constexpr uint32_t WM_KILLFOCUS = 0x0008;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_CONTEXTMENU = 0x007B;
constexpr uint32_t WM_KEYDOWN = 0x0100;
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_CHAR = 0x0102;
constexpr uint32_t WM_COMMAND = 0x0111;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
// A game controller button pressed or released: wParam is the button (PAD_A ...), lParam bit 30 is
// set on the repeats of a held d-pad direction, as on a key's auto-repeat.
constexpr uint32_t WM_PADBUTTONDOWN = 0x8001;
constexpr uint32_t WM_PADBUTTONUP = 0x8002;

// The window command that switches between windowed and full screen.
constexpr uint32_t CommandToggleFullScreen = 40003;

struct Point {
    int x = 0, y = 0;
};

// Held keys and the pointer, as the game polls them.
class InputState {
public:
    virtual ~InputState() = default;
    // True while the key (or VK_LBUTTON) is held: the high bit of the per-thread key state.
    virtual bool IsKeyHeld(int virtualKey) const = 0;
    // The left button's state at this moment.
    virtual bool IsLeftButtonDown() const = 0;
    // Cursor position in client pixels.
    virtual Point CursorPosition() const = 0;
    // True while a game controller holds the button (PAD_A ...); the left stick holds the d-pad's
    // directions.
    virtual bool IsPadButtonHeld(int button) const {
        (void)button;
        return false;
    }
};

// Flags of the pointer messages' wParam: the buttons held.
constexpr uint64_t MK_LBUTTON = 0x1;
constexpr uint64_t MK_RBUTTON = 0x2;

// The messages of one key transition: WM_KEYDOWN (lParam bit 30 set on auto-repeat) followed, for
// Enter, Backspace, Esc and Tab, by a WM_CHAR with the control code; or WM_KEYUP.
void AppendKeyMessages(int virtualKey, bool down, bool repeat, std::vector<Message>& out);
// The message of one pad button transition (nothing for a button outside 0..PadButtonCount-1).
void AppendPadMessages(int button, bool down, bool repeat, std::vector<Message>& out);
// True for a key press or pad button press that repeats an earlier one (lParam bit 30).
bool IsRepeatPress(const Message& message);

// One WM_CHAR per character of UTF-8 text that the single-byte code page (Latin-1 with the
// 0x80-0x9F extras) can show; other characters, control characters and broken sequences are dropped.
void AppendTextMessages(std::string_view utf8, std::vector<Message>& out);
// The code-page byte of a Unicode code point, 0 when the code page has none.
uint8_t CodePageByte(uint32_t codePoint);
// The Unicode code point of a code-page byte (0 for the few unused positions of 0x80-0x9F).
uint32_t CodePagePoint(uint8_t byte);

// Pointer messages carry the client position in lParam: x in the low 16 bits, y in the next 16, both
// signed, as the classic message loop packed them.
int64_t PointLParam(int x, int y);
Point LParamPoint(int64_t lParam);

// The held keys, pad buttons, mouse buttons and pointer as the messages report them. Every input message
// (real or scripted) passes through Apply before the game sees it, so the pointer the game reads while
// handling a message is that message's position.
class KeyStateTracker {
public:
    void Apply(const Message& message);
    bool IsKeyHeld(int virtualKey) const;
    bool IsLeftButtonDown() const { return held[VK_LBUTTON]; }
    bool IsPadButtonHeld(int button) const;
    Point CursorPosition() const { return cursor; }
    // Forgets every held key (the window lost the focus, so their releases will not arrive).
    void ReleaseAll();

private:
    std::array<bool, 256> held{};
    std::array<bool, PadButtonCount> padHeld{};
    Point cursor;
};
