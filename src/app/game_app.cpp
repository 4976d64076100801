#include "app/game_app.h"

#include <cmath>
#include <cstdio>

#include "app/app_json.h"
#include "app/subsystems.h"
#include "audio/music_player.h"
#include "audio/sound_bank.h"
#include "audio/wave_effects.h"
#include "base/clock.h"
#include "headless/trace.h"
#include "persist/config.h"
#include "persist/log.h"
#include "ui/bitmap_font.h"
#include "ui/texture_registry.h"

namespace {
constexpr float GameOverWait = 2.5f;
constexpr int SteeringDeadZone = 15;
// How long the line about a failed save stays on screen after the last failed attempt.
constexpr float SaveNoticeSeconds = 8.0f;

// The translation of a text of the game, or the text itself.
std::string Translated(const std::string& text) {
    const std::string translation = Translate(text);
    return translation.empty() ? text : translation;
}

}  // namespace

Subsystems& Subsystems::Get() {
    static Subsystems subsystems;
    return subsystems;
}

GameApp::GameApp() : core(*this), highScores(highScoreStore, this) {
    AttachRunnerGame(this);
    SetScreenOptionStore(&settings);
    windowTitle = "Kelvane 3.0";
    windowWidth = 800;
    windowHeight = 600;
    mainScreen.LoadFromXml("menu-main.xml");
    optionsScreen.LoadFromXml("menu-options.xml");
    selectScreen.LoadFromXml("menu-selectgame.xml");
    highScoreScreen.LoadFromXml("menu-highscores.xml");
    pauseScreen.LoadFromXml("menu-pause.xml");
    inGameScreen.LoadFromXml("menu-ingame.xml");
    windowed = !optionsScreen.IsChecked("btnFullScreen");
}

GameApp::~GameApp() {
    SetScreenOptionStore(nullptr);
    SetSaveProblemHandler(nullptr);
}

Screen* GameApp::CurrentScreen() {
    switch (appState) {
        case MainMenu:
            return &mainScreen;
        case SelectGame:
            return &selectScreen;
        case Playing:
            return &inGameScreen;
        case Paused:
            return &pauseScreen;
        case AppState::HighScores:
            return &highScoreScreen;
        case AppState::Options:
            return &optionsScreen;
        case GameOver:
            break;
    }
    return nullptr;
}

void GameApp::SetAppState(AppState state) {
    if (state == appState) return;
    appState = state;
    TraceEvent("state", {{"state", AppStateName(state)}});
}

// ---------------------------------------------------------------------------------------------------
// Start-up and device objects

HResult GameApp::InitApplication() {
    WriteLog("*** SESSION STARTED ***", LogNewFile | LogTimeStamp | LogFrame);
    SetPlatformNoticeHandler([](const std::string& text) { WriteLog(text, LogTimeStamp); });
    // A save that fails is logged where it fails; the player reads it at the foot of the screen.
    SetSaveProblemHandler([this](SavedFile file, SaveProblem problem) {
        if (problem == SaveProblem::None) {
            if (saveNotice.file == file) saveNotice.problem = SaveProblem::None;
            return;
        }
        saveNotice = {file, problem, now};
    });
    SetScreenSoundPlayer([](const std::string& fileName) { PlaySoundFile(fileName); });
    // A sound file that does not decode is reported in a message box, or in app.log when nobody can
    // click it away.
    SetSoundMessageBox([this](const std::string& text, const std::string& caption) {
        if (IsHeadless()) {
            WriteLog(caption + ": " + text, LogTimeStamp | LogWarning);
        } else {
            ShowMessageBox(caption, text);
        }
    });
    // The framework fixes the run's seed before start-up: --seed, or the system's tick count times ten
    // (the run's own clock starts at zero here).
    SeedRandom(Options().seed.value_or(SystemTickCountMs() * 10));

    core.state.gameModeIndex = 1;
    core.state.gameStartTime = core.state.lastStepTime = now;
    backgroundIndex = RandomInt(0, 2);
    GameMusicPlayer().trackPlayCounts = {};
    appState = MainMenu;

    languageName = LoadLanguageName();

    highScoreStore.LoadOrCreate();

    musicOn = optionsScreen.IsChecked("btnMusic");
    soundOn = optionsScreen.IsChecked("btnSound");
    dynamicBackground = optionsScreen.IsChecked("btnDynamicBack");
    core.soundOn = soundOn;

    int style = 0;
    if (settings.ReadOptionInt("btnBlocksType", style)) blockStyle = style;
    // A stored style outside 0..4 would name cell meshes that do not exist: the game would show no cells.
    if (blockStyle < 0 || blockStyle > 4) blockStyle = 2;

    Subsystems::Get().meshes.LoadAllMeshes(GraphicsDirectory);
    Subsystems::Get().meshes.ReportMissing(GraphicsDirectory, SceneMeshFiles());
    return S_OK;
}

HResult GameApp::CreateDeviceObjects() {
    GraphicsDevice& device = *Device();
    Subsystems& sys = Subsystems::Get();
    textureRegistry.BindDevice(MainWindow(), &device);
    HResult result = SetUpSceneCamera(device);
    if (Failed(result)) return result;

    screenWidth = MainWindow()->ClientWidth();
    screenHeight = MainWindow()->ClientHeight();

    ShowLoadingSplash();

    if (!deviceObjectsCreatedOnce) {
        deviceObjectsCreatedOnce = true;
        // Headless runs have no audio device: every effect and track is then silent.
        AudioMixer& mixer = GameMixer();
        if (!IsHeadless()) mixer.Open([](const std::string& text) { WriteLog(text, LogTimeStamp); });
        AudioMixer* device = mixer.IsOpen() ? &mixer : nullptr;
        InitWaveEffects(device);
        LoadGameWaveEffects();
        InitMusic(device);
        LoadGameTracks();
        InitSoundBank(device, soundOn != 0, musicOn != 0);
    }
    sys.meshes.textures.LoadMeshTextures(device, GraphicsDirectory);
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    sys.scene.LoadCellMeshes(blockStyle);
    return result;
}

HResult GameApp::ReleaseDeviceObjects() {
    Subsystems::Get().meshes.textures.ReleaseMeshTextures();
    textureRegistry.DeleteAllTexturesMIPMAP();
    return S_OK;
}

HResult GameApp::ShutDown() {
    Subsystems::Get().meshes.ReleaseMeshes();
    ReleaseMusic();
    ReleaseWaveEffects();
    ReleaseSoundBank();
    GameMixer().Close();
    return S_OK;
}

// ---------------------------------------------------------------------------------------------------
// The frame

HResult GameApp::AdvanceFrame(float frameTime) {
    GameState& s = core.state;
    const int quotient = s.gameModeIndex / 2;
    if (quotient >= 0 && quotient <= 2) s.gameType = static_cast<GameType>(quotient);
    s.bonusesEnabled = s.gameModeIndex % 2 != 0;

    now = frameTime;
    frameRate = frameRateMeter.Measure(TickCountMs());
    core.SetFrameRate(frameRate);

    if (appState == GameOver && now - s.gameOverTime > GameOverWait) OfferScoreAndLeave(true);

    RunMusicCheck(now, musicOn != 0);

    if (appState == Playing) core.AdvancePlay(now);
    return S_OK;
}

void GameApp::OfferScoreAndLeave(bool newBackground) {
    highScores.SelectTable(core.state.gameModeIndex);
    const uint32_t score = core.state.score < 0 ? 0u : static_cast<uint32_t>(core.state.score);
    if (highScores.OfferScore(score)) {
        SetAppState(AppState::HighScores);
    } else {
        if (newBackground) backgroundIndex = RandomInt(0, 2);
        SetAppState(MainMenu);
    }
}

// ---------------------------------------------------------------------------------------------------
// Messages

void GameApp::EnterPause() {
    SetAppState(Paused);
    pauseStartTime = now;
}

int64_t GameApp::HandleMessage(const Message& message) {
    const Point cursor = CurrentInput().CursorPosition();
    const bool leftDown = CurrentInput().IsLeftButtonDown();
    auto finish = [&] { return DefaultHandleMessage(message); };

    if (message.id == WM_CONTEXTMENU) return 0;

    if (message.id == WM_KILLFOCUS) {
        StopMusic();
        if (appState == Playing) EnterPause();
    }

    if (message.id == WM_COMMAND && (message.wParam & 0xFFFF) == CommandToggleFullScreen)
        optionsScreen.SetChecked("btnFullScreen", IsWindowed() ? 1 : 0);

    if (LeaveScreenWithoutWayOut(message)) return finish();

    if (appState == MainMenu) {
        const std::string action = mainScreen.HandleMouse(message.id, cursor.x, cursor.y, leftDown);
        if (RunMainCommand(action)) return finish();
    }
    if (appState == AppState::Options) {
        RunOptionsCommand(optionsScreen.HandleMouse(message.id, cursor.x, cursor.y, leftDown));
    }
    if (appState == SelectGame) {
        RunSelectCommand(selectScreen.HandleMouse(message.id, cursor.x, cursor.y, leftDown));
    }
    if (appState == AppState::HighScores) {
        highScores.HandleNameKey(message.id, message.wParam);
        RunHighScoreCommand(highScoreScreen.HandleMouse(message.id, cursor.x, cursor.y, leftDown));
    }
    if (appState == Paused) {
        if (RunPauseCommand(pauseScreen.HandleMouse(message.id, cursor.x, cursor.y, leftDown)))
            return finish();
    }
    if (appState == Playing) {
        if (inGameScreen.HandleMouse(message.id, cursor.x, cursor.y, leftDown) == "procPause") {
            EnterPause();
            return finish();
        }
    }

    // The piece follows the pointer one column per movement message outside a 15-pixel dead zone.
    // Only a falling (or appearing) piece is steered: the cells of a locked piece stay where they are.
    const FallingPiece& piece = core.state.piece;
    if (appState == Playing && message.id == WM_MOUSEMOVE && (piece.active || piece.appearing)) {
        if (cursor.x < pieceScreenX - SteeringDeadZone) core.MovePieceLeft();
        if (cursor.x > pieceScreenX + SteeringDeadZone) core.MovePieceRight();
    }

    // A right click turns the piece, but only in play: never behind the pause screen or a menu.
    if (message.id == WM_RBUTTONDOWN && appState == Playing && core.IsPieceControllable()) core.TurnPiece();

    if (message.id == WM_KEYDOWN && appState == Playing) {
        const int key = static_cast<int>(message.wParam);
        if (core.IsPieceControllable()) {
            if (key == VK_UP || key == VK_CLEAR || key == VK_NUMPAD5) core.TurnPiece();
            if (key == VK_SPACE || key == VK_RETURN) core.RequestDrop();
        }
        if (key == VK_ESCAPE || key == VK_BACK || key == 'P' || key == VK_PAUSE) EnterPause();
    }
    return finish();
}

bool GameApp::LeaveScreenWithoutWayOut(const Message& message) {
    if (message.id != WM_KEYDOWN || message.wParam != VK_ESCAPE) return false;
    switch (appState) {
        case MainMenu:
            if (mainScreen.HasAction("procExit")) return false;
            PostClose();
            return true;
        case AppState::Options:
            if (optionsScreen.HasAction("procClose")) return false;
            RunOptionsCommand("procClose");
            return true;
        case SelectGame:
            if (selectScreen.HasAction("procClose")) return false;
            RunSelectCommand("procClose");
            return true;
        case AppState::HighScores:
            // While a name is typed, Escape belongs to the name entry.
            if (highScores.EntryActive() || highScoreScreen.HasAction("procClose")) return false;
            RunHighScoreCommand("procClose");
            return true;
        case Paused:
            if (pauseScreen.HasAction("procResume")) return false;
            RunPauseCommand("procResume");
            return true;
        case Playing:
        case GameOver:
            break;
    }
    return false;
}

std::string GameApp::DamagedScreenText() const {
    auto line = [](const Screen& screen, const char* hint) {
        return screen.FileName() + " " + Translated("is damaged.") + " " + Translated(hint);
    };
    switch (appState) {
        case MainMenu:
            return mainScreen.HasAction("procExit") ? "" : line(mainScreen, "Press Escape to quit.");
        case AppState::Options:
            return optionsScreen.HasAction("procClose") ? ""
                                                        : line(optionsScreen, "Press Escape to go back.");
        case SelectGame:
            return selectScreen.HasAction("procClose") ? "" : line(selectScreen, "Press Escape to go back.");
        case AppState::HighScores:
            return highScoreScreen.HasAction("procClose") ? ""
                                                          : line(highScoreScreen, "Press Escape to go back.");
        case Paused:
            return pauseScreen.HasAction("procResume") ? "" : line(pauseScreen, "Press Escape to go on.");
        case Playing:
        case GameOver:
            break;
    }
    return "";
}

std::string GameApp::SaveNoticeText() const {
    if (saveNotice.problem == SaveProblem::None || now - saveNotice.since > SaveNoticeSeconds) return "";
    return Translated(SaveFailedText(saveNotice.file)) + ": " +
           Translated(SaveProblemText(saveNotice.problem));
}

bool GameApp::RunMainCommand(const std::string& action) {
    if (action == "procNewGame") {
        SetAppState(SelectGame);
        core.state.gameModeIndex = 1;
        return true;
    }
    if (action == "procOptions") SetAppState(AppState::Options);
    if (action == "procHighScores") SetAppState(AppState::HighScores);
    if (action == "procExit") PostClose();
    return false;
}

void GameApp::RunOptionsCommand(const std::string& action) {
    if (action == "procSoundMode") {
        soundOn = optionsScreen.IsChecked("btnSound");
        core.soundOn = soundOn;
        SetEffectsVolume(soundOn ? 1.0f : 0.0f);
    } else if (action == "procMusicMode") {
        musicOn = optionsScreen.IsChecked("btnMusic");
        if (musicOn) {
            SetMusicVolume(1.0f);
        } else {
            SetMusicVolume(0.0f);
            StopMusic();
        }
    } else if (action == "procFullScreenMode") {
        const bool checked = optionsScreen.IsChecked("btnFullScreen");
        if (checked == IsWindowed()) PostCommand(CommandToggleFullScreen);
    } else if (action == "procDynamicBack") {
        dynamicBackground = optionsScreen.IsChecked("btnDynamicBack");
    } else if (action == "procBlocksType") {
        blockStyle = blockStyle >= 4 ? 0 : blockStyle + 1;
        Subsystems::Get().scene.LoadCellMeshes(blockStyle);
        char text[16];
        std::snprintf(text, sizeof text, "%d", blockStyle);
        settings.Store("btnBlocksType", text);
    } else if (action == "procClose") {
        SetAppState(MainMenu);
    }
}

void GameApp::RunSelectCommand(const std::string& action) {
    if (action == "procClose") {
        SetAppState(MainMenu);
        return;
    }
    static const char* const starts[] = {"procStart1", "procStart2", "procStart3",
                                         "procStart4", "procStart5", "procStart6"};
    for (int i = 0; i < 6; ++i) {
        if (action == starts[i]) {
            core.state.gameModeIndex = i;
            core.StartNewGame(now);
            return;
        }
    }
}

void GameApp::RunHighScoreCommand(const std::string& action) {
    int& mode = core.state.gameModeIndex;
    if (action == "procClear") {
        highScores.EndNameEntry();
        highScoreStore.Clear();
    } else if (action == "procClose") {
        SetAppState(MainMenu);
        highScores.EndNameEntry();
    } else if (action == "procPrevious") {
        if (mode > 1) mode -= 2;
        highScores.EndNameEntry();
    } else if (action == "procNext") {
        if (mode < 5) mode += 2;
        highScores.EndNameEntry();
    }
}

bool GameApp::RunPauseCommand(const std::string& action) {
    if (action == "procResume") {
        SetAppState(Playing);
        core.state.gameStartTime += now - pauseStartTime;
        return true;
    }
    if (action == "procEnd") {
        OfferScoreAndLeave(false);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------------
// What the game core and the high-score table ask of the application

bool GameApp::IsKeyHeld(int virtualKey) const {
    return CurrentInput().IsKeyHeld(virtualKey);
}

void GameApp::PlayEffect(WaveEffect effect) {
    TraceEvent("effect", {{"number", static_cast<int>(effect)}});
    PlayWaveEffect(static_cast<int>(effect), 0);
}

void GameApp::OnGameStarted() {
    SetAppState(Playing);
    backgroundIndex = RandomInt(0, 2);
}

void GameApp::OnGameOver() {
    SetAppState(GameOver);
}

void GameApp::OnGameEvent(const GameEvent& event) {
    TraceGameEvent(event, core.state);
}

void GameApp::DrawText(float x, float y, float size, uint32_t colour, int flags, const std::string& text) {
    bitmapFont.DrawText(x, y, size, colour, static_cast<uint32_t>(flags), text);
}

void GameApp::DrawName(float x, float y, float size, uint32_t colour, const std::string& name) {
    bitmapFont.DrawText(x, y, size, colour, TEXT_LITERAL, name);
}

void GameApp::PlaySoundEvent(const std::string& name) {
    ::PlaySoundEvent(name);
}

bool GameApp::FindActionCentre(const std::string& action, Point& centre) {
    Screen* screen = CurrentScreen();
    const std::optional<Point> found = screen ? screen->FindActionCentre(action) : std::nullopt;
    if (found) centre = *found;
    return found.has_value();
}

Json GameApp::StateJson() {
    return GameStateJson(*this);
}
