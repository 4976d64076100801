// The game as JSON for the headless runner: the --dump state (application state, the focused widget of
// the screen that takes the input, options, the whole
// GameState under its own field names, the well's cells, the piece, the bonus items, the high-score
// tables) and the fields of the --trace events of the game core.
#pragma once

#include "core/game_core.h"
#include "headless/json.h"

class GameApp;

void TraceGameEvent(const GameEvent& event, const GameState& state);
Json GameStateJson(GameApp& app);
