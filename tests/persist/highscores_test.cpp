// The stored high-score tables: ranking, the 3600-byte block in scores.ini, and what start-up does
// with a file that cannot be read.
#include "persist/highscores.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <vector>

#include "persist/config.h"
#include "temp_dir.h"

namespace {

class HighScoreTest : public TempDirTest {
protected:
    void Select(int table) { current = table; }
    std::string Name(int row) const { return store.Entry(current, row).name; }
    uint32_t Score(int row) const { return store.Entry(current, row).score; }
    // Ranks each score in the current table under the name "p<score>".
    void Fill(std::initializer_list<uint32_t> scores) {
        for (uint32_t s : scores) {
            const int row = store.Insert(current, s);
            ASSERT_GE(row, 0);
            std::strcpy(store.Entry(current, row).name, ("p" + std::to_string(s)).c_str());
        }
    }

    HighScoreStore store;
    int current = 0;
};

TEST_F(HighScoreTest, InsertRanksTiesBelowAndRefusesWhatDoesNotRank) {
    EXPECT_EQ(store.Insert(3, 0), -1);  // an empty table takes no zero score
    EXPECT_EQ(store.Insert(3, 1), 0);
    Select(4);
    Fill({900, 800, 700, 600, 500, 400, 300, 200, 100});
    EXPECT_EQ(store.Insert(4, 600), 4);  // equal to a stored score goes below it
    EXPECT_EQ(Name(3), "p600");
    EXPECT_EQ(Name(4), "");
    EXPECT_EQ(Name(5), "p500");
    EXPECT_EQ(store.Insert(4, 100), -1);         // equal to the last row stays out
    EXPECT_EQ(store.Insert(4, 4000000000u), 0);  // unsigned: a large score is the best, not negative
    EXPECT_EQ(Score(9), 200u);                   // the old last row is gone
    EXPECT_EQ(store.Entry(3, 0).score, 1u);      // other tables untouched
    EXPECT_EQ(store.Insert(10, 5), -1);
    EXPECT_EQ(store.Insert(-1, 5), -1);
}

TEST_F(HighScoreTest, ClearEmptiesEveryTableAndSaves) {
    for (int t = 0; t < HighScoreTableCount; ++t) {
        Select(t);
        Fill({static_cast<uint32_t>(t + 1)});
    }
    ASSERT_TRUE(store.Save());
    store.Clear();
    HighScoreStore reread;
    ASSERT_TRUE(reread.Load());
    for (int t = 0; t < HighScoreTableCount; ++t) {
        for (int r = 0; r < HighScoreRowCount; ++r) {
            EXPECT_EQ(store.Entry(t, r).score, 0u);
            EXPECT_EQ(reread.Entry(t, r).score, 0u);
            EXPECT_STREQ(reread.Entry(t, r).name, "");
        }
    }
}

TEST_F(HighScoreTest, StoredBlockLayout) {
    Select(2);
    const int row = store.Insert(2, 0x01020304);
    ASSERT_EQ(row, 0);
    std::strcpy(store.Entry(2, row).name, "Ann");
    const std::string block = store.EncodeBlock();
    ASSERT_EQ(block.size(), 3600u);
    const size_t at = (2 * 10 + 0) * 36;
    EXPECT_EQ(block.substr(at, 4), std::string("Ann\0", 4));
    EXPECT_EQ(block.substr(at + 4, 28), std::string(28, '\0'));  // nothing left behind the name
    EXPECT_EQ(block.substr(at + 32, 4), "\x04\x03\x02\x01");
    ASSERT_TRUE(store.Save());
    EXPECT_EQ(ReadFile("scores.ini").size(), std::string("[HIGH SCORES]\r\nData=\r\n").size() + 7202);

    // A stored name that fills its field is cut so that it stays terminated.
    std::string full = block;
    std::memset(full.data() + at, 'N', 32);
    HighScoreStore other;
    ASSERT_TRUE(other.DecodeBlock(full));
    EXPECT_EQ(std::string(other.Entry(2, 0).name), std::string(31, 'N'));
    EXPECT_FALSE(other.DecodeBlock(full.substr(1)));
}

TEST_F(HighScoreTest, LoadFailuresReadAsEmptyTables) {
    Select(0);
    Fill({5});
    EXPECT_FALSE(store.Load());  // no file yet
    EXPECT_EQ(Score(0), 0u);

    Fill({5});
    ASSERT_TRUE(store.Save());
    std::string file = ReadFile("scores.ini");
    const size_t data = file.find("Data=") + 5;
    file[data + 1] = file[data + 1] == '0' ? '1' : '0';  // one damaged digit: the checksum no longer fits
    WriteFile("scores.ini", file);
    EXPECT_FALSE(store.Load());
    EXPECT_EQ(Score(0), 0u);
}

TEST_F(HighScoreTest, StartUpKeepsAnUnreadableFileBeforeStartingAfresh) {
    // No file: empty tables are written at once, nothing to keep.
    EXPECT_FALSE(store.LoadOrCreate());
    EXPECT_TRUE(Exists("scores.ini"));
    EXPECT_FALSE(Exists("scores.ini.bak"));
    EXPECT_TRUE(store.Load());

    // A readable file is simply loaded.
    Fill({42});
    ASSERT_TRUE(store.Save());
    const std::string good = ReadFile("scores.ini");
    EXPECT_TRUE(store.LoadOrCreate());
    EXPECT_EQ(Score(0), 42u);

    // A damaged one is kept beside the fresh file and the log says so.
    std::string damaged = good;
    damaged[damaged.size() - 4] ^= 1;
    WriteFile("scores.ini", damaged);
    EXPECT_FALSE(store.LoadOrCreate());
    EXPECT_EQ(ReadFile("scores.ini.bak"), damaged);
    EXPECT_TRUE(store.Load());
    EXPECT_EQ(Score(0), 0u);
    const std::string log = ReadFile("app.log");
    EXPECT_NE(
        log.find("===> Warning: High scores: 'scores.ini' cannot be read (its high-score block is missing, "
                 "cut short or fails its checksum); kept it as 'scores.ini.bak'"),
        std::string::npos)
        << log;

    // A name already taken by something else moves the copy to the next number.
    WriteFile("scores.ini", damaged);
    std::filesystem::remove("scores.ini.bak");
    std::filesystem::create_directory("scores.ini.bak");
    std::filesystem::create_directory("scores.ini.bak/x");  // a directory that rename cannot replace
    EXPECT_FALSE(store.LoadOrCreate());
    EXPECT_EQ(ReadFile("scores.ini.bak.1"), damaged);
    EXPECT_TRUE(store.Load());
}

TEST_F(HighScoreTest, AFileTooLargeToRewriteGivesWayToAFreshOneOnceKept) {
    std::filesystem::remove_all("scores.ini.bak");
    WriteFile("scores.ini", "[HIGH SCORES]\r\nData=1\r\n");
    std::filesystem::resize_file("scores.ini", IniMaxFileSize + 1);
    EXPECT_FALSE(store.LoadOrCreate());
    EXPECT_EQ(std::filesystem::file_size("scores.ini.bak"), IniMaxFileSize + 1);
    EXPECT_LT(std::filesystem::file_size("scores.ini"), 10000u);
    // Scores are saved again from then on.
    Fill({7});
    ASSERT_TRUE(store.Save());
    EXPECT_TRUE(store.Load());
    EXPECT_EQ(Score(0), 7u);
}

TEST_F(HighScoreTest, APipeNamedLikeTheScoresFileHoldsNothingUp) {
    ASSERT_EQ(mkfifo("scores.ini", 0600), 0);
    EXPECT_EQ(RunInChild([this] { return store.LoadOrCreate() ? 1 : 0; }), 0);
    EXPECT_FALSE(Exists("scores.ini.bak"));
    // The save goes beside it, at once.
    EXPECT_EQ(RunInChild([this] { return store.Save() ? 1 : 0; }), 1);
    EXPECT_TRUE(std::filesystem::is_fifo("scores.ini"));
}

}  // namespace
