#include "app/app_state.h"

#include <iterator>

const char* AppStateName(AppState state) {
    static const char* const names[] = {"MainMenu",   "SelectGame", "Playing", "GameOver", "Paused",
                                        "HighScores", "Options",    "Help",    "Controls"};
    const auto index = static_cast<int>(state);
    return index >= 0 && index < static_cast<int>(std::size(names)) ? names[index] : "Unknown";
}
