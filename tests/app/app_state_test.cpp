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
    bool IsLeftButtonDown() const override { return leftDown; }
    Point CursorPosition() const override { return cursor; }

    std::set<int> held;
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

        WriteScreen("menu-main.xml", Button("procNewGame", 100, 100) + Button("procOptions", 100, 200) +
                                         Button("procHighScores", 100, 300) + Button("procExit", 100, 400));
        std::string select;
        for (int i = 1; i <= 6; ++i)
            select += Button(("procStart" + std::to_string(i)).c_str(), 400, 60.0f * i);
        WriteScreen("menu-selectgame.xml", select + Button("procClose", 700, 500));
        // The pause button of the in-game screen sits where "procStart3" is: a click that starts the
        // game is offered to the in-game screen in the same message.
        WriteScreen("menu-ingame.xml", Button("procPause", 400, 180));
        WriteScreen("menu-pause.xml", Button("procResume", 400, 400) + Button("procEnd", 400, 500));
        WriteScreen("menu-highscores.xml", Button("procPrevious", 600, 100) + Button("procNext", 600, 200) +
                                               Button("procClear", 600, 300) + Button("procClose", 600, 500));
        // The options check box is named after its option key.
        std::string options =
            "<Screen>\n<Button name=\"btnSound\" action=\"procSoundMode\" xc=\"0.25\" yc=\"0.1666667\" "
            "width=\"0.125\" height=\"0.0666667\" outImgChecked=\"x.png\"/>\n" +
            Button("procBlocksType", 200, 200) + Button("procClose", 200, 500) + "</Screen>\n";
        std::ofstream("menu-options.xml") << options;

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
    // Screens that are whole keep their own way out: Escape there is no business of this rule.
    app = std::make_unique<GameApp>();
    app->UseInputState(&input);
    ASSERT_GE(app->InitApplication(), 0);
    Click(100, 200);
    EXPECT_EQ(app->DamagedScreenText(), "");
    Key(VK_ESCAPE);
    EXPECT_EQ(app->appState, Options);
}
