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
