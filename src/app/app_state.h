// The application's states: which screen is up and whether the game core runs (only in Playing).
#pragma once

#include <cstdint>

enum AppState : int32_t {
    MainMenu = 0,
    SelectGame = 1,
    Playing = 2,
    GameOver = 3,
    Paused = 4,
    HighScores = 5,
    Options = 6,
    Help = 7,     // the how-to-play page, over the menus or over a paused game
    Controls = 8  // the keys and pad buttons of play, opened from the options
};

// The state's name as the headless dump writes it ("MainMenu", "Playing", ...).
const char* AppStateName(AppState state);
