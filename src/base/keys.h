// The game's key codes: the one vocabulary of keys that the shell, the headless runner's scripts and
// the rules share. The shell maps each key of the keyboard (and each pad button standing in for one)
// to these codes once, at the boundary; nothing above it sees another key numbering.
#pragma once

#include <string>
#include <string_view>

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

// Game controller buttons, numbered as SDL numbers them. The left stick stands in for the d-pad.
constexpr int PAD_A = 0;
constexpr int PAD_B = 1;
constexpr int PAD_X = 2;
constexpr int PAD_Y = 3;
constexpr int PAD_BACK = 4;
constexpr int PAD_GUIDE = 5;
constexpr int PAD_START = 6;
constexpr int PAD_LEFTSTICK = 7;
constexpr int PAD_RIGHTSTICK = 8;
constexpr int PAD_LEFTSHOULDER = 9;
constexpr int PAD_RIGHTSHOULDER = 10;
constexpr int PAD_DPUP = 11;
constexpr int PAD_DPDOWN = 12;
constexpr int PAD_DPLEFT = 13;
constexpr int PAD_DPRIGHT = 14;
constexpr int PadButtonCount = 21;  // up to SDL's touchpad button

// Script key names ("Left", "Enter", "Numpad5", "F1", "P", "7", ...) and numeric codes ("0x25", "37")
// -> virtual-key code; 0 when unknown. Names are matched without regard to letter case.
int VirtualKeyFromName(std::string_view name);
// The script name of a virtual-key code ("Left", "A", "F5"); a hexadecimal code when it has none.
std::string VirtualKeyName(int virtualKey);

// The name a key has in config.ini: SDL's name of the key ("Left", "A", "Keypad 5", "Return"), "" for
// a code no key of the keyboard gives. Names are read without regard to letter case, and a few
// second spellings (the right-hand modifiers, "Keypad Enter") read as the key they give; 0 for none.
std::string KeyBindingName(int virtualKey);
int VirtualKeyFromBindingName(std::string_view name);

// SDL's name of a pad button ("a", "start", "dpleft"), "" outside 0..PadButtonCount-1; and back,
// without regard to letter case, -1 for a name no button has.
std::string PadButtonName(int button);
int PadButtonFromName(std::string_view name);
