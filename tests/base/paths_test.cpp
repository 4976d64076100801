#include "base/paths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/clock.h"

TEST(Paths, GameSeparatorsBecomeNative) {
    EXPECT_EQ(NativePath("Graphics\\font01.tga"), "Graphics/font01.tga");
    EXPECT_EQ(NativePath("Sound\\music_1.mid"), "Sound/music_1.mid");
    EXPECT_EQ(NativePath("config.ini"), "config.ini");
}

TEST(Paths, WildcardMatchesWholeNames) {
    EXPECT_TRUE(WildcardMatch("*.x", "glass.x"));
    EXPECT_TRUE(WildcardMatch("*.x", ".x"));
    EXPECT_FALSE(WildcardMatch("*.x", "glass.xml"));
    EXPECT_FALSE(WildcardMatch("*.x", "glass.X"));  // case matters, as in the game's name lookups
    EXPECT_TRUE(WildcardMatch("cell_t?_*.x", "cell_t3_7.x"));
    EXPECT_FALSE(WildcardMatch("cell_t?_*.x", "cell_t10_7.x"));
    EXPECT_TRUE(WildcardMatch("a*b*c", "aXXbYYbc"));
    EXPECT_FALSE(WildcardMatch("a*b*c", "aXXbYYbd"));
}

TEST(Paths, ListFilesFiltersAndSortsByName) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kelvane_paths_test";
    fs::remove_all(dir);
    fs::create_directories(dir / "Graphics" / "sub.x");  // a directory that matches is not listed
    for (const char* name : {"glass.x", "Bonus.x", "bonus2.x", "font01.tga", "cell_t1_1.x"})
        std::ofstream(dir / "Graphics" / name) << "x";
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    const std::vector<std::string> names = ListFiles("Graphics\\*.x");
    const std::vector<std::string> none = ListFiles("Missing\\*.x");
    fs::current_path(old);
    fs::remove_all(dir);
    EXPECT_EQ(names, (std::vector<std::string>{"Bonus.x", "bonus2.x", "cell_t1_1.x", "glass.x"}));
    EXPECT_TRUE(none.empty());
}

// The run's clock starts at zero; the seed of a normal run comes from the machine's uptime instead, so
// two runs do not deal the same pieces.
TEST(Paths, OnlyRegularFilesOpenAndNothingWaitsOnAPipe) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / "kelvane_open_test";
    fs::remove_all(dir);
    fs::create_directories(dir / "folder");
    std::ofstream(dir / "file") << "bytes";
    ASSERT_EQ(mkfifo((dir / "pipe").c_str(), 0600), 0);
    // In a child with an alarm: a pipe opened the ordinary way would wait for a writer for ever.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        alarm(10);
        int failures = 0;
        if (std::FILE* file = OpenRegularFile((dir / "file").string())) {
            char text[8] = {};
            failures += std::fread(text, 1, sizeof text, file) != 5 || std::string(text) != "bytes";
            std::fclose(file);
        } else {
            ++failures;
        }
        for (const char* name : {"folder", "pipe", "missing"})
            failures += OpenRegularFile((dir / name).string()) != nullptr;
        _exit(failures);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    fs::remove_all(dir);
    ASSERT_TRUE(WIFEXITED(status)) << "opening the pipe waited";
    EXPECT_EQ(WEXITSTATUS(status), 0) << "a file opened wrongly (or something else did)";
}

TEST(Clock, TheSystemTickCountIsTheUptimeNotTheRunsClock) {
    ASSERT_FALSE(IsClockVirtual());
    const uint32_t run = TickCountMs(), system = SystemTickCountMs();
    double uptimeSeconds = 0;
    std::ifstream("/proc/uptime") >> uptimeSeconds;
    ASSERT_GT(uptimeSeconds, 10.0);
    EXPECT_LT(run, 5000u);
    EXPECT_GT(system, 5000u);  // not counted from this run's start
    // Time the machine spent suspended is left out, so it may fall short of the uptime, never beyond.
    if (uptimeSeconds < 49 * 24 * 3600.0) {
        EXPECT_LE(double(system), uptimeSeconds * 1000.0 + 2000.0);
    }
}

TEST(Clock, VirtualClockAnswersWhatWasSet) {
    SetVirtualTickCount(3723000);  // 1 h 2 min 3 s
    EXPECT_TRUE(IsClockVirtual());
    EXPECT_EQ(TickCountMs(), 3723000u);
    EXPECT_EQ(SystemTickCountMs(), 3723000u);
    EXPECT_EQ(LocalTimeHms(), "01:02:03");
}

namespace {

namespace fs = std::filesystem;

// A fresh directory tree per test; the default layout (the current directory) again afterwards.
class FileLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "kelvane-layout-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root = pattern;
    }
    void TearDown() override {
        UseFileLayout(FileLayout());
        std::error_code ignored;
        fs::remove_all(root, ignored);
    }
    void Make(const fs::path& relative, const std::string& bytes = "x") {
        fs::create_directories((root / relative).parent_path());
        std::ofstream(root / relative, std::ios::binary) << bytes;
    }
    std::string At(const std::string& relative) const { return (root / relative).string(); }

    fs::path root;
};

}  // namespace

TEST(Paths, PlayerDirectoriesComeFromXdgThenHome) {
    struct Case {
        const char *home, *config, *data, *state;
        PlayerDirectories expected;
    };
    const Case cases[] = {
        {"/home/ann",
         nullptr,
         nullptr,
         nullptr,
         {"/home/ann/.config/kelvane", "/home/ann/.local/share/kelvane", "/home/ann/.local/state/kelvane"}},
        {"/home/ann", "/cfg", "/dat", "/st", {"/cfg/kelvane", "/dat/kelvane", "/st/kelvane"}},
        // Empty and relative values are not directories: HOME's defaults stand.
        {"/home/ann",
         "",
         "rel/data",
         nullptr,
         {"/home/ann/.config/kelvane", "/home/ann/.local/share/kelvane", "/home/ann/.local/state/kelvane"}},
        {nullptr, nullptr, "/dat", nullptr, {"", "/dat/kelvane", ""}},
        {"relative", nullptr, nullptr, nullptr, {"", "", ""}},
        {nullptr, nullptr, nullptr, nullptr, {"", "", ""}},
    };
    for (const Case& c : cases) {
        const PlayerDirectories got = PlayerDirectoriesFrom(c.home, c.config, c.data, c.state);
        EXPECT_EQ(got.config, c.expected.config) << (c.home ? c.home : "(no HOME)");
        EXPECT_EQ(got.data, c.expected.data) << (c.home ? c.home : "(no HOME)");
        EXPECT_EQ(got.state, c.expected.state) << (c.home ? c.home : "(no HOME)");
    }
}

TEST_F(FileLayoutTest, AnInstalledGameFindsEachFileByItsRole) {
    Make("usr/share/kelvane/menu-main.xml");
    Make("usr/share/kelvane/Graphics/font01.tga");
    Make("usr/share/kelvane/Graphics/logo.png");
    Make("home/.local/share/kelvane/Graphics/logo.png", "the player's own logo");
    UseFileLayout(InstalledLayout(At("usr/share/kelvane"),
                                  PlayerDirectoriesFrom(At("home").c_str(), nullptr, nullptr, nullptr)));
    const std::pair<const char*, std::string> cases[] = {
        {"config.ini", At("home/.config/kelvane/config.ini")},
        {"scores.ini", At("home/.local/share/kelvane/scores.ini")},
        {"app.log", At("home/.local/state/kelvane/app.log")},
        {"menu-main.xml", At("usr/share/kelvane/menu-main.xml")},
        {"Graphics\\font01.tga", At("usr/share/kelvane/Graphics/font01.tga")},
        {"Graphics\\logo.png", At("home/.local/share/kelvane/Graphics/logo.png")},  // the player's copy wins
        {"Sound\\missing.wav", At("usr/share/kelvane/Sound/missing.wav")},
        {"/elsewhere/file.png", "/elsewhere/file.png"},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(LocateGameFile(name), expected) << name;
    // Locating a player's file made its directory, for the player only; nothing was copied.
    for (const char* dir : {"home/.config/kelvane", "home/.local/state/kelvane", "home/.local/state"}) {
        struct stat st {};
        ASSERT_EQ(::stat(At(dir).c_str(), &st), 0) << dir;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << dir;
    }
    EXPECT_FALSE(fs::exists(At("home/.local/share/kelvane/menu-main.xml")));
    EXPECT_FALSE(fs::exists(At("home/.config/kelvane/config.ini")));
}

TEST_F(FileLayoutTest, WithoutAHomeThePlayersFilesHaveNoPlace) {
    Make("usr/share/kelvane/menu-main.xml");
    UseFileLayout(
        InstalledLayout(At("usr/share/kelvane"), PlayerDirectoriesFrom(nullptr, nullptr, nullptr, nullptr)));
    EXPECT_EQ(LocateGameFile("config.ini"), "");
    EXPECT_EQ(LocateGameFile("scores.ini"), "");
    EXPECT_EQ(LocateGameFile("app.log"), "");
    EXPECT_EQ(LocateGameFile("menu-main.xml"), At("usr/share/kelvane/menu-main.xml"));
}

TEST_F(FileLayoutTest, OneGameDirectoryHoldsEveryFile) {
    // The current directory, looked up anew on every access (assets by their relative names), or the
    // directory given.
    const fs::path old = fs::current_path();
    fs::create_directories(root / "a");
    fs::create_directories(root / "b");
    UseFileLayout(SingleDirectoryLayout(""));
    fs::current_path(root / "a");
    const std::string configInA = LocateGameFile("config.ini");
    fs::current_path(root / "b");
    const std::string logInB = LocateGameFile("app.log");
    const std::string asset = LocateGameFile("Graphics\\font01.tga");
    UseFileLayout(SingleDirectoryLayout("../a/"));  // made absolute at once
    fs::current_path(old);
    EXPECT_EQ(configInA, At("a/config.ini"));
    EXPECT_EQ(logInB, At("b/app.log"));
    EXPECT_EQ(asset, "Graphics/font01.tga");
    for (const char* name : {"config.ini", "scores.ini", "app.log", "menu-main.xml"})
        EXPECT_EQ(LocateGameFile(name), At("a/") + name);
}

TEST_F(FileLayoutTest, ListingJoinsTheInstallsAndThePlayersFiles) {
    for (const char* name :
         {"usr/Graphics/glass.x", "usr/Graphics/bonus.x", "home/.local/share/kelvane/Graphics/bonus.x",
          "home/.local/share/kelvane/Graphics/extra.x", "usr/menu-main.xml"})
        Make(name);
    UseFileLayout(
        InstalledLayout(At("usr"), PlayerDirectoriesFrom(At("home").c_str(), nullptr, nullptr, nullptr)));
    EXPECT_EQ(ListFiles("Graphics\\*.x"), (std::vector<std::string>{"bonus.x", "extra.x", "glass.x"}));
    EXPECT_EQ(ListFiles("Sound\\*.sf2"), std::vector<std::string>{});
}

TEST_F(FileLayoutTest, TheInstallsDataIsFoundFromTheProgramsPlace) {
    // An installed program finds <prefix>/share/kelvane; a program in a build tree finds its own
    // directory; a program with neither finds nothing.
    Make("prefix/bin/kelvane");
    Make(std::string("prefix/bin/") + DataDirectoryFromProgram + "/menu-main.xml");
    Make("build/game/kelvane");
    Make("build/game/menu-main.xml");
    Make("lonely/kelvane");
    const std::pair<std::string, std::string> cases[] = {
        {At("prefix/bin/kelvane"),
         (root / "prefix/bin" / DataDirectoryFromProgram).lexically_normal().string()},
        {At("build/game/kelvane"), At("build/game")},
        {At("lonely/kelvane"), ""},
        {"kelvane", ""},
    };
    for (const auto& [program, expected] : cases)
        EXPECT_EQ(InstallDataDirectoryFor(program), expected) << program;
    EXPECT_EQ(ProgramPath().substr(ProgramPath().rfind('/') + 1), "base_tests");
}
