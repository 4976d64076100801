#include "base/clock.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace {
bool virtualClock = false;
uint32_t virtualMs = 0;

std::chrono::steady_clock::time_point StartTime() {
    static const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
    return start;
}
}  // namespace

uint32_t TickCountMs() {
    if (virtualClock) return virtualMs;
    auto elapsed = std::chrono::steady_clock::now() - StartTime();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

uint32_t SystemTickCountMs() {
    if (virtualClock) return virtualMs;
    // The monotonic clock counts from the machine's start; only the low 32 bits matter for a seed.
    const auto sinceStart = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceStart).count());
}

void SetVirtualTickCount(uint32_t milliseconds) {
    virtualClock = true;
    virtualMs = milliseconds;
}

bool IsClockVirtual() {
    return virtualClock;
}

std::string LocalTimeHms() {
    int hours, minutes, seconds;
    if (virtualClock) {
        uint32_t total = virtualMs / 1000;
        hours = static_cast<int>(total / 3600 % 24);
        minutes = static_cast<int>(total / 60 % 60);
        seconds = static_cast<int>(total % 60);
    } else {
        std::time_t now = std::time(nullptr);
        std::tm local{};
        localtime_r(&now, &local);
        hours = local.tm_hour;
        minutes = local.tm_min;
        seconds = local.tm_sec;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", hours, minutes, seconds);
    return text;
}
