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
#include <functional>
#include <optional>
#include <string>

#include "app/app_state.h"
#include "app/controls.h"
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
    void WindowPlacementChanged(const PixelRect& placement) override;

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
    Screen& HelpScreen() { return helpScreen; }
    Screen& ConfirmScreen() { return confirmScreen; }
    // The screen that receives input in the current state (nullptr in GameOver); on the high-score
    // screen, the question "Clear all high scores?" while it is asked.
    Screen* CurrentScreen();
    bool ClearConfirmOpen() const { return clearConfirmOpen; }
    // The state the help page returns to: MainMenu, or Paused when it was opened from the pause.
    AppState HelpReturnState() const { return helpReturnState; }
    const ControlSettings& CurrentControls() const { return controls; }
    Screen& ControlsScreen() { return controlsScreen; }
    // The action whose key (or, with captureIsPad, pad button) the controls screen waits for; -1 when
    // it waits for none.
    int CaptureAction() const { return captureAction; }
    bool CaptureIsPad() const { return captureIsPad; }
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
    bool RunMainCommand(const std::string& action);      // true: finish
    bool RunOptionsCommand(const std::string& action);   // true: finish
    bool RunControlsCommand(const std::string& action);  // true: finish
    // While the controls screen waits for a key or button: true when the message was taken for it.
    bool CaptureBinding(const Message& message);
    void StoreBinding(GameAction action, bool pad);
    void StoreRepeatTiming();
    void UseControls(const ControlSettings& newControls);
    // The sound and music volumes: the check box's on or off times its slider's level.
    void ApplyVolumes();
    void CycleLanguage();
    void RunSelectCommand(const std::string& action);
    void RunHighScoreCommand(const std::string& action);
    bool RunPauseCommand(const std::string& action);  // true: finish
    bool RunHelpCommand(const std::string& action);   // true: finish
    void RunConfirmCommand(const std::string& action);
    void OpenHelp(AppState returnTo);
    // A screen's answer to one message: keys and pad buttons move its focus or activate a widget, at
    // most once per message (keyUsed); everything else is the mouse's.
    std::string ScreenInput(Screen& screen, const Message& message, Point cursor, bool leftDown,
                            bool& keyUsed);
    void PlayKeyOrButton(const Message& message);
    void DrawHighScoreScreen();
    void DrawHelpControls();
    void DrawOptionsValues();
    void DrawControlsScreen();
    void DrawHud();
    void DrawCaptions();
    void ShowLoadingSplash();
    void DrawNotices();
    // Escape leaves a menu whose damaged file lost the screen's own way out; true when it did.
    // A screen's own way out (its action) and how to leave it when its file lost that button.
    struct WayOut {
        const Screen* screen;
        const char* action;
        const char* hint;  // the line shown while the screen is damaged, after its file's name
        std::function<void(GameApp&)> leave;
    };
    std::optional<WayOut> WayOutOf(AppState state) const;
    bool LeaveScreenWithoutWayOut(const Message& message);

    GameCore core;
    FrameRateMeter frameRateMeter;
    Settings settings;
    HighScoreStore highScoreStore;
    HighScoreTable highScores;
    Screen mainScreen, optionsScreen, selectScreen, highScoreScreen, pauseScreen, inGameScreen;
    Screen helpScreen, confirmScreen, controlsScreen;
    AppState helpReturnState = MainMenu;
    bool clearConfirmOpen = false;
    ControlSettings controls = DefaultControls();
    int captureAction = -1;
    bool captureIsPad = false;
    bool deviceObjectsCreatedOnce = false;  // the first run loads the sounds and music
    struct SaveNotice {
        SavedFile file = SavedFile::Settings;
        SaveProblem problem = SaveProblem::None;
        float since = 0;
    } saveNotice;
    const InputState* inputOverride = nullptr;
    const InputState& CurrentInput() const { return inputOverride ? *inputOverride : Input(); }
};
