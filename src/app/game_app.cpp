#include "app/game_app.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "app/app_json.h"
#include "app/subsystems.h"
#include "app/window_place.h"
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

// What a key or pad button press means on a menu screen: the arrows and the d-pad move the focus (also
// while held), Return, keypad Enter, Space and A activate, Escape and B go back.
std::optional<MenuMove> MenuMoveOf(const Message& message) {
    const bool repeat = IsRepeatPress(message);
    const int code = static_cast<int>(message.wParam);
    if (message.id == WM_KEYDOWN) {
        switch (code) {
            case VK_UP:
                return MenuMove::Up;
            case VK_DOWN:
                return MenuMove::Down;
            case VK_LEFT:
                return MenuMove::Left;
            case VK_RIGHT:
                return MenuMove::Right;
            case VK_RETURN:
            case VK_SPACE:
                if (!repeat) return MenuMove::Activate;
                break;
            case VK_ESCAPE:
                if (!repeat) return MenuMove::Back;
                break;
            default:
                break;
        }
    } else if (message.id == WM_PADBUTTONDOWN) {
        switch (code) {
            case PAD_DPUP:
                return MenuMove::Up;
            case PAD_DPDOWN:
                return MenuMove::Down;
            case PAD_DPLEFT:
                return MenuMove::Left;
            case PAD_DPRIGHT:
                return MenuMove::Right;
            case PAD_A:
                if (!repeat) return MenuMove::Activate;
                break;
            case PAD_B:
                if (!repeat) return MenuMove::Back;
                break;
            default:
                break;
        }
    }
    return std::nullopt;
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
    // The same picture as the desktop entry's icon.
    windowIcon = "Graphics\\icon.png";
    applicationId = KELVANE_APP_ID;
    windowWidth = 800;
    windowHeight = 600;
    minimumWindowSize = {640, 480};
    mainScreen.LoadFromXml("menu-main.xml");
    optionsScreen.LoadFromXml("menu-options.xml");
    selectScreen.LoadFromXml("menu-selectgame.xml");
    highScoreScreen.LoadFromXml("menu-highscores.xml");
    pauseScreen.LoadFromXml("menu-pause.xml");
    inGameScreen.LoadFromXml("menu-ingame.xml");
    helpScreen.LoadFromXml("menu-help.xml");
    confirmScreen.LoadFromXml("menu-confirm.xml");
    controlsScreen.LoadFromXml("menu-controls.xml");
    // Every menu takes the keyboard and the pads; the in-game overlay leaves them to the game.
    for (Screen* menu : {&mainScreen, &optionsScreen, &selectScreen, &highScoreScreen, &pauseScreen,
                         &helpScreen, &confirmScreen, &controlsScreen})
        menu->EnableFocus(true);
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
            return clearConfirmOpen ? &confirmScreen : &highScoreScreen;
        case AppState::Options:
            return &optionsScreen;
        case AppState::Help:
            return &helpScreen;
        case AppState::Controls:
            return &controlsScreen;
        case GameOver:
            break;
    }
    return nullptr;
}

void GameApp::SetAppState(AppState state) {
    if (state == appState) return;
    appState = state;
    clearConfirmOpen = false;
    captureAction = -1;
    // A screen opens with its first button in focus.
    if (Screen* screen = CurrentScreen()) screen->ResetFocus();
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
    clearConfirmOpen = false;
    mainScreen.ResetFocus();

    languageName = LoadLanguageName();

    // Where the player left the window (a headless run has a fixed size of its own).
    if (!IsHeadless()) {
        const RememberedWindow remembered = LoadWindowPlace(minimumWindowSize);
        rememberedWindowSize = remembered.size;
        rememberedWindowPosition = remembered.position;
    }

    highScoreStore.LoadOrCreate();

    musicOn = optionsScreen.IsChecked("btnMusic");
    soundOn = optionsScreen.IsChecked("btnSound");
    dynamicBackground = optionsScreen.IsChecked("btnDynamicBack");
    core.soundOn = soundOn;

    // The controls as the player left them; whatever in [CONTROLS] cannot be used is said once here.
    std::vector<std::string> problems;
    UseControls(
        ReadControls([this](const std::string& key) { return settings.Read("CONTROLS", key); }, problems));
    for (const std::string& problem : problems) WriteLog("config.ini " + problem, LogTimeStamp | LogWarning);

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
        ApplyVolumes();
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

void GameApp::WindowPlacementChanged(const PixelRect& placement) {
    StoreWindowPlace(placement);
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

    if (appState == AppState::Controls && CaptureBinding(message)) return finish();
    if (LeaveScreenWithoutWayOut(message)) return finish();

    // A key or pad button serves one menu only: the screen that an activation opens does not see the
    // same press again, nor does the play that a game start begins.
    bool keyUsed = false;
    auto input = [&](Screen& screen) { return ScreenInput(screen, message, cursor, leftDown, keyUsed); };

    if (appState == MainMenu) {
        if (RunMainCommand(input(mainScreen))) return finish();
    }
    if (appState == AppState::Options) {
        if (RunOptionsCommand(input(optionsScreen))) return finish();
    }
    if (appState == SelectGame) {
        RunSelectCommand(input(selectScreen));
    }
    if (appState == AppState::HighScores) {
        // Typing wins: while a name is entered, the keys and pad buttons are the entry's.
        const bool typing = highScores.EntryActive();
        highScores.HandleNameKey(message.id, message.wParam);
        if (typing && MenuMoveOf(message)) keyUsed = true;
        if (clearConfirmOpen) {
            RunConfirmCommand(input(confirmScreen));
        } else {
            RunHighScoreCommand(input(highScoreScreen));
        }
    }
    if (appState == Paused) {
        if (RunPauseCommand(input(pauseScreen))) return finish();
    }
    if (appState == AppState::Help) {
        if (RunHelpCommand(input(helpScreen))) return finish();
    }
    if (appState == AppState::Controls) {
        if (RunControlsCommand(input(controlsScreen))) return finish();
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

    if (appState == Playing && !keyUsed) PlayKeyOrButton(message);
    return finish();
}

std::string GameApp::ScreenInput(Screen& screen, const Message& message, Point cursor, bool leftDown,
                                 bool& keyUsed) {
    const std::optional<MenuMove> move = MenuMoveOf(message);
    if (!move) return screen.HandleMouse(message.id, cursor.x, cursor.y, leftDown);
    if (keyUsed) return {};
    keyUsed = true;
    return screen.Navigate(*move);
}

// The keys and pad buttons pressed in play: turn and drop while the piece obeys, pause at any time.
// Moving and hurrying are held, and the game core asks for them every frame (IsKeyHeld).
void GameApp::PlayKeyOrButton(const Message& message) {
    const bool pad = message.id == WM_PADBUTTONDOWN;
    if (message.id != WM_KEYDOWN && !pad) return;
    const int code = static_cast<int>(message.wParam);
    auto does = [&](GameAction action) {
        return pad ? ButtonDoes(controls, action, code) : KeyDoes(controls, action, code);
    };
    if (core.IsPieceControllable()) {
        if (does(GameAction::Turn)) core.TurnPiece();
        if (does(GameAction::Drop)) core.RequestDrop();
    }
    if (does(GameAction::Pause)) EnterPause();
}

std::optional<GameApp::WayOut> GameApp::WayOutOf(AppState state) const {
    switch (state) {
        case MainMenu:
            return WayOut{&mainScreen, "procExit", "Press Escape to quit.",
                          [](GameApp& app) { app.PostClose(); }};
        case AppState::Options:
            return WayOut{&optionsScreen, "procClose", "Press Escape to go back.",
                          [](GameApp& app) { app.RunOptionsCommand("procClose"); }};
        case SelectGame:
            return WayOut{&selectScreen, "procClose", "Press Escape to go back.",
                          [](GameApp& app) { app.RunSelectCommand("procClose"); }};
        case AppState::HighScores:
            return WayOut{&highScoreScreen, "procClose", "Press Escape to go back.",
                          [](GameApp& app) { app.RunHighScoreCommand("procClose"); }};
        case Paused:
            return WayOut{&pauseScreen, "procResume", "Press Escape to go on.",
                          [](GameApp& app) { app.RunPauseCommand("procResume"); }};
        case AppState::Help:
            return WayOut{&helpScreen, "procClose", "Press Escape to go back.",
                          [](GameApp& app) { app.RunHelpCommand("procClose"); }};
        case AppState::Controls:
            return WayOut{&controlsScreen, "procClose", "Press Escape to go back.",
                          [](GameApp& app) { app.RunControlsCommand("procClose"); }};
        case Playing:
        case GameOver:
            break;
    }
    return std::nullopt;
}

bool GameApp::LeaveScreenWithoutWayOut(const Message& message) {
    if (MenuMoveOf(message) != MenuMove::Back) return false;
    // While a name is typed, Escape belongs to the name entry.
    if (appState == AppState::HighScores && highScores.EntryActive()) return false;
    const std::optional<WayOut> wayOut = WayOutOf(appState);
    if (!wayOut || wayOut->screen->HasAction(wayOut->action)) return false;
    wayOut->leave(*this);
    return true;
}

std::string GameApp::DamagedScreenText() const {
    const std::optional<WayOut> wayOut = WayOutOf(appState);
    if (!wayOut || wayOut->screen->HasAction(wayOut->action)) return "";
    return wayOut->screen->FileName() + " " + Translated("is damaged.") + " " + Translated(wayOut->hint);
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
    if (action == "procHelp") {
        OpenHelp(MainMenu);
        return true;
    }
    if (action == "procOptions") SetAppState(AppState::Options);
    if (action == "procHighScores") SetAppState(AppState::HighScores);
    if (action == "procExit") PostClose();
    return false;
}

void GameApp::OpenHelp(AppState returnTo) {
    helpReturnState = returnTo;
    SetAppState(AppState::Help);
}

bool GameApp::RunHelpCommand(const std::string& action) {
    if (action != "procClose") return false;
    SetAppState(helpReturnState);
    return true;
}

bool GameApp::RunOptionsCommand(const std::string& action) {
    if (action == "procSoundMode") {
        soundOn = optionsScreen.IsChecked("btnSound");
        core.soundOn = soundOn;
        ApplyVolumes();
    } else if (action == "procMusicMode") {
        musicOn = optionsScreen.IsChecked("btnMusic");
        ApplyVolumes();
        if (!musicOn) StopMusic();
    } else if (action == "procEffectsVolume") {
        ApplyVolumes();
        // A short sound at the new level, unless the last one still sounds (a drag sends many changes).
        if (soundOn && !GameWaveEffects().IsPlaying(EffectGetBonus)) PlayEffect(EffectGetBonus);
    } else if (action == "procMusicVolume") {
        ApplyVolumes();
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
    } else if (action == "procLanguage") {
        CycleLanguage();
    } else if (action == "procControls") {
        SetAppState(AppState::Controls);
        return true;
    } else if (action == "procClose") {
        SetAppState(MainMenu);
    }
    return false;
}

void GameApp::ApplyVolumes() {
    constexpr float SliderDefault = 0.75f;  // a slider's level when config.ini has none
    SetEffectsVolume(soundOn ? optionsScreen.SliderValue("sldEffectsVolume", SliderDefault) : 0.0f);
    SetMusicVolume(musicOn ? optionsScreen.SliderValue("sldMusicVolume", SliderDefault) : 0.0f);
}

// The next section of language.ini, at once for every text; the choice is kept in config.ini.
void GameApp::CycleLanguage() {
    const std::vector<LanguageInfo> languages = AvailableLanguages();
    if (languages.empty()) return;
    size_t next = 0;
    for (size_t i = 0; i < languages.size(); ++i)
        if (SameLanguageName(languages[i].section, languageName)) next = (i + 1) % languages.size();
    languageName = languages[next].section;
    SetLanguageName(languageName);
    settings.StoreIn("LANGUAGE", "Name", languageName);
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    TraceEvent("language", {{"name", CodePageText(languageName)}});
}

// ---------------------------------------------------------------------------------------------------
// The controls screen

void GameApp::UseControls(const ControlSettings& newControls) {
    controls = newControls;
    core.SetKeyRepeat(controls.repeatDelay, controls.repeatInterval);
}

bool GameApp::RunControlsCommand(const std::string& action) {
    for (int i = 0; i < GameActionCount; ++i) {
        const auto gameAction = static_cast<GameAction>(i);
        const std::string name = ActionKeyName(gameAction);
        if (action == "procBindKey" + name || action == "procBindPad" + name) {
            captureAction = i;
            captureIsPad = action == "procBindPad" + name;
            return false;
        }
    }
    if (action == "procDelayShorter" || action == "procDelayLonger") {
        controls.repeatDelay = StepRepeatDelay(controls.repeatDelay, action == "procDelayLonger" ? 1 : -1);
        StoreRepeatTiming();
    } else if (action == "procIntervalShorter" || action == "procIntervalLonger") {
        controls.repeatInterval =
            StepRepeatInterval(controls.repeatInterval, action == "procIntervalLonger" ? 1 : -1);
        StoreRepeatTiming();
    } else if (action == "procDefaults") {
        UseControls(DefaultControls());
        for (int i = 0; i < GameActionCount; ++i) {
            StoreBinding(static_cast<GameAction>(i), false);
            StoreBinding(static_cast<GameAction>(i), true);
        }
        StoreRepeatTiming();
    } else if (action == "procClose") {
        SetAppState(AppState::Options);
        return true;
    }
    return false;
}

bool GameApp::CaptureBinding(const Message& message) {
    if (captureAction < 0) return false;
    const auto action = static_cast<GameAction>(captureAction);
    const int code = static_cast<int>(message.wParam);
    switch (message.id) {
        case WM_KEYDOWN:
            if (IsRepeatPress(message)) return true;
            if (code == VK_ESCAPE) {
                captureAction = -1;
            } else if (!captureIsPad && !KeyBindingName(code).empty()) {
                const int other = BindKey(controls, action, code);
                StoreBinding(action, false);
                if (other >= 0) StoreBinding(static_cast<GameAction>(other), false);
                captureAction = -1;
            }
            return true;
        case WM_PADBUTTONDOWN:
            if (IsRepeatPress(message)) return true;
            if (captureIsPad) {
                const int other = BindButton(controls, action, code);
                StoreBinding(action, true);
                if (other >= 0) StoreBinding(static_cast<GameAction>(other), true);
            }
            // A pad cannot give a key: any of its buttons cancels the wait for one.
            captureAction = -1;
            return true;
        case WM_CHAR:
        case WM_KEYUP:
        case WM_PADBUTTONUP:
            return true;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
            captureAction = -1;
            return true;
        default:
            return false;
    }
}

void GameApp::StoreBinding(GameAction action, bool pad) {
    const auto index = static_cast<size_t>(action);
    const std::string key = pad ? ActionButtonName(action) : ActionKeyName(action);
    const std::string name =
        pad ? PadButtonName(controls.buttons[index]) : KeyBindingName(controls.keys[index]);
    settings.StoreIn("CONTROLS", key, name);
    TraceEvent("binding", {{"action", key}, {"name", CodePageText(name)}});
}

void GameApp::StoreRepeatTiming() {
    core.SetKeyRepeat(controls.repeatDelay, controls.repeatInterval);
    settings.StoreIn("CONTROLS", "RepeatDelay", SecondsText(controls.repeatDelay));
    settings.StoreIn("CONTROLS", "RepeatInterval", SecondsText(controls.repeatInterval));
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
        // One click must not wipe ten tables: the screen asks first.
        highScores.EndNameEntry();
        clearConfirmOpen = true;
        confirmScreen.ResetFocus();
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

void GameApp::RunConfirmCommand(const std::string& action) {
    if (action == "procYes") {
        highScoreStore.Clear();
        clearConfirmOpen = false;
    } else if (action == "procNo") {
        clearConfirmOpen = false;
    }
}

bool GameApp::RunPauseCommand(const std::string& action) {
    if (action == "procHelp") {
        OpenHelp(Paused);
        return true;
    }
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

// The core asks for the held arrows by their codes; they stand for the actions, whichever key or pad
// button the player gave them.
bool GameApp::IsKeyHeld(int virtualKey) const {
    const InputState& input = CurrentInput();
    auto held = [&](GameAction action) {
        const auto index = static_cast<size_t>(action);
        return input.IsKeyHeld(controls.keys[index]) || input.IsPadButtonHeld(controls.buttons[index]);
    };
    switch (virtualKey) {
        case VK_LEFT:
            return held(GameAction::Left);
        case VK_RIGHT:
            return held(GameAction::Right);
        case VK_DOWN:
            return held(GameAction::Down);
        default:
            return input.IsKeyHeld(virtualKey);
    }
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
