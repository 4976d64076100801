// The whole game through the headless runner, as a player gets it: the real assets, the real window
// code on the offscreen driver, input from a script that clicks through the menus by action. Each test
// runs one scripted session in a fresh copy of the game directory and checks what the session left:
// the application state, config.ini, scores.ini, the --dump file, the --trace file and app.log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "app/game_app.h"
#include "headless/json.h"
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
        // The process id keeps two runs of the suite at once (two build trees) out of each other's way.
        dir = fs::temp_directory_path() /
              ("kelvane_e2e_" + std::to_string(::getpid()) + "_" +
               std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(dir);
        fs::create_directories(dir);
        for (const char* item : {"Graphics", "Sound", "language.ini", "menu-main.xml", "menu-options.xml",
                                 "menu-selectgame.xml", "menu-highscores.xml", "menu-pause.xml",
                                 "menu-ingame.xml", "menu-help.xml", "menu-confirm.xml", "menu-controls.xml"})
            fs::copy(source / item, dir / item, fs::copy_options::recursive);
        oldDir = fs::current_path();
        fs::current_path(dir);
        ResetLogState();
        // A first run takes its language from the environment: every session starts from none.
        for (const char* name : LocaleVariables) {
            if (const char* value = std::getenv(name)) savedLocale[name] = value;
            unsetenv(name);
        }
        ResetSaveReports();
    }
    void TearDown() override {
        for (const char* name : LocaleVariables) unsetenv(name);
        for (const auto& [name, value] : savedLocale) setenv(name.c_str(), value.c_str(), 1);
        fs::current_path(oldDir);
        if (!HasFailure()) fs::remove_all(dir);
    }

    bool traceText = false;  // --trace-text for the next Play
    static constexpr const char* LocaleVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::map<std::string, std::string> savedLocale;

    // Runs one session with this script; returns the exit code. The app object stays for inspection.
    int Play(const std::string& script, int64_t frames, float fps = 10,
             std::vector<std::pair<int64_t, std::string>> frameDumps = {}) {
        std::ofstream("session.script") << script;
        RunOptions options;
        options.headless = true;
        options.seed = 1234;
        // 10 frames a second of game time keep the run short; the rules follow the time, not the frames.
        options.fps = fps;
        options.frameDumps = std::move(frameDumps);
        options.frames = frames;
        options.scriptFile = "session.script";
        options.dumpFile = "dump.json";
        options.traceFile = "trace.jsonl";
        options.traceText = traceText;
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

    // The states the trace went through, in order.
    static std::vector<std::string> States(const std::string& trace) {
        std::vector<std::string> states;
        const std::string mark = "\"state\":\"";
        for (size_t at = trace.find(mark); at != std::string::npos; at = trace.find(mark, at + 1)) {
            const size_t start = at + mark.size();
            states.push_back(trace.substr(start, trace.find('"', start) - start));
        }
        return states;
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

// The trace lets a game be checked without reading pixels: the HUD's labels and values with their
// places, the widget sounds asked for, and the states the game went through.
TEST_F(HeadlessGame, TheTraceShowsTextsSoundsAndStates) {
    const std::string script =
        "click procNewGame\nwait 5\nclick procStart1\nwait 30\nkey press Space\nwait 40\n";
    traceText = true;
    ASSERT_EQ(Play(script, 80), 0);
    std::vector<Json> lines;
    std::ifstream in("trace.jsonl");
    for (std::string line; std::getline(in, line);) lines.push_back(Json::parse(line));
    auto has = [&](const Json& wanted) {
        return std::any_of(lines.begin(), lines.end(), [&](const Json& line) {
            for (const auto& [key, value] : wanted.items())
                if (!line.contains(key) || line[key] != value) return false;
            return true;
        });
    };
    EXPECT_TRUE(has({{"event", "state"}, {"state", "Playing"}}));
    EXPECT_TRUE(has({{"event", "sound"}, {"file", "Sound\\click.ogg"}}));
    // The last frame's HUD: the score's label and value in the left panel.
    EXPECT_TRUE(
        has({{"frame", 79}, {"event", "text"}, {"text", "Score"}, {"x", 0.14}, {"y", 0.5}, {"size", 0.036}}));
    EXPECT_TRUE(has({{"frame", 79}, {"event", "text"}, {"text", "Level"}, {"anchor", "centre"}}));
    // A locked piece scores 5, and its trace line says so.
    EXPECT_TRUE(has({{"event", "lock"}, {"score", 5}, {"lines", 0}, {"level", 1}}));
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

// A player with only a keyboard, and one with only a pad, go from the main menu through a game, a pause
// and its help page to a high score with their name, and back to the main menu: no pointer anywhere.
TEST_F(HeadlessGame, AKeyboardAloneOrAPadAlonePlaysAWholeGame) {
    struct Player {
        const char* name;
        std::string script;
        const char* typedName;
    };
    std::string keys =
        "wait 5\nkey press Return\nwait 3\nkey press Return\nwait 20\n"          // New Game, Classic Game
        "key press Escape\nwait 3\nkey press Down\nkey press Return\nwait 10\n"  // pause, help
        "key press Escape\nwait 3\nkey press Return\nwait 3\n";                  // back, resume
    std::string pad =
        "wait 5\npad press a\nwait 3\npad press a\nwait 20\n"
        "pad press start\nwait 3\npad press dpdown\npad press a\nwait 10\n"
        "pad press b\nwait 3\npad press a\nwait 3\n";
    for (int i = 0; i < 150; ++i) {
        keys += "key press Space\nwait 3\n";
        pad += "pad press b\nwait 3\n";
    }
    keys += "text KIM\nwait 2\nkey press Return\nwait 3\nkey press Escape\nwait 5\nquit\n";
    // The pad spells "AB": up gives A, right adds another A, up turns it to B; A saves, B leaves.
    pad +=
        "pad press dpup\npad press dpright\npad press dpup\nwait 2\npad press a\nwait 3\npad press b\nwait "
        "5\nquit\n";
    const Player players[] = {{"keyboard", keys, "KIM"}, {"pad", pad, "AB"}};
    for (const Player& player : players) {
        fs::remove("scores.ini");
        fs::remove("trace.jsonl");
        ASSERT_EQ(Play(player.script, 1500), 0) << player.name;
        const std::vector<std::string> expected = {"SelectGame", "Playing",    "Paused",
                                                   "Help",       "Paused",     "Playing",
                                                   "GameOver",   "HighScores", "MainMenu"};
        EXPECT_EQ(States(ReadFile("trace.jsonl")), expected) << player.name;
        HighScoreStore stored;
        ASSERT_TRUE(stored.Load()) << player.name;
        EXPECT_STREQ(stored.Entry(0, 0).name, player.typedName) << player.name;
        EXPECT_GT(stored.Entry(0, 0).score, 0u) << player.name;
        const std::string script = ReadFile("session.script");
        EXPECT_EQ(script.find("click"), std::string::npos);
        EXPECT_EQ(script.find("move"), std::string::npos);
    }
}

// A new player hears the game: a fresh copy of the built game directory (which holds the default
// settings) gets them as its config.ini. A player's own config.ini, odd bytes and all, stays byte for
// byte through a run.
TEST_F(HeadlessGame, NewPlayersStartWithSoundAndAPlayersOwnSettingsAreKept) {
    const fs::path program = source / "kelvane";
    const fs::path fresh = dir / "fresh-copy";
    fs::copy(source, fresh, fs::copy_options::recursive);
    fs::remove(fresh / "config.ini");
    auto run = [&]() {
        const std::string command = "cd '" + fresh.string() + "' && SDL_VIDEODRIVER=offscreen '" +
                                    program.string() +
                                    "' --headless --frames 3 --dump first-run.json >/dev/null 2>&1";
        return std::system(command.c_str());
    };
    ASSERT_EQ(run(), 0);
    const std::string firstRun = ReadFile(fresh / "first-run.json");
    for (const char* option :
         {"\"soundOn\":1", "\"musicOn\":1", "\"dynamicBackground\":1", "\"blockStyle\":2"})
        EXPECT_NE(firstRun.find(option), std::string::npos) << option << " in " << firstRun;
    EXPECT_TRUE(fs::exists(fresh / "config.ini"));

    const std::string own =
        "; mine\n[LANGUAGE]\nName=ENGLISH\n[OPTIONS]\nbtnSound=0\nbtnMusic=0\nextra = \"kept\"  \n";
    std::ofstream(fresh / "config.ini", std::ios::binary) << own;
    ASSERT_EQ(run(), 0);
    EXPECT_EQ(ReadFile(fresh / "config.ini"), own);
    EXPECT_NE(ReadFile(fresh / "first-run.json").find("\"soundOn\":0"), std::string::npos);
}

// A player who moved "left" to A: A moves the Classic piece one column left, the Left arrow no longer
// does, and held A repeats first after the half second the player asked for.
TEST_F(HeadlessGame, ReboundKeysAndTheirRepeatTimingPlay) {
    std::ofstream("config.ini") << "[CONTROLS]\nLeft=A\nRepeatDelay=0.5\nRepeatInterval=0.2\n";
    // 60 frames a second; the piece is placed at about 0.55 s and obeys 0.41 s later.
    const std::string script =
        "wait 5\nkey press Return\nwait 5\nkey press Return\n"  // New Game, Classic without bonuses
        "at 80\nkey press A\n"                                  // frame 80 down, 81 up
        "at 90\nkey press Left\n"
        "at 100\nkey down A\n"  // held: moves at 100, again 0.5 s (30 frames) later
        "at 135\nkey up A\nwait 5\nquit\n";
    const std::vector<std::pair<int64_t, std::string>> dumps = {
        {79, "before.json"}, {85, "a.json"}, {95, "left.json"}, {128, "held.json"}, {134, "repeated.json"}};
    ASSERT_EQ(Play(script, 200, 60, dumps), 0);
    auto column = [](const std::string& file) {
        const Json dump = Json::parse(ReadFile(file));
        EXPECT_EQ(dump["appState"], "Playing") << file;
        EXPECT_EQ(dump["gameState"]["piece"]["active"], 1) << file;
        return dump["gameState"]["piece"]["cells"][0]["column"].get<int>();
    };
    const int start = column("before.json");
    EXPECT_EQ(column("a.json"), start - 1);
    EXPECT_EQ(column("left.json"), start - 1);      // the Left arrow no longer moves the piece
    EXPECT_EQ(column("held.json"), start - 2);      // 0.47 s into the hold: one move
    EXPECT_EQ(column("repeated.json"), start - 3);  // 0.57 s: the first repeat, the next not before 0.7 s
    const Json final = Json::parse(ReadFile("dump.json"));
    EXPECT_EQ(final["options"]["controls"]["keys"]["Left"], "A");
    EXPECT_EQ(final["options"]["controls"]["repeatDelay"], 0.5);
}

TEST_F(HeadlessGame, AFirstRunSpeaksTheEnvironmentsLanguage) {
    setenv("LANG", "de_DE.UTF-8", 1);
    ASSERT_EQ(Play("wait 25\nquit\n", 30), 0);
    EXPECT_NE(ReadFile("dump.json").find("\"languageName\":\"GERMAN\""), std::string::npos);
    std::string stored;
    ASSERT_TRUE(ReadConfigString("LANGUAGE", "Name", stored));
    EXPECT_EQ(stored, "GERMAN");
}

// Damaged settings: each bad value reads as its default (or is brought into range), is logged once,
// and the game plays.
TEST_F(HeadlessGame, DamagedSettingsAreLoggedOnceAndThePlayGoesOn) {
    std::ofstream("config.ini") << "[LANGUAGE]\nName=ENGLISH\n[OPTIONS]\nsldMusicVolume=nan\n"
                                   "sldEffectsVolume=-3\n[CONTROLS]\nLeft=Lefty\nDrop=Q\nPause=Q\n"
                                   "RepeatDelay=1e9\nRepeatInterval=soon\nPadTurn=select\n\x01\xff[broken\n";
    const std::string script =
        "wait 5\nkey press Return\nwait 5\nkey press Return\nat 100\nkey press Q\n"
        "wait 30\nquit\n";
    ASSERT_EQ(Play(script, 200, 60, {{100, "dropped.json"}}), 0);
    EXPECT_EQ(Json::parse(ReadFile("dropped.json"))["gameState"]["dropRequested"], 1);  // Q drops
    const Json dump = Json::parse(ReadFile("dump.json"));
    EXPECT_EQ(dump["appState"], "Playing");
    EXPECT_EQ(dump["options"]["musicVolume"], 0.75);
    EXPECT_EQ(dump["options"]["effectsVolume"], 0.0);
    const Json& controls = dump["options"]["controls"];
    EXPECT_EQ(controls["keys"]["Left"], "Left");
    EXPECT_EQ(controls["keys"]["Drop"], "Q");
    EXPECT_EQ(controls["keys"]["Pause"], "Escape");
    EXPECT_EQ(controls["padButtons"]["Turn"], "a");
    EXPECT_EQ(controls["repeatDelay"], 0.5);
    EXPECT_EQ(controls["repeatInterval"], 0.025);
    const std::string log = ReadFile("app.log");
    for (const char* problem : {"sldMusicVolume=nan", "slider 'sldEffectsVolume'", "Left=Lefty", "Pause=Q",
                                "RepeatDelay=1e9", "RepeatInterval=soon", "PadTurn=select"})
        EXPECT_EQ(Count(log, problem), 1) << problem << "\n" << log;
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
