// GameApp, the game's application object: the state machine of menus, play, pause, game over, high
// scores and options; the player's options; the six menu screens; the high-score tables; and the game
// core's state. The framework calls its hooks: once at start, around every device creation, once per
// frame to advance and once to draw, for every window message, and once at exit.
//  - appState changes only through the transitions of the menu commands, the keys, the focus, the play
//    step (Playing -> GameOver) and the game-over wait.
//  - The game core runs only while Playing, so the game clock, the piece and the bonus timers stand
//    still in every other state; a pause shifts gameStartTime on resume.
#pragma once

#include <cstdint>
#include <string>

#include "app/app_state.h"
#include "app/settings.h"
#include "core/game_core.h"
#include "persist/save_report.h"
#include "shell/framework.h"
#include "ui/high_score_table.h"
#include "ui/screen.h"

class GameApp : public Application, public GameHost, public HighScoreHost, public RunnerGame {
public:
    GameApp();
    ~GameApp() override;

    // Framework hooks.
    HResult InitApplication() override;
    HResult CreateDeviceObjects() override;
    HResult ReleaseDeviceObjects() override;
    HResult RenderFrame() override;
    HResult AdvanceFrame(float frameTime) override;
    HResult RestoreDeviceSurfaces() override { return S_OK; }
    HResult ShutDown() override;
    int64_t HandleMessage(const Message& message) override;

    // What the headless runner asks of the game.
    bool FindActionCentre(const std::string& action, Point& centre) override;
    Json StateJson() override;

    // What the game core asks of the application.
    bool IsKeyHeld(int virtualKey) const override;
    void PlayEffect(WaveEffect effect) override;
    void OnGameStarted() override;
    void OnGameOver() override;
    void OnGameEvent(const GameEvent& event) override;

    // What the high-score table asks of the application.
    void DrawText(float x, float y, float size, uint32_t colour, int flags, const std::string& text) override;
    void DrawName(float x, float y, float size, uint32_t colour, const std::string& name) override;
    void PlaySoundEvent(const std::string& name) override;

    GameState& State() { return core.state; }
    const GameState& State() const { return core.state; }
    GameCore& Core() { return core; }
    HighScoreTable& Scores() { return highScores; }
    Screen& MainScreen() { return mainScreen; }
    Screen& OptionsScreen() { return optionsScreen; }
    Screen& SelectScreen() { return selectScreen; }
    Screen& HighScoreScreen() { return highScoreScreen; }
    Screen& PauseScreen() { return pauseScreen; }
    Screen& InGameScreen() { return inGameScreen; }
    // The screen that receives input in the current state (nullptr in GameOver).
    Screen* CurrentScreen();
    // Where held keys and the pointer are read from: the framework's input, unless another source is
    // given (tests drive the shell without a window this way).
    void UseInputState(const InputState* input) { inputOverride = input; }

    AppState appState = MainMenu;
    float now = 0;
    float pauseStartTime = 0;
    int32_t backgroundIndex = 0;
    int32_t soundOn = 0;
    int32_t musicOn = 0;
    int32_t dynamicBackground = 0;
    int32_t blockStyle = 2;
    std::string languageName = "ENGLISH";
    int32_t pieceScreenX = 0;
    int32_t pieceScreenY = 0;
    int32_t screenWidth = 800;
    int32_t screenHeight = 600;
    float frameRate = 0;  // measuredFrameRate of the current frame

    // The line shown at the foot of the screen for a while after a save failed ("" when none is shown).
    std::string SaveNoticeText() const;
    // The line a screen without its way out shows (its file is damaged) and its key ("" when it has one).
    std::string DamagedScreenText() const;

private:
    void SetAppState(AppState state);
    void EnterPause();
    void OfferScoreAndLeave(bool newBackground);
    bool RunMainCommand(const std::string& action);  // true: finish
    void RunOptionsCommand(const std::string& action);
    void RunSelectCommand(const std::string& action);
    void RunHighScoreCommand(const std::string& action);
    bool RunPauseCommand(const std::string& action);  // true: finish
    void DrawHud();
    void DrawCaptions();
    void ShowLoadingSplash();
    void DrawNotices();
    // Escape leaves a menu whose damaged file lost the screen's own way out; true when it did.
    bool LeaveScreenWithoutWayOut(const Message& message);

    GameCore core;
    FrameRateMeter frameRateMeter;
    Settings settings;
    HighScoreStore highScoreStore;
    HighScoreTable highScores;
    Screen mainScreen, optionsScreen, selectScreen, highScoreScreen, pauseScreen, inGameScreen;
    bool deviceObjectsCreatedOnce = false;  // the first run loads the sounds and music
    struct SaveNotice {
        SavedFile file = SavedFile::Settings;
        SaveProblem problem = SaveProblem::None;
        float since = 0;
    } saveNotice;
    const InputState* inputOverride = nullptr;
    const InputState& CurrentInput() const { return inputOverride ? *inputOverride : Input(); }
};
