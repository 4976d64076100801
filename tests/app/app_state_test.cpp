// The shell's state machine driven through HandleMessage and AdvanceFrame, without a window: screens
// with buttons at known places, a fake pointer and keyboard, the real game core and high scores.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>

#include "app/game_app.h"
#include "audio/sound_bank.h"
#include "audio/wave_effects.h"
#include "persist/config.h"
#include "persist/highscores.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "persist/save_report.h"
#include "ui/texture_registry.h"

namespace fs = std::filesystem;

namespace {

class FakeInput : public InputState {
public:
    bool IsKeyHeld(int virtualKey) const override { return held.count(virtualKey) > 0; }
    bool IsPadButtonHeld(int button) const override { return pads.count(button) > 0; }
    bool IsLeftButtonDown() const override { return leftDown; }
    Point CursorPosition() const override { return cursor; }

    std::set<int> held;
    std::set<int> pads;
    bool leftDown = false;
    Point cursor;
};

class FakeWindow : public Window {
public:
    int ClientWidth() const override { return 800; }
    int ClientHeight() const override { return 600; }
};

// A button 100 x 40 pixels centred on (x, y) in an 800 x 600 client area.
std::string Button(const char* action, float x, float y, const char* extra = "") {
    char text[512];
    std::snprintf(
        text, sizeof text,
        "<Button name=\"%s\" action=\"%s\" xc=\"%g\" yc=\"%g\" width=\"0.125\" height=\"0.0666667\" %s/>\n",
        action, action, x / 800, y / 600, extra);
    return text;
}

void WriteScreen(const char* file, const std::string& body) {
    std::ofstream(file) << "<Screen>\n" << body << "</Screen>\n";
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("kelvane_app_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        oldDir = fs::current_path();
        fs::current_path(dir);
        ResetLogState();
        ResetSaveReports();

        WriteScreen("menu-main.xml", Button("procNewGame", 100, 100) + Button("procHelp", 100, 150) +
                                         Button("procOptions", 100, 200) +
                                         Button("procHighScores", 100, 300) + Button("procExit", 100, 400));
        std::string select;
        for (int i = 1; i <= 6; ++i)
            select += Button(("procStart" + std::to_string(i)).c_str(), 400, 60.0f * i);
        WriteScreen("menu-selectgame.xml", select + Button("procClose", 700, 500));
        // The pause button of the in-game screen sits where "procStart3" is: a click that starts the
        // game is offered to the in-game screen in the same message.
        WriteScreen("menu-ingame.xml", Button("procPause", 400, 180));
        WriteScreen("menu-pause.xml", Button("procResume", 400, 400) + Button("procHelp", 400, 450) +
                                          Button("procEnd", 400, 500));
        WriteScreen("menu-highscores.xml", Button("procPrevious", 600, 100) + Button("procNext", 600, 200) +
                                               Button("procClear", 600, 300) + Button("procClose", 600, 500));
        // The options check box is named after its option key.
        std::string options =
            "<Screen>\n<Button name=\"btnSound\" action=\"procSoundMode\" xc=\"0.25\" yc=\"0.1666667\" "
            "width=\"0.125\" height=\"0.0666667\" outImgChecked=\"x.png\"/>\n" +
            Button("procBlocksType", 200, 200) + Button("procLanguage", 200, 300) +
            Button("procControls", 200, 400) + Button("procClose", 200, 500) +
            "<Slider name=\"sldEffectsVolume\" xc=\"0.5\" yc=\"0.1666667\" action=\"procEffectsVolume\"/>\n"
            "</Screen>\n";
        std::ofstream("menu-options.xml") << options;
        WriteScreen("menu-help.xml", Button("procClose", 700, 560));
        WriteScreen("menu-controls.xml",
                    Button("procBindKeyLeft", 100, 100) + Button("procBindPadLeft", 300, 100) +
                        Button("procBindKeyTurn", 100, 200) + Button("procDelayLonger", 100, 300) +
                        Button("procDefaults", 100, 400) + Button("procClose", 700, 560));
        WriteScreen("menu-confirm.xml", Button("procNo", 500, 350) + Button("procYes", 300, 350));

        textureRegistry.BindDevice(&window, nullptr);
        app = std::make_unique<GameApp>();
        app->UseInputState(&input);
        ASSERT_GE(app->InitApplication(), 0);
    }

    void TearDown() override {
        app.reset();
        IniInjectWriteFailure(IniWriteStep::Write, 0);
        ResetSaveReports();
        textureRegistry.BindDevice(nullptr, nullptr);
        fs::current_path(oldDir);
        fs::remove_all(dir);
    }

    void Send(uint32_t id, uint64_t wParam = 0) { app->HandleMessage(Message{id, wParam, 0}); }
    void Click(int x, int y) {
        input.cursor = {x, y};
        Send(WM_MOUSEMOVE);
        input.leftDown = true;
        Send(WM_LBUTTONDOWN);
        input.leftDown = false;
        Send(WM_LBUTTONUP);
    }
    void Key(int virtualKey) { Send(WM_KEYDOWN, static_cast<uint64_t>(virtualKey)); }
    void Pad(int button) { Send(WM_PADBUTTONDOWN, static_cast<uint64_t>(button)); }
    // Advances the shell by whole frames at 60 frames per second from the current time.
    void Frames(int count) {
        for (int i = 0; i < count; ++i) {
            frameTime += 1.0f / 60.0f;
            app->AdvanceFrame(frameTime);
            app->Core().AdvanceAnimations(app->appState == Paused);
        }
    }
    void StartGame(int startButton) {
        Click(100, 100);  // procNewGame
        Click(400, 60 * startButton);
    }

    fs::path dir, oldDir;
    FakeWindow window;
    FakeInput input;
    std::unique_ptr<GameApp> app;
    float frameTime = 0;
};

}  // namespace

TEST_F(ShellTest, NewGameGoesThroughSelectionAndSetsTheMode) {
    Frames(1);
    EXPECT_EQ(app->State().gameType, Classic);  // gameModeIndex 1 at start: Classic with bonuses
    EXPECT_EQ(app->State().bonusesEnabled, 1);
    Click(100, 100);
    EXPECT_EQ(app->appState, SelectGame);
    EXPECT_EQ(app->State().gameModeIndex, 1);
    Click(400, 240);  // procStart4: Color Blocks with bonuses
    EXPECT_EQ(app->appState, Playing);
    EXPECT_EQ(app->State().gameModeIndex, 3);
    Frames(1);
    EXPECT_EQ(app->State().gameType, ColorBlocks);
    EXPECT_EQ(app->State().pieceCellCount, 3);
}

TEST_F(ShellTest, TheClickThatStartsAGameReachesTheInGameScreen) {
    Click(100, 100);
    Click(400, 180);  // procStart3 lies under the in-game pause button
    EXPECT_EQ(app->appState, Paused);
    EXPECT_EQ(app->State().gameModeIndex, 2);
}

TEST_F(ShellTest, PauseKeysPauseAndOnlyResumeLeavesThePause) {
    StartGame(1);
    Frames(30);
    for (int key : {VK_ESCAPE, VK_BACK, static_cast<int>('P'), VK_PAUSE}) {
        ASSERT_EQ(app->appState, Playing);
        Key(key);
        EXPECT_EQ(app->appState, Paused) << key;
        Key('P');  // a pause key while paused does nothing
        EXPECT_EQ(app->appState, Paused);
        const float startBefore = app->State().gameStartTime;
        Frames(120);      // two seconds behind the pause screen
        Click(400, 400);  // procResume
        EXPECT_EQ(app->appState, Playing);
        EXPECT_NEAR(app->State().gameStartTime - startBefore, 2.0f, 0.02f);
    }
}

TEST_F(ShellTest, LosingTheFocusPausesAndRegainingItDoesNotResume) {
    StartGame(1);
    Send(WM_KILLFOCUS);
    EXPECT_EQ(app->appState, Paused);
    Send(WM_SETFOCUS);
    EXPECT_EQ(app->appState, Paused);
}

TEST_F(ShellTest, GameOverWaitsTwoAndAHalfSecondsThenOffersTheScore) {
    StartGame(1);
    Frames(2);
    app->State().score = 1234;
    app->OnGameOver();
    app->State().gameOverTime = frameTime;
    Frames(144);  // 2.4 s
    EXPECT_EQ(app->appState, GameOver);
    Frames(7);
    EXPECT_EQ(app->appState, HighScores);
    EXPECT_TRUE(app->Scores().EntryActive());
    EXPECT_EQ(app->Scores().CurrentTable(), 0);
    EXPECT_EQ(app->Scores().Entry(0, 0).score, 1234u);
}

TEST_F(ShellTest, AScoreThatDoesNotRankReturnsToTheMainMenu) {
    StartGame(2);
    app->State().score = 0;
    app->OnGameOver();
    app->State().gameOverTime = frameTime;
    Frames(160);
    EXPECT_EQ(app->appState, MainMenu);
    EXPECT_FALSE(app->Scores().EntryActive());
}

TEST_F(ShellTest, EndFromThePauseScreenGoesThroughTheSameScoreTest) {
    StartGame(2);
    app->State().score = 700;
    Key(VK_ESCAPE);
    const int background = app->backgroundIndex;
    Click(400, 500);  // procEnd
    EXPECT_EQ(app->appState, HighScores);
    EXPECT_EQ(app->Scores().CurrentTable(), 1);
    EXPECT_EQ(app->backgroundIndex, background);
}

TEST_F(ShellTest, HighScorePagingKeepsParityAndStopsAtTheEnds) {
    Click(100, 300);  // procHighScores
    ASSERT_EQ(app->appState, HighScores);
    Click(600, 100);  // procPrevious from 1 does nothing
    EXPECT_EQ(app->State().gameModeIndex, 1);
    Click(600, 200);
    Click(600, 200);
    EXPECT_EQ(app->State().gameModeIndex, 5);
    Click(600, 200);  // procNext from 5 does nothing
    EXPECT_EQ(app->State().gameModeIndex, 5);
    Click(600, 500);
    EXPECT_EQ(app->appState, MainMenu);
}

TEST_F(ShellTest, BlockStyleCyclesAndIsStored) {
    Click(100, 200);  // procOptions
    ASSERT_EQ(app->appState, Options);
    EXPECT_EQ(app->blockStyle, 2);
    for (int expected : {3, 4, 0}) {
        Click(200, 200);
        EXPECT_EQ(app->blockStyle, expected);
    }
    std::string stored;
    ASSERT_TRUE(ReadConfigString("OPTIONS", "btnBlocksType", stored));
    EXPECT_EQ(stored, "0");
}

TEST_F(ShellTest, SoundOptionFollowsItsCheckBox) {
    Click(100, 200);
    EXPECT_EQ(app->soundOn, 0);
    Click(200, 100);
    EXPECT_EQ(app->soundOn, 1);
    EXPECT_EQ(app->Core().soundOn, 1);
    std::string stored;
    ASSERT_TRUE(ReadConfigString("OPTIONS", "btnSound", stored));
    EXPECT_EQ(stored, "1");
}

TEST_F(ShellTest, PointerSteersOutsideTheDeadZoneOnlyWhileThePieceFalls) {
    StartGame(2);
    Frames(140);  // first drop step, then the appearance
    ASSERT_TRUE(app->Core().IsPieceControllable());
    app->pieceScreenX = 400;
    const int column = app->State().piece.cells[0].column;
    input.cursor = {385, 300};
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(app->State().piece.cells[0].column, column);  // exactly 15 pixels: inside the dead zone
    input.cursor = {384, 300};
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(app->State().piece.cells[0].column, column - 1);
    input.cursor = {416, 300};
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(app->State().piece.cells[0].column, column);

    // A locked piece's cells stay put whatever the pointer does.
    app->Core().LockPiece();
    input.cursor = {100, 300};
    Send(WM_MOUSEMOVE);
    EXPECT_EQ(app->State().piece.cells[0].column, column);
}

TEST_F(ShellTest, RightClickTurnsOnlyInPlay) {
    StartGame(2);
    Frames(140);
    ASSERT_TRUE(app->Core().IsPieceControllable());
    auto cells = app->State().piece.cells;
    Key(VK_ESCAPE);
    Send(WM_RBUTTONDOWN);
    EXPECT_EQ(app->State().piece.cells[1].column, cells[1].column);
    EXPECT_EQ(app->State().piece.cells[1].row, cells[1].row);
    Click(400, 400);  // resume
    const int shape = app->State().piece.shape;
    Send(WM_RBUTTONDOWN);
    if (shape != 7) {
        EXPECT_TRUE(app->State().piece.cells[1].column != cells[1].column ||
                    app->State().piece.cells[1].row != cells[1].row);
    }
}

TEST_F(ShellTest, ContextMenuIsSwallowed) {
    EXPECT_EQ(app->HandleMessage(Message{WM_CONTEXTMENU, 0, 0}), 0);
}

// A player with only a keyboard: Return takes the focused (first) button of every screen, Escape
// the close button; in play the keys do what they always did.
TEST_F(ShellTest, TheKeyboardAloneLeadsThroughTheMenus) {
    const struct {
        int key;
        AppState state;
        const char* focused;  // of the screen now up
    } steps[] = {
        {VK_RETURN, SelectGame, "procStart1"},  // New Game, the main screen's first button
        {VK_ESCAPE, MainMenu, "procNewGame"},   // the selection's close button
        {VK_DOWN, MainMenu, "procHelp"},
        {VK_DOWN, MainMenu, "procOptions"},
        {VK_DOWN, MainMenu, "procHighScores"},
        {VK_RETURN, HighScores, "procPrevious"},
        {VK_ESCAPE, MainMenu, "procNewGame"},
        {VK_UP, MainMenu, "procExit"},  // up from the top wraps to the bottom
        {VK_DOWN, MainMenu, "procNewGame"},
        {VK_RETURN, SelectGame, "procStart1"},
        {VK_DOWN, SelectGame, "procStart2"},
        {VK_UP, SelectGame, "procStart1"},
        {VK_RETURN, Playing, ""},
        {VK_ESCAPE, Paused, "procResume"},
        {'P', Paused, "procResume"},  // the pause keys do nothing while paused
        {VK_BACK, Paused, "procResume"},
        {VK_ESCAPE, Paused, "procResume"},
        {VK_RETURN, Playing, ""},  // Resume, the pause screen's first button
    };
    for (const auto& step : steps) {
        Key(step.key);
        Send(WM_KEYUP, static_cast<uint64_t>(step.key));
        EXPECT_EQ(app->appState, step.state) << step.key;
        Screen* screen = app->CurrentScreen();
        ASSERT_NE(screen, nullptr);
        EXPECT_EQ(screen->FocusedAction(), step.focused) << step.key;
    }
    // The Return that started the game did not also drop its first piece.
    EXPECT_EQ(app->State().dropRequested, 0);
}

TEST_F(ShellTest, APadAloneLeadsThroughTheMenusAndPlays) {
    Pad(PAD_A);
    ASSERT_EQ(app->appState, SelectGame);
    Pad(PAD_DPDOWN);
    Pad(PAD_DPDOWN);
    Pad(PAD_A);  // procStart3: Color Blocks without bonuses
    ASSERT_EQ(app->appState, Playing);
    EXPECT_EQ(app->State().gameModeIndex, 2);
    Frames(140);
    ASSERT_TRUE(app->Core().IsPieceControllable());

    // A cycles the colours, B drops, the held d-pad moves, Start pauses.
    const auto colours = app->State().piece.cells;
    Pad(PAD_A);
    EXPECT_EQ(app->State().piece.cells[0].colour, colours[2].colour);
    const int column = app->State().piece.cells[0].column;
    input.pads.insert(PAD_DPLEFT);
    Frames(1);
    input.pads.clear();
    Frames(1);
    EXPECT_EQ(app->State().piece.cells[0].column, column - 1);
    Pad(PAD_B);
    EXPECT_EQ(app->State().dropRequested, 1);
    Pad(PAD_START);
    EXPECT_EQ(app->appState, Paused);
    Pad(PAD_START);  // Start, like the pause keys, does not leave the pause
    Pad(PAD_B);      // nor does B: the pause screen has no close button
    EXPECT_EQ(app->appState, Paused);
    Pad(PAD_A);
    EXPECT_EQ(app->appState, Playing);
}

TEST_F(ShellTest, ClearAsksFirstAndOnlyYesClears) {
    HighScoreStore& store = app->Scores().Store();
    store.Insert(3, 999);
    ASSERT_TRUE(store.Save());
    Click(100, 300);  // procHighScores
    Click(600, 300);  // procClear
    ASSERT_TRUE(app->ClearConfirmOpen());
    EXPECT_EQ(app->CurrentScreen()->FocusedAction(), "procNo");  // Return alone never clears
    Click(600, 500);  // the screen's Close lies outside the question: nothing
    EXPECT_EQ(app->appState, HighScores);
    Click(500, 350);  // No
    EXPECT_FALSE(app->ClearConfirmOpen());
    EXPECT_EQ(store.Entry(3, 0).score, 999u);

    // By keys: Escape answers No, and Left, Return answer Yes.
    Click(600, 300);
    Key(VK_ESCAPE);
    EXPECT_FALSE(app->ClearConfirmOpen());
    EXPECT_EQ(app->appState, HighScores);
    EXPECT_EQ(store.Entry(3, 0).score, 999u);
    Click(600, 300);
    Key(VK_LEFT);
    Key(VK_RETURN);
    EXPECT_FALSE(app->ClearConfirmOpen());
    EXPECT_EQ(store.Entry(3, 0).score, 0u);
    HighScoreStore stored;
    stored.Load();
    EXPECT_EQ(stored.Entry(3, 0).score, 0u);
}

TEST_F(ShellTest, AnOpenNameEntryKeepsItsKeys) {
    StartGame(1);
    app->State().score = 300;
    Key(VK_ESCAPE);
    Click(400, 500);  // procEnd: the score ranks, the name is asked for
    ASSERT_TRUE(app->Scores().EntryActive());
    for (int key : {VK_DOWN, VK_RIGHT, VK_SPACE}) Key(key);
    Send(WM_CHAR, 'J');
    Send(WM_CHAR, ' ');
    Send(WM_CHAR, 'K');
    EXPECT_EQ(app->CurrentScreen()->FocusedAction(), "procPrevious");  // the arrows moved nothing
    Key(VK_RETURN);                                                    // saves the name, and only that
    EXPECT_FALSE(app->Scores().EntryActive());
    EXPECT_FALSE(app->ClearConfirmOpen());
    EXPECT_EQ(app->appState, HighScores);
    EXPECT_STREQ(app->Scores().Entry(0, 0).name, "J K");
    Key(VK_RETURN);                            // now Return is the menu's again
    EXPECT_EQ(app->State().gameModeIndex, 0);  // procPrevious from 0 changes nothing
    Key(VK_ESCAPE);
    EXPECT_EQ(app->appState, MainMenu);
}

TEST_F(ShellTest, HelpOpensFromTheMenuAndFromThePauseAndReturnsThere) {
    Click(100, 150);  // procHelp
    ASSERT_EQ(app->appState, Help);
    EXPECT_EQ(app->HelpReturnState(), MainMenu);
    Key(VK_ESCAPE);
    EXPECT_EQ(app->appState, MainMenu);

    StartGame(1);
    Frames(10);
    Key(VK_ESCAPE);
    ASSERT_EQ(app->appState, Paused);
    const float startBefore = app->State().gameStartTime;
    Key(VK_DOWN);
    Key(VK_RETURN);  // the pause screen's help button
    ASSERT_EQ(app->appState, Help);
    EXPECT_EQ(app->HelpReturnState(), Paused);
    const int elapsed = app->State().elapsedSeconds;
    Frames(180);  // three seconds reading: the game stands still
    EXPECT_EQ(app->State().elapsedSeconds, elapsed);
    Pad(PAD_B);
    EXPECT_EQ(app->appState, Paused);
    EXPECT_EQ(app->CurrentScreen()->FocusedAction(), "procResume");
    Key(VK_RETURN);
    EXPECT_EQ(app->appState, Playing);
    EXPECT_NEAR(app->State().gameStartTime - startBefore, 3.0f, 0.05f);
}

TEST_F(ShellTest, TheControlsScreenRebindsKeysAndPadButtonsAndTheGameFollows) {
    Click(100, 200);  // procOptions
    Click(200, 400);  // procControls
    ASSERT_EQ(app->appState, Controls);
    Key(VK_RETURN);  // the first button: Move Left's key
    ASSERT_EQ(app->CaptureAction(), static_cast<int>(GameAction::Left));
    Pad(PAD_X);  // a pad cannot give a key: the wait ends, nothing changes
    EXPECT_EQ(app->CaptureAction(), -1);
    EXPECT_EQ(app->CurrentControls().keys[0], VK_LEFT);
    Key(VK_RETURN);
    Key(VK_ESCAPE);  // Escape cancels
    EXPECT_EQ(app->CaptureAction(), -1);
    EXPECT_EQ(app->appState, Controls);
    Key(VK_RETURN);
    Key('A');
    EXPECT_EQ(app->CurrentControls().keys[0], 'A');
    EXPECT_EQ(app->appState, Controls);  // the key was the binding's, not the menu's

    Click(100, 200);  // Turn's key
    Key('A');         // Left's: Left takes Turn's Up in exchange
    EXPECT_EQ(app->CurrentControls().keys[static_cast<int>(GameAction::Turn)], 'A');
    EXPECT_EQ(app->CurrentControls().keys[0], VK_UP);
    Click(300, 100);  // Move Left's pad button
    EXPECT_TRUE(app->CaptureIsPad());
    Key('Q');  // a key does not answer a pad wait
    Pad(PAD_LEFTSHOULDER);
    EXPECT_EQ(app->CurrentControls().buttons[0], PAD_LEFTSHOULDER);
    Click(100, 300);  // the first repeat 0.025 s later
    EXPECT_FLOAT_EQ(app->Core().FirstRepeat(), 0.25f);

    std::string stored;
    const std::pair<const char*, const char*> expected[] = {
        {"Left", "Up"}, {"Turn", "A"}, {"PadLeft", "leftshoulder"}, {"RepeatDelay", "0.250"}};
    for (auto [key, value] : expected) {
        EXPECT_TRUE(ReadConfigString("CONTROLS", key, stored)) << key;
        EXPECT_EQ(stored, value) << key;
    }

    // In play: Up now moves left (held), A turns, the Left arrow does nothing, the left shoulder moves.
    Key(VK_ESCAPE);
    Key(VK_ESCAPE);
    ASSERT_EQ(app->appState, MainMenu);
    StartGame(2);
    Frames(140);
    ASSERT_TRUE(app->Core().IsPieceControllable());
    const int column = app->State().piece.cells[0].column;
    for (const auto& [held, moves] : std::vector<std::pair<int, int>>{{VK_LEFT, 0}, {VK_UP, -1}}) {
        input.held = {held};
        Frames(1);
        input.held.clear();
        Frames(1);
        EXPECT_EQ(app->State().piece.cells[0].column, column + moves) << held;
    }
    input.pads = {PAD_LEFTSHOULDER};
    Frames(1);
    input.pads.clear();
    EXPECT_EQ(app->State().piece.cells[0].column, column - 2);
    const auto before = app->State().piece.cells;
    Key('A');
    if (app->State().piece.shape != 7) {  // the square does not turn
        EXPECT_NE(app->State().piece.cells[1].column * 100 + app->State().piece.cells[1].row,
                  before[1].column * 100 + before[1].row);
    }

    // Defaults put everything back, in the file as well.
    Key(VK_ESCAPE);
    Click(400, 500);  // procEnd
    for (int i = 0; i < 3 && app->appState != MainMenu; ++i) Key(VK_ESCAPE);
    ASSERT_EQ(app->appState, MainMenu);
    Click(100, 200);
    Click(200, 400);
    Click(100, 400);  // procDefaults
    EXPECT_EQ(app->CurrentControls().keys, DefaultControls().keys);
    EXPECT_EQ(app->Core().FirstRepeat(), DefaultRepeatDelay);
    ReadConfigString("CONTROLS", "Left", stored);
    EXPECT_EQ(stored, "Left");
}

TEST_F(ShellTest, TheVolumeSliderSetsTheEffectsVolumeAndTheBoxStillSilences) {
    Click(100, 200);  // procOptions
    Click(200, 100);  // sound on
    ASSERT_EQ(app->soundOn, 1);
    EXPECT_FLOAT_EQ(GameSoundBank().EffectsVolume(), 0.75f);  // the slider's default level
    Key(VK_RIGHT);                                            // from the box to its slider
    Key(VK_LEFT);
    Key(VK_LEFT);
    EXPECT_NEAR(GameSoundBank().EffectsVolume(), 0.65f, 1e-6);
    EXPECT_NEAR(GameWaveEffects().Volume(), 0.65f, 1e-6);
    std::string stored;
    ReadConfigString("OPTIONS", "sldEffectsVolume", stored);
    EXPECT_EQ(stored, "0.650000");
    Click(200, 100);  // sound off: silent whatever the slider says
    EXPECT_EQ(GameSoundBank().EffectsVolume(), 0.0f);
    Click(200, 100);
    EXPECT_NEAR(GameSoundBank().EffectsVolume(), 0.65f, 1e-6);
}

TEST_F(ShellTest, TheLanguageButtonStepsThroughTheLanguagesAndKeepsTheChoice) {
    std::ofstream("language.ini") << "[ENGLISH]\r\nLanguageName=English\r\nOptions=Options\r\n"
                                     "[GERMAN]\r\nLanguageName=Deutsch\r\nOptions=Optionen\r\n";
    Click(100, 200);
    for (const char* expected : {"GERMAN", "ENGLISH", "GERMAN"}) {
        Click(200, 300);  // procLanguage
        EXPECT_EQ(app->languageName, expected);
        EXPECT_EQ(LanguageName(), expected);
        std::string stored;
        ReadConfigString("LANGUAGE", "Name", stored);
        EXPECT_EQ(stored, expected);
    }
    EXPECT_EQ(Translate("Options"), "Optionen");  // every text follows at once
}

TEST_F(ShellTest, ASaveThatFailsIsShownAndTriedAgainWithTheNextSave) {
    Frames(1);
    Click(100, 200);  // procOptions
    IniInjectWriteFailure(IniWriteStep::Write, ENOSPC);
    Click(200, 200);  // block style 3, not saved
    EXPECT_EQ(app->SaveNoticeText(), "Settings not saved: disk full");
    Frames(8 * 60 + 2);
    EXPECT_EQ(app->SaveNoticeText(), "") << "the line goes after a while";
    IniInjectWriteFailure(IniWriteStep::Write, 0);
    Click(200, 100);  // the sound box: stored, and the block style with it
    std::string stored;
    ASSERT_TRUE(ReadConfigString("OPTIONS", "btnBlocksType", stored));
    EXPECT_EQ(stored, "3");
    ASSERT_TRUE(ReadConfigString("OPTIONS", "btnSound", stored));
    EXPECT_EQ(stored, "1");

    // A score whose save fails: the player is told, and the next score's save takes both.
    Click(200, 500);  // procClose
    for (uint32_t score : {900u, 800u}) {
        StartGame(2);
        app->State().score = static_cast<int>(score);
        Key(VK_ESCAPE);
        Click(400, 500);  // procEnd: the score ranks
        ASSERT_EQ(app->appState, HighScores);
        IniInjectWriteFailure(IniWriteStep::Rename, score == 900u ? EIO : 0);
        Send(WM_CHAR, 'A');
        Key(VK_RETURN);
        EXPECT_EQ(app->SaveNoticeText(), score == 900u ? "High scores not saved: disk error" : "");
        Click(600, 500);  // procClose
    }
    HighScoreStore stored2;
    ASSERT_TRUE(stored2.Load());
    EXPECT_EQ(stored2.Entry(1, 0).score, 900u);
    EXPECT_EQ(stored2.Entry(1, 1).score, 800u);
    const std::string log = [] {
        std::ifstream in("app.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }();
    EXPECT_NE(log.find("Settings: could not save"), std::string::npos) << log;
    EXPECT_NE(log.find("High scores: could not save"), std::string::npos) << log;
}

TEST_F(ShellTest, EscapeLeavesAScreenWhoseDamagedFileLostItsWayOut) {
    struct Case {
        const char* file;
        std::function<void()> reach;
        AppState shown, afterEscape;
        const char* line;
    };
    const Case cases[] = {
        {"menu-options.xml", [this] { Click(100, 200); }, Options, MainMenu,
         "menu-options.xml is damaged. Press Escape to go back."},
        {"menu-selectgame.xml", [this] { Click(100, 100); }, SelectGame, MainMenu,
         "menu-selectgame.xml is damaged. Press Escape to go back."},
        {"menu-highscores.xml", [this] { Click(100, 300); }, HighScores, MainMenu,
         "menu-highscores.xml is damaged. Press Escape to go back."},
        {"menu-pause.xml",
         [this] {
             StartGame(1);
             Key(VK_ESCAPE);
         },
         Paused, Playing, "menu-pause.xml is damaged. Press Escape to go on."},
        {"menu-help.xml", [this] { Click(100, 150); }, Help, MainMenu,
         "menu-help.xml is damaged. Press Escape to go back."},
        {"menu-controls.xml",
         [this] {
             Click(100, 200);
             Click(200, 400);
         },
         Controls, AppState::Options, "menu-controls.xml is damaged. Press Escape to go back."},
        // The main menu cannot be left for another screen: Escape ends the game (the close is queued).
        {"menu-main.xml", [] {}, MainMenu, MainMenu, "menu-main.xml is damaged. Press Escape to quit."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const std::string good = [&] {
            std::ifstream in(c.file);
            return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }();
        std::ofstream(c.file) << good.substr(0, good.size() / 2);  // cut short: no longer XML
        app = std::make_unique<GameApp>();
        app->UseInputState(&input);
        ASSERT_GE(app->InitApplication(), 0);
        c.reach();
        ASSERT_EQ(app->appState, c.shown);
        EXPECT_EQ(app->DamagedScreenText(), c.line);
        Key(VK_ESCAPE);
        EXPECT_EQ(app->appState, c.afterEscape);
        std::ofstream(c.file) << good;
    }
    // Screens that are whole keep their own way out: Escape there is their close button's.
    app = std::make_unique<GameApp>();
    app->UseInputState(&input);
    ASSERT_GE(app->InitApplication(), 0);
    Click(100, 200);
    EXPECT_EQ(app->DamagedScreenText(), "");
    Key(VK_ESCAPE);
    EXPECT_EQ(app->appState, MainMenu);
}
