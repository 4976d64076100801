// The in-game display's numbers: the play time as minutes and seconds, and the sizes of the growing
// "Level Up" and "Game Over" captions. Drawing itself is in render.cpp.
#pragma once

#include <string>

// 65 s -> "1:05", 600 s -> "10:00"; minutes are not limited to 59.
std::string FormatPlayTime(int elapsedSeconds);

// Caption height for levelUpProgress p (0..1): grows to 0.3 over the first half, shrinks to 0.2 by
// three quarters, then rests.
float LevelUpCaptionSize(float progress);

// Caption height t seconds after the game was lost: grows to 0.3 in 1 s, shrinks to 0.2 by 1.5 s.
float GameOverCaptionSize(float secondsSinceGameOver);
