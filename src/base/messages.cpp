#include "base/messages.h"

#include <algorithm>

namespace {

// Bits of the key messages' lParam: repeat count 1, bit 30 "was down before", bit 31 "being released".
constexpr int64_t KeyRepeatCount = 1;
constexpr int64_t KeyWasDown = int64_t{1} << 30;
constexpr int64_t KeyReleasing = int64_t{1} << 31;

// Unicode code points of the code page's 0x80-0x9F range (0 = unused position).
constexpr uint16_t CodePageExtras[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

}  // namespace

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

void AppendPadMessages(int button, bool down, bool repeat, std::vector<Message>& out) {
    if (button < 0 || button >= PadButtonCount) return;
    if (!down) {
        out.push_back(
            {WM_PADBUTTONUP, static_cast<uint64_t>(button), KeyRepeatCount | KeyWasDown | KeyReleasing});
        return;
    }
    out.push_back(
        {WM_PADBUTTONDOWN, static_cast<uint64_t>(button), KeyRepeatCount | (repeat ? KeyWasDown : 0)});
}

bool IsRepeatPress(const Message& message) {
    return (message.id == WM_KEYDOWN || message.id == WM_PADBUTTONDOWN) && (message.lParam & KeyWasDown) != 0;
}

uint8_t CodePageByte(uint32_t codePoint) {
    if (codePoint >= 0x20 && codePoint < 0x7F) return static_cast<uint8_t>(codePoint);
    if (codePoint >= 0xA0 && codePoint <= 0xFF) return static_cast<uint8_t>(codePoint);
    for (int i = 0; i < 32; ++i) {
        if (CodePageExtras[i] != 0 && CodePageExtras[i] == codePoint) return static_cast<uint8_t>(0x80 + i);
    }
    return 0;
}

uint32_t CodePagePoint(uint8_t byte) {
    return byte >= 0x80 && byte < 0xA0 ? CodePageExtras[byte - 0x80] : byte;
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
        case WM_PADBUTTONDOWN:
        case WM_PADBUTTONUP:
            if (message.wParam < padHeld.size()) padHeld[message.wParam] = message.id == WM_PADBUTTONDOWN;
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

bool KeyStateTracker::IsPadButtonHeld(int button) const {
    return button >= 0 && button < PadButtonCount && padHeld[button];
}

void KeyStateTracker::ReleaseAll() {
    held.fill(false);
    padHeld.fill(false);
}
