#include "headless/json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "base/messages.h"

namespace {
// Whole numbers are written as integers, so 2.0f reads "2" as it always did.
Json NumberFromText(const char* text) {
    const double value = std::strtod(text, nullptr);
    if (value == std::trunc(value) && std::fabs(value) < 9e15) return static_cast<int64_t>(value);
    return value;
}

void AppendUtf8(uint32_t point, std::string& out) {
    if (point < 0x80) {
        out += static_cast<char>(point);
    } else if (point < 0x800) {
        out += static_cast<char>(0xC0 | (point >> 6));
        out += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (point >> 12));
        out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (point & 0x3F));
    }
}
}  // namespace

Json DumpNumber(float value) {
    if (!std::isfinite(value)) return nullptr;
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", static_cast<double>(value));
    return NumberFromText(text);
}

Json TraceNumber(float value) {
    if (!std::isfinite(value)) return nullptr;
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text - 1, value);
    if (ec != std::errc()) return 0;
    *end = '\0';
    return NumberFromText(text);
}

Json CodePageText(std::string_view text) {
    std::string utf8;
    for (const char c : text) {
        const uint32_t point = CodePagePoint(static_cast<uint8_t>(c));
        AppendUtf8(point ? point : 0xFFFD, utf8);
    }
    return utf8;
}

std::string JsonText(const Json& value) {
    return value.dump(-1, ' ', true, Json::error_handler_t::replace);
}
