#include "base/keys.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace {

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

// The keys' names in config.ini as SDL spells them, one per code the keyboard gives (letters, digits
// and F1..F12 are worked out); then second spellings, read but never written.
constexpr NamedKey BindingNames[] = {
    {"Left", VK_LEFT},
    {"Right", VK_RIGHT},
    {"Up", VK_UP},
    {"Down", VK_DOWN},
    {"Space", VK_SPACE},
    {"Return", VK_RETURN},
    {"Escape", VK_ESCAPE},
    {"Backspace", VK_BACK},
    {"Tab", VK_TAB},
    {"Pause", VK_PAUSE},
    {"Clear", VK_CLEAR},
    {"Delete", VK_DELETE},
    {"Insert", 0x2D},
    {"Home", 0x24},
    {"End", 0x23},
    {"PageUp", 0x21},
    {"PageDown", 0x22},
    {"Left Shift", VK_SHIFT},
    {"Left Ctrl", VK_CONTROL},
    {"Left Alt", 0x12},
    {"Keypad 0", 0x60},
    {"Keypad 1", 0x61},
    {"Keypad 2", 0x62},
    {"Keypad 3", 0x63},
    {"Keypad 4", 0x64},
    {"Keypad 5", VK_NUMPAD5},
    {"Keypad 6", 0x66},
    {"Keypad 7", 0x67},
    {"Keypad 8", 0x68},
    {"Keypad 9", 0x69},
    {"Keypad *", 0x6A},
    {"Keypad +", 0x6B},
    {"Keypad -", 0x6D},
    {"Keypad .", 0x6E},
    {"Keypad /", 0x6F},
    {";", 0xBA},
    {"=", 0xBB},
    {",", 0xBC},
    {"-", 0xBD},
    {".", 0xBE},
    {"/", 0xBF},
    {"`", 0xC0},
    {"[", 0xDB},
    {"\\", 0xDC},
    {"]", 0xDD},
    {"'", 0xDE},
    {"Right Shift", VK_SHIFT},
    {"Right Ctrl", VK_CONTROL},
    {"Right Alt", 0x12},
    {"Keypad Enter", VK_RETURN},
    {"Keypad Clear", VK_CLEAR},
};

// SDL's names of the game controller buttons, by button number.
constexpr const char* PadButtonNames[PadButtonCount] = {
    "a",
    "b",
    "x",
    "y",
    "back",
    "guide",
    "start",
    "leftstick",
    "rightstick",
    "leftshoulder",
    "rightshoulder",
    "dpup",
    "dpdown",
    "dpleft",
    "dpright",
    "misc1",
    "paddle1",
    "paddle2",
    "paddle3",
    "paddle4",
    "touchpad",
};

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

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

std::string KeyBindingName(int virtualKey) {
    if ((virtualKey >= 'A' && virtualKey <= 'Z') || (virtualKey >= '0' && virtualKey <= '9')) {
        return std::string(1, static_cast<char>(virtualKey));
    }
    if (virtualKey >= VK_F1 && virtualKey < VK_F1 + 12) return "F" + std::to_string(virtualKey - VK_F1 + 1);
    for (const NamedKey& key : BindingNames) {
        if (key.code == virtualKey) return key.name;
    }
    return "";
}

int VirtualKeyFromBindingName(std::string_view name) {
    if (name.size() == 1) {
        auto c = static_cast<unsigned char>(std::toupper(static_cast<unsigned char>(name[0])));
        if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return c;
    }
    for (const NamedKey& key : BindingNames) {
        if (EqualsIgnoringCase(name, key.name)) return key.code;
    }
    if (name.size() >= 2 && name.size() <= 3 && (name[0] == 'F' || name[0] == 'f')) {
        int number = 0;
        for (char c : name.substr(1)) {
            if (c < '0' || c > '9') return 0;
            number = number * 10 + (c - '0');
        }
        return number >= 1 && number <= 12 ? VK_F1 + number - 1 : 0;
    }
    return 0;
}

std::string PadButtonName(int button) {
    return button >= 0 && button < PadButtonCount ? PadButtonNames[button] : "";
}

int PadButtonFromName(std::string_view name) {
    for (int button = 0; button < PadButtonCount; ++button) {
        if (EqualsIgnoringCase(name, PadButtonNames[button])) return button;
    }
    return -1;
}
