#include "app/app_json.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "app/game_app.h"
#include "platform/framework.h"

namespace {
const char* const AppStateNames[] = {"MainMenu", "SelectGame", "Playing", "GameOver",
                                     "Paused",   "HighScores", "Options"};

std::string Number(float value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", value);
    return text;
}

std::string CellJson(const Cell& c) {
    std::string s = "{\"column\":" + std::to_string(c.column) + ",\"row\":" + std::to_string(c.row) +
                    ",\"colour\":" + std::to_string(c.colour);
    s += ",\"rotating\":" + std::to_string(c.rotating) + ",\"rotateProgress\":" + Number(c.rotateProgress);
    s += ",\"movingLeft\":" + std::to_string(c.movingLeft) +
         ",\"moveLeftProgress\":" + Number(c.moveLeftProgress);
    s += ",\"movingRight\":" + std::to_string(c.movingRight) +
         ",\"moveRightProgress\":" + Number(c.moveRightProgress);
    s += ",\"falling\":" + std::to_string(c.falling) + ",\"fallProgress\":" + Number(c.fallProgress);
    s += ",\"debrisProgress\":" + Number(c.debrisProgress);
    s += ",\"vanishing\":" + std::to_string(c.vanishing) +
         ",\"vanishStartTime\":" + Number(c.vanishStartTime) + "}";
    return s;
}

template <typename Cells>
std::string CellsJson(const Cells& cells, int count) {
    std::string s = "[";
    for (int i = 0; i < count; ++i) s += (i ? "," : "") + CellJson(cells[i]);
    return s + "]";
}

std::string IntArray(const std::array<int32_t, 4>& values) {
    std::string s = "[";
    for (size_t i = 0; i < values.size(); ++i) s += (i ? "," : "") + std::to_string(values[i]);
    return s + "]";
}
}  // namespace

std::string JsonString(const std::string& text) {
    std::string s = "\"";
    for (unsigned char ch : text) {
        if (ch == '"' || ch == '\\') {
            s += '\\';
            s += static_cast<char>(ch);
        } else if (ch < 0x20 || ch >= 0x7F) {
            // Names are single-byte text: escape everything outside printable ASCII as its byte value.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", ch);
            s += escape;
        } else {
            s += static_cast<char>(ch);
        }
    }
    return s + "\"";
}

std::string JsonField(const char* name, int value) {
    return JsonString(name) + ":" + std::to_string(value);
}
std::string JsonField(const char* name, const char* value) {
    return JsonString(name) + ":" + JsonString(value);
}

void TraceGameEvent(const GameEvent& event, const GameState& state) {
    switch (event.kind) {
        case GameEventKind::PiecePlaced:
            TraceEvent("piece-placed",
                       JsonField("shape", event.a) + "," + JsonField("colour", event.b) +
                           ",\"cells\":" + CellsJson(state.piece.cells, state.pieceCellCount));
            break;
        case GameEventKind::PieceLocked:
            TraceEvent("lock", JsonField("cells", event.a) +
                                   ",\"piece\":" + CellsJson(state.piece.cells, state.pieceCellCount));
            break;
        case GameEventKind::RowsRemoved:
            TraceEvent("rows-removed", JsonField("rows", event.a));
            break;
        case GameEventKind::CellsRemoved:
            TraceEvent("cells-removed", JsonField("cells", event.a) + "," + JsonField("chainCount", event.b));
            break;
        case GameEventKind::LevelChanged:
            TraceEvent("level", JsonField("level", event.a));
            break;
        case GameEventKind::BonusAppeared:
        case GameEventKind::BonusExpired:
        case GameEventKind::BonusCaught: {
            const char* name = event.kind == GameEventKind::BonusAppeared  ? "bonus-appear"
                               : event.kind == GameEventKind::BonusExpired ? "bonus-expire"
                                                                           : "bonus-catch";
            TraceEvent(name, JsonField("slot", event.a) + "," + JsonField("column", event.b) + "," +
                                 JsonField("row", event.c));
            break;
        }
        case GameEventKind::GameLost:
            TraceEvent("game-lost", JsonField("score", state.score));
            break;
    }
}

void WriteGameStateJson(GameApp& app, std::ostream& out) {
    const GameState& s = app.State();
    out << "{\n";
    out << "\"appState\":" << JsonString(AppStateNames[app.appState]) << ",\n";
    out << "\"now\":" << Number(app.now) << ",\"pauseStartTime\":" << Number(app.pauseStartTime)
        << ",\"backgroundIndex\":" << app.backgroundIndex << ",\n";
    out << "\"options\":{\"soundOn\":" << app.soundOn << ",\"musicOn\":" << app.musicOn
        << ",\"dynamicBackground\":" << app.dynamicBackground << ",\"blockStyle\":" << app.blockStyle
        << ",\"languageName\":" << JsonString(app.languageName)
        << ",\"windowed\":" << (app.IsWindowed() ? 1 : 0) << "},\n";
    out << "\"gameModeIndex\":" << s.gameModeIndex << ",\"measuredFrameRate\":" << Number(app.frameRate)
        << ",\"pieceScreenX\":" << app.pieceScreenX << ",\"pieceScreenY\":" << app.pieceScreenY << ",\n";
    out << "\"gameState\":{";
    out << "\"gameModeIndex\":" << s.gameModeIndex << ",\"gameType\":" << static_cast<int>(s.gameType)
        << ",\"bonusesEnabled\":" << s.bonusesEnabled << ",\"pieceCellCount\":" << s.pieceCellCount << ",\n";
    out << "\"well\":{\"count\":" << s.well.count << ",\"cells\":" << CellsJson(s.well.cells, s.well.count)
        << "},\n";
    out << "\"piece\":{\"shape\":" << s.piece.shape << ",\"active\":" << s.piece.active
        << ",\"appearing\":" << s.piece.appearing << ",\"appearProgress\":" << Number(s.piece.appearProgress)
        << ",\"cells\":" << CellsJson(s.piece.cells, 4) << "},\n";
    out << "\"debris\":{\"count\":" << s.debris.count
        << ",\"cells\":" << CellsJson(s.debris.cells, s.debris.count) << "},\n";
    out << "\"score\":" << s.score << ",\"lines\":" << s.lines << ",\"level\":" << s.level
        << ",\"elapsedSeconds\":" << s.elapsedSeconds << ",\"gameStartTime\":" << Number(s.gameStartTime)
        << ",\"lastStepTime\":" << Number(s.lastStepTime) << ",\"dropSpeed\":" << Number(s.dropSpeed)
        << ",\"dropRequested\":" << s.dropRequested << ",\"lockPending\":" << s.lockPending
        << ",\"lockTime\":" << Number(s.lockTime) << ",\n";
    out << "\"nextShape\":" << s.nextShape << ",\"nextColour\":" << s.nextColour
        << ",\"currentShape\":" << s.currentShape << ",\"currentColour\":" << s.currentColour
        << ",\"nextBarColours\":" << IntArray(s.nextBarColours)
        << ",\"currentBarColours\":" << IntArray(s.currentBarColours) << ",\"chainCount\":" << s.chainCount
        << ",\"levelUpProgress\":" << Number(s.levelUpProgress)
        << ",\"gameOverTime\":" << Number(s.gameOverTime) << ",\n";
    out << "\"bonus\":[";
    for (int i = 0; i < 2; ++i) {
        const BonusItem& b = s.bonus[i];
        out << (i ? "," : "") << "{\"active\":" << b.active << ",\"column\":" << b.column
            << ",\"row\":" << b.row << ",\"stamp\":" << b.stamp << "}";
    }
    out << "],\n\"rightRepeatCount\":" << s.rightRepeatCount << ",\"leftRepeatCount\":" << s.leftRepeatCount
        << ",\"rightLastMoveTime\":" << Number(s.rightLastMoveTime)
        << ",\"leftLastMoveTime\":" << Number(s.leftLastMoveTime) << "},\n";

    HighScoreTable& scores = app.Scores();
    out << "\"highScores\":{\"currentTable\":" << scores.CurrentTable()
        << ",\"entryActive\":" << (scores.EntryActive() ? 1 : 0) << ",\"editRow\":" << scores.EditRow()
        << ",\"tables\":[";
    for (int t = 0; t < HighScoreTableCount; ++t) {
        out << (t ? ",\n" : "\n") << "[";
        for (int r = 0; r < HighScoreRowCount; ++r) {
            const HighScoreEntry& e = scores.Entry(t, r);
            std::string name(e.name, strnlen(e.name, sizeof e.name));
            out << (r ? "," : "") << "{\"name\":" << JsonString(name) << ",\"score\":" << e.score << "}";
        }
        out << "]";
    }
    out << "]}\n}\n";
}
