#include "app/app_json.h"

#include <cstring>

#include "app/game_app.h"
#include "headless/trace.h"

namespace {
Json CellJson(const Cell& c) {
    return {{"column", c.column},
            {"row", c.row},
            {"colour", c.colour},
            {"rotating", c.rotating},
            {"rotateProgress", DumpNumber(c.rotateProgress)},
            {"movingLeft", c.movingLeft},
            {"moveLeftProgress", DumpNumber(c.moveLeftProgress)},
            {"movingRight", c.movingRight},
            {"moveRightProgress", DumpNumber(c.moveRightProgress)},
            {"falling", c.falling},
            {"fallProgress", DumpNumber(c.fallProgress)},
            {"debrisProgress", DumpNumber(c.debrisProgress)},
            {"vanishing", c.vanishing},
            {"vanishStartTime", DumpNumber(c.vanishStartTime)}};
}

template <typename Cells>
Json CellsJson(const Cells& cells, int count) {
    Json list = Json::array();
    for (int i = 0; i < count; ++i) list.push_back(CellJson(cells[i]));
    return list;
}

// What the player sees on the HUD after an event that may change it.
Json Totals(const GameState& state) {
    return {{"score", state.score}, {"lines", state.lines}, {"level", state.level}};
}

Json With(Json fields, const Json& more) {
    for (const auto& [key, value] : more.items()) fields[key] = value;
    return fields;
}
}  // namespace

void TraceGameEvent(const GameEvent& event, const GameState& state) {
    if (!IsTraceOpen()) return;
    switch (event.kind) {
        case GameEventKind::PiecePlaced:
            TraceEvent("piece-placed", {{"shape", event.a},
                                        {"colour", event.b},
                                        {"cells", CellsJson(state.piece.cells, state.pieceCellCount)}});
            break;
        case GameEventKind::PieceLocked:
            TraceEvent("lock", With({{"cells", event.a},
                                     {"piece", CellsJson(state.piece.cells, state.pieceCellCount)}},
                                    Totals(state)));
            break;
        case GameEventKind::RowsRemoved:
            TraceEvent("rows-removed", With({{"rows", event.a}}, Totals(state)));
            break;
        case GameEventKind::CellsRemoved:
            TraceEvent("cells-removed", With({{"cells", event.a}, {"chainCount", event.b}}, Totals(state)));
            break;
        case GameEventKind::LevelChanged:
            TraceEvent("level", With({{"level", event.a}}, Totals(state)));
            break;
        case GameEventKind::BonusAppeared:
            TraceEvent("bonus-appear", {{"slot", event.a}, {"column", event.b}, {"row", event.c}});
            break;
        case GameEventKind::BonusExpired:
            TraceEvent("bonus-expire", {{"slot", event.a}, {"column", event.b}, {"row", event.c}});
            break;
        case GameEventKind::BonusCaught:
            TraceEvent("bonus-catch",
                       With({{"slot", event.a}, {"column", event.b}, {"row", event.c}}, Totals(state)));
            break;
        case GameEventKind::GameLost:
            TraceEvent("game-lost", {{"score", state.score}});
            break;
    }
}

namespace {
Json ControlsJson(const GameApp& app) {
    const ControlSettings& controls = app.CurrentControls();
    Json keys = Json::object(), buttons = Json::object();
    for (int i = 0; i < GameActionCount; ++i) {
        const auto action = static_cast<GameAction>(i);
        keys[ActionKeyName(action)] = CodePageText(KeyBindingName(controls.keys[static_cast<size_t>(i)]));
        buttons[ActionKeyName(action)] = PadButtonName(controls.buttons[static_cast<size_t>(i)]);
    }
    const int capture = app.CaptureAction();
    return {{"keys", keys},
            {"padButtons", buttons},
            {"repeatDelay", DumpNumber(controls.repeatDelay)},
            {"repeatInterval", DumpNumber(controls.repeatInterval)},
            {"waitingFor", capture < 0 ? std::string()
                                       : (app.CaptureIsPad() ? "Pad" : "") +
                                             std::string(ActionKeyName(static_cast<GameAction>(capture)))}};
}
}  // namespace

Json GameStateJson(GameApp& app) {
    const GameState& s = app.State();
    Json bonus = Json::array();
    for (const BonusItem& b : s.bonus) {
        bonus.push_back({{"active", b.active}, {"column", b.column}, {"row", b.row}, {"stamp", b.stamp}});
    }
    const Json gameState = {
        {"gameModeIndex", s.gameModeIndex},
        {"gameType", static_cast<int>(s.gameType)},
        {"bonusesEnabled", s.bonusesEnabled},
        {"pieceCellCount", s.pieceCellCount},
        {"well", {{"count", s.well.count}, {"cells", CellsJson(s.well.cells, s.well.count)}}},
        {"piece",
         {{"shape", s.piece.shape},
          {"active", s.piece.active},
          {"appearing", s.piece.appearing},
          {"appearProgress", DumpNumber(s.piece.appearProgress)},
          {"cells", CellsJson(s.piece.cells, 4)}}},
        {"debris", {{"count", s.debris.count}, {"cells", CellsJson(s.debris.cells, s.debris.count)}}},
        {"score", s.score},
        {"lines", s.lines},
        {"level", s.level},
        {"elapsedSeconds", s.elapsedSeconds},
        {"gameStartTime", DumpNumber(s.gameStartTime)},
        {"lastStepTime", DumpNumber(s.lastStepTime)},
        {"dropSpeed", DumpNumber(s.dropSpeed)},
        {"dropRequested", s.dropRequested},
        {"lockPending", s.lockPending},
        {"lockTime", DumpNumber(s.lockTime)},
        {"nextShape", s.nextShape},
        {"nextColour", s.nextColour},
        {"currentShape", s.currentShape},
        {"currentColour", s.currentColour},
        {"nextBarColours", s.nextBarColours},
        {"currentBarColours", s.currentBarColours},
        {"chainCount", s.chainCount},
        {"levelUpProgress", DumpNumber(s.levelUpProgress)},
        {"gameOverTime", DumpNumber(s.gameOverTime)},
        {"bonus", bonus},
        {"rightRepeatCount", s.rightRepeatCount},
        {"leftRepeatCount", s.leftRepeatCount},
        {"rightLastMoveTime", DumpNumber(s.rightLastMoveTime)},
        {"leftLastMoveTime", DumpNumber(s.leftLastMoveTime)}};

    HighScoreTable& scores = app.Scores();
    Json tables = Json::array();
    for (int t = 0; t < HighScoreTableCount; ++t) {
        Json rows = Json::array();
        for (int r = 0; r < HighScoreRowCount; ++r) {
            const HighScoreEntry& e = scores.Entry(t, r);
            rows.push_back({{"name", CodePageText(std::string_view(e.name, strnlen(e.name, sizeof e.name)))},
                            {"score", e.score}});
        }
        tables.push_back(rows);
    }

    const Screen* screen = app.CurrentScreen();
    const Json focus = {{"name", screen ? CodePageText(screen->FocusedName()) : Json("")},
                        {"action", screen ? CodePageText(screen->FocusedAction()) : Json("")}};
    return {{"appState", AppStateName(app.appState)},
            {"menuFocus", focus},
            {"now", DumpNumber(app.now)},
            {"pauseStartTime", DumpNumber(app.pauseStartTime)},
            {"backgroundIndex", app.backgroundIndex},
            {"options",
             {{"soundOn", app.soundOn},
              {"musicOn", app.musicOn},
              {"dynamicBackground", app.dynamicBackground},
              {"blockStyle", app.blockStyle},
              {"languageName", CodePageText(app.languageName)},
              {"windowed", app.IsWindowed() ? 1 : 0},
              {"effectsVolume", DumpNumber(app.OptionsScreen().SliderValue("sldEffectsVolume", 0.75f))},
              {"musicVolume", DumpNumber(app.OptionsScreen().SliderValue("sldMusicVolume", 0.75f))},
              {"controls", ControlsJson(app)}}},
            {"gameModeIndex", s.gameModeIndex},
            {"measuredFrameRate", DumpNumber(app.frameRate)},
            {"pieceScreenX", app.pieceScreenX},
            {"pieceScreenY", app.pieceScreenY},
            {"gameState", gameState},
            {"highScores",
             {{"currentTable", scores.CurrentTable()},
              {"entryActive", scores.EntryActive() ? 1 : 0},
              {"editRow", scores.EditRow()},
              {"clearConfirmOpen", app.ClearConfirmOpen() ? 1 : 0},
              {"tables", tables}}},
            {"notices",
             {{"saveProblem", CodePageText(app.SaveNoticeText())},
              {"damagedScreen", CodePageText(app.DamagedScreenText())}}}};
}
