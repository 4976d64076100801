// The game as JSON for the headless runner: the --dump state (application state, options, the whole
// GameState under its own field names, the well's cells, the piece, the bonus items, the
// high-score tables) and the fields of --trace events.
#pragma once

#include <ostream>
#include <string>

#include "core/game_core.h"

class GameApp;

// "\"name\":value" pieces for TraceEvent.
std::string JsonField(const char* name, int value);
std::string JsonField(const char* name, const char* value);
std::string JsonString(const std::string& text);

void TraceGameEvent(const GameEvent& event, const GameState& state);
void WriteGameStateJson(GameApp& app, std::ostream& out);
