#include "app/hud.h"

#include <cstdio>

std::string FormatPlayTime(int elapsedSeconds) {
    const int minutes = elapsedSeconds / 60;
    const int rest = elapsedSeconds % 60;
    char text[32];
    if (rest < 10) {
        std::snprintf(text, sizeof text, "%d:%c%d", minutes, '0', rest);
    } else {
        std::snprintf(text, sizeof text, "%d:%d", minutes, rest);
    }
    return text;
}

float LevelUpCaptionSize(float p) {
    if (p <= 0.5f) return 0.3f * p / 0.5f;
    if (p <= 0.75f) return 0.3f - (0.3f - 0.2f) * (p - 0.5f) / 0.25f;
    return 0.2f;
}

float GameOverCaptionSize(float t) {
    if (t <= 1.0f) return 0.3f * t / 1.0f;
    if (t <= 1.5f) return 0.3f - (0.3f - 0.2f) * (t - 1.0f) / 0.5f;
    return 0.2f;
}
