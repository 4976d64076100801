// The player's files survive the game being killed while it saves them: a child process saves the
// high-score tables and a setting over and over, the parent kills it (SIGKILL) at random moments, and
// every time the files on disk read back as one complete version, old or new, never a mix.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <random>
#include <thread>

#include "persist/config.h"
#include "persist/highscores.h"

namespace fs = std::filesystem;

namespace {

// Version v of the tables: every score of every table is v, every name "v<v>".
void FillTables(HighScoreStore& table, uint32_t version) {
    std::string block(HighScoreBlockSize, '\0');
    for (size_t i = 0; i < HighScoreTableCount * HighScoreRowCount; ++i) {
        char* entry = block.data() + i * HighScoreEntrySize;
        std::snprintf(entry, 32, "v%u", version);
        std::memcpy(entry + 32, &version, 4);  // little-endian, as stored
    }
    ASSERT_TRUE(table.DecodeBlock(block));
}

[[noreturn]] void SaveForever() {
    HighScoreStore table;
    // Go on counting from the last complete save, so the two config.ini keys always pair up.
    std::string stored;
    uint32_t version =
        ReadConfigString("OPTIONS", "saveCount", stored) ? static_cast<uint32_t>(std::stoul(stored)) : 0;
    for (++version;; ++version) {
        FillTables(table, version);
        table.Save();
        WriteConfigString("OPTIONS", "btnBlocksType", std::to_string(version % 5));
        WriteConfigString("OPTIONS", "saveCount", std::to_string(version));
    }
}

}  // namespace

TEST(DataSafety, KilledWhileSavingLeavesCompleteFiles) {
    const fs::path dir = fs::temp_directory_path() / ("kelvane_kill_" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path oldDir = fs::current_path();
    fs::current_path(dir);

    std::mt19937 random(12345);
    std::uniform_int_distribution<int> delayUs(500, 40000);
    int checked = 0;
    uint32_t lastVersion = 0;
    for (int round = 0; round < 60; ++round) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) SaveForever();
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs(random)));
        kill(child, SIGKILL);
        waitpid(child, nullptr, 0);

        if (!fs::exists("scores.ini")) continue;  // killed before the first save completed
        HighScoreStore table;
        ASSERT_TRUE(table.Load()) << "round " << round << ": scores.ini does not read back";
        const uint32_t version = table.Entry(0, 0).score;
        for (int t = 0; t < HighScoreTableCount; ++t)
            for (int r = 0; r < HighScoreRowCount; ++r) {
                ASSERT_EQ(table.Entry(t, r).score, version) << "a mix of two saves";
                ASSERT_STREQ(table.Entry(t, r).name, ("v" + std::to_string(version)).c_str());
            }
        std::string saveCount, style;
        if (ReadConfigString("OPTIONS", "saveCount", saveCount)) {
            ASSERT_TRUE(ReadConfigString("OPTIONS", "btnBlocksType", style)) << "config.ini lost a key";
            // The style is written first: a save cut between the two keys has the next count's style.
            const uint32_t count = static_cast<uint32_t>(std::stoul(saveCount));
            EXPECT_TRUE(std::to_string(count % 5) == style || std::to_string((count + 1) % 5) == style);
        }
        lastVersion = version;
        ++checked;
        // Leftover temporary files must not pile up either.
        int files = 0;
        for (const auto& entry : fs::directory_iterator(dir)) {
            (void)entry;
            ++files;
        }
        EXPECT_LE(files, 6) << "temporary files left behind";
    }
    fs::current_path(oldDir);
    fs::remove_all(dir);
    EXPECT_GT(checked, 20);
    EXPECT_GT(lastVersion, 0u);
}
