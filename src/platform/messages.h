// Window messages and key codes as the game's input handling knows them: the platform turns SDL events
// into these messages (key down with virtual-key codes and auto-repeat, character messages in the
// language's single-byte code page, pointer movement, buttons, focus, close, command, size), and
// answers the held-key and pointer queries. No SDL here.
#pragma once

#include <cstdint>

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

// The window command that switches between windowed and full screen.
constexpr uint32_t CommandToggleFullScreen = 40003;

// Virtual-key codes.
constexpr int VK_LBUTTON = 0x01;
constexpr int VK_RBUTTON = 0x02;
constexpr int VK_BACK = 0x08;
constexpr int VK_TAB = 0x09;
constexpr int VK_CLEAR = 0x0C;
constexpr int VK_RETURN = 0x0D;
constexpr int VK_SHIFT = 0x10;
constexpr int VK_CONTROL = 0x11;
constexpr int VK_PAUSE = 0x13;
constexpr int VK_ESCAPE = 0x1B;
constexpr int VK_SPACE = 0x20;
constexpr int VK_LEFT = 0x25;
constexpr int VK_UP = 0x26;
constexpr int VK_RIGHT = 0x27;
constexpr int VK_DOWN = 0x28;
constexpr int VK_DELETE = 0x2E;
constexpr int VK_NUMPAD5 = 0x65;
constexpr int VK_F1 = 0x70;
// Letters and digits are their upper-case ASCII codes ('P' = 0x50).

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
};
