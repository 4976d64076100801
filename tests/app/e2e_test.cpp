// The whole game through the headless runner, as a player gets it: the real assets, the real window
// code on the offscreen driver, input from a script that clicks through the menus by action. Each test
// runs one scripted session in a fresh copy of the game directory and checks what the session left:
// the application state, config.ini, scores.ini, the --dump file, the --trace file and app.log.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/game_app.h"
#include "persist/config.h"
#include "persist/highscores.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "persist/save_report.h"

namespace fs = std::filesystem;

namespace {

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

class HeadlessGame : public ::testing::Test {
protected:
    void SetUp() override {
        const char* gameDir = std::getenv("KELVANE_GAME_DIR");
        source = gameDir && *gameDir ? gameDir : KELVANE_GAME_DIR_DEFAULT;
        ASSERT_TRUE(fs::exists(source / "menu-main.xml")) << "the assets are built into " << source;
        dir = fs::temp_directory_path() /
              ("kelvane_e2e_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* item :
             {"Graphics", "Sound", "language.ini", "menu-main.xml", "menu-options.xml", "menu-selectgame.xml",
              "menu-highscores.xml", "menu-pause.xml", "menu-ingame.xml"})
            fs::copy(source / item, dir / item, fs::copy_options::recursive);
        oldDir = fs::current_path();
        fs::current_path(dir);
        ResetLogState();
        ResetSaveReports();
    }
    void TearDown() override {
        fs::current_path(oldDir);
        if (!HasFailure()) fs::remove_all(dir);
    }

    // Runs one session with this script; returns the exit code. The app object stays for inspection.
    int Play(const std::string& script, int64_t frames) {
        std::ofstream("session.script") << script;
        RunOptions options;
        options.headless = true;
        options.seed = 1234;
        // 10 frames a second of game time keep the run short; the rules follow the time, not the frames.
        options.fps = 10;
        options.frames = frames;
        options.scriptFile = "session.script";
        options.dumpFile = "dump.json";
        options.traceFile = "trace.jsonl";
        options.screenshots.push_back({20, "menu.png"});
        app = std::make_unique<GameApp>();
        return app->Run(options);
    }

    // Clicks through the menus into game choice `button` (1..6), drops pieces until the game is lost,
    // enters a name and closes the high-score screen.
    static std::string OneGame(int button, const std::string& name) {
        std::string s = "click procNewGame\nwait 5\nclick procStart" + std::to_string(button) + "\nwait 5\n";
        // Drop a piece every 0.4 s until the game is surely lost: a minute, two for the horizontal bars,
        // whose runs clear the narrow stack again and again.
        const int drops = button >= 5 ? 300 : 150;
        for (int i = 0; i < drops; ++i) s += "key press Space\nwait 3\n";
        s += "text " + name + "\nwait 2\nkey press Enter\nwait 5\nclick procClose\nwait 5\n";
        return s;
    }

    fs::path source, dir, oldDir;
    std::unique_ptr<GameApp> app;
};

}  // namespace

TEST_F(HeadlessGame, EveryGameIsPlayedThroughTheMenusToAHighScore) {
    std::string script;
    const char* names[] = {"ANNA", "BEN", "CARO", "DAN", "EVA", "FINN"};
    for (int game = 1; game <= 6; ++game) script += OneGame(game, names[game - 1]);
    script += "quit\n";
    ASSERT_EQ(Play(script, 6000), 0);

    EXPECT_EQ(app->appState, MainMenu);
    HighScoreStore stored;
    ASSERT_TRUE(stored.Load());
    for (int table = 0; table < 6; ++table) {
        EXPECT_STREQ(stored.Entry(table, 0).name, names[table]) << "table " << table;
        EXPECT_GT(stored.Entry(table, 0).score, 0u) << "table " << table;
    }
    const std::string trace = ReadFile("trace.jsonl");
    EXPECT_EQ(Count(trace, "\"frame-limit\""), 0) << "the script's quit ends the session";
    EXPECT_EQ(Count(trace, "\"game-lost\""), 6);
    EXPECT_GT(Count(trace, "\"piece-placed\""), 30);
    EXPECT_GT(Count(trace, "\"lock\""), 30);
    const std::string dump = ReadFile("dump.json");
    EXPECT_NE(dump.find("\"appState\":\"MainMenu\""), std::string::npos);
    EXPECT_NE(dump.find("\"name\":\"FINN\""), std::string::npos);
    EXPECT_TRUE(fs::exists("menu.png"));

    const std::string log = ReadFile("app.log");
    EXPECT_EQ(log.rfind("**************************************************************************\r\n", 0),
              0u);
    EXPECT_NE(log.find(" : *** SESSION STARTED ***\r\n"), std::string::npos);
    EXPECT_NE(log.find("Bitmap loading: 'Graphics\\font01.tga' ... OK ("), std::string::npos);
    EXPECT_EQ(log.find("FAILED"), std::string::npos) << log;
}

TEST_F(HeadlessGame, EveryOptionChangesConfigIni) {
    const std::string script =
        "click procOptions\nwait 5\n"
        "click procSoundMode\nwait 2\nclick procMusicMode\nwait 2\nclick procDynamicBack\nwait 2\n"
        "click procBlocksType\nwait 2\nclick procBlocksType\nwait 2\n"
        "click procClose\nwait 5\nclick procHighScores\nwait 5\nclick procNext\nwait 2\nclick procNext\nwait "
        "2\n"
        "click procClose\nwait 5\nquit\n";
    ASSERT_EQ(Play(script, 100), 0);
    std::string value;
    std::string before;
    EXPECT_TRUE(ReadConfigString("OPTIONS", "btnSound", value));
    EXPECT_NE(value, "") << "btnSound";
    EXPECT_TRUE(ReadConfigString("OPTIONS", "btnMusic", value));
    EXPECT_TRUE(ReadConfigString("OPTIONS", "btnDynamicBack", value));
    ASSERT_TRUE(ReadConfigString("OPTIONS", "btnBlocksType", value));
    EXPECT_EQ(value, "4");  // from the default 2, two presses
    ASSERT_TRUE(ReadConfigString("LANGUAGE", "Name", value));
    EXPECT_EQ(value, "ENGLISH");
    EXPECT_EQ(app->appState, MainMenu);
    EXPECT_EQ(app->State().gameModeIndex, 5);  // paged from 1 to 5
    EXPECT_NE(ReadFile("trace.jsonl").find("\"state\":\"Options\""), std::string::npos);
}

TEST_F(HeadlessGame, PauseStopsTheClockAndEndLeavesThroughTheScoreTest) {
    const std::string script =
        "click procNewGame\nwait 3\nclick procStart1\nwait 20\nkey press Space\nwait 30\n"
        "key press Esc\nwait 50\nclick procResume\nwait 10\nkey press P\nwait 3\nclick procEnd\nwait "
        "3\nquit\n";
    ASSERT_EQ(Play(script, 200), 0);
    // 6 s of play (20 + 30 + 10 frames at 10 a second, give or take the clicks); the 5 s of pause do
    // not count.
    EXPECT_GE(app->State().elapsedSeconds, 5);
    EXPECT_LE(app->State().elapsedSeconds, 6);
    EXPECT_EQ(app->appState, HighScores);  // 5 points per locked piece rank in an empty table
}

TEST_F(HeadlessGame, ADamagedMainMenuNamesItsFileAndEscapeEndsTheGame) {
    std::ofstream("menu-main.xml", std::ios::trunc) << "<Screen>\n<Button action=\"procNewGame\" xc=";
    ASSERT_EQ(Play("wait 25\nkey press Esc\n", 600), 0);
    const std::string trace = ReadFile("trace.jsonl");
    EXPECT_EQ(Count(trace, "\"event\":\"close\""), 1) << "Escape closes the game";
    EXPECT_EQ(Count(trace, "\"frame-limit\""), 0);
    EXPECT_NE(
        ReadFile("dump.json").find("\"damagedScreen\":\"menu-main.xml is damaged. Press Escape to quit.\""),
        std::string::npos);
    EXPECT_NE(ReadFile("app.log").find("Fatal error, cannot load XML: menu-main.xml (Error="),
              std::string::npos);
}

TEST_F(HeadlessGame, ASettingThatCannotBeSavedIsShownOnScreen) {
    // The folder holds config.ini, but every write fails as on a full disk.
    IniInjectWriteFailure(IniWriteStep::Write, ENOSPC);
    const int code = Play("click procOptions\nwait 5\nclick procSoundMode\nwait 30\n", 40);
    IniInjectWriteFailure(IniWriteStep::Write, 0);
    ASSERT_EQ(code, 0);
    EXPECT_NE(ReadFile("dump.json").find("\"saveProblem\":\"Settings not saved: disk full\""),
              std::string::npos);
    EXPECT_NE(ReadFile("app.log").find("Settings: could not save"), std::string::npos);
}
