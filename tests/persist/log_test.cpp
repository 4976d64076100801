#include "persist/log.h"

#include <gtest/gtest.h>

#include "base/clock.h"
#include "temp_dir.h"

namespace {

const std::string Stars(74, '*');

class LogTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        SetVirtualTickCount((1 * 3600 + 2 * 60 + 3) * 1000);  // the stamp reads 01:02:03
    }
};

TEST_F(LogTest, FlagsComposeInTheDesignedOrder) {
    EXPECT_EQ(FormatLogEntry("plain", 0), "plain\r\n");
    EXPECT_EQ(FormatLogEntry("late", LogTimeStamp), "01:02:03 : late\r\n");
    EXPECT_EQ(FormatLogEntry("careful", LogWarning), "===> Warning: careful\r\n");
    // The time comes first, then the warning prefix, then the text.
    EXPECT_EQ(FormatLogEntry("both", LogTimeStamp | LogWarning), "01:02:03 : ===> Warning: both\r\n");
    EXPECT_EQ(FormatLogEntry("framed", LogFrame), Stars + "\r\nframed\r\n" + Stars + "\r\n");
    // A line feed inside the text is written as a CR LF line end, a CR LF stays as it is.
    EXPECT_EQ(FormatLogEntry("a\nb\r\nc", 0), "a\r\nb\r\nc\r\n");
}

TEST_F(LogTest, NormalStartAndFollowingEntries) {
    WriteLog("*** SESSION STARTED ***", LogNewFile | LogTimeStamp | LogFrame);
    WriteLog("Bitmap loading: 'x.tga' ... FAILED", LogTimeStamp);
    WriteLog("too many sound files", LogWarning);
    EXPECT_EQ(ReadFile("app.log"), Stars + "\r\n01:02:03 : *** SESSION STARTED ***\r\n" + Stars + "\r\n" +
                                       "01:02:03 : Bitmap loading: 'x.tga' ... FAILED\r\n" +
                                       "===> Warning: too many sound files\r\n");
}

TEST_F(LogTest, SecondRunReplacesTheFirstRunsLog) {
    WriteLog("*** SESSION STARTED ***", LogNewFile);
    WriteLog("first run", 0);
    ResetLogState();  // a new run of the program
    WriteLog("*** SESSION STARTED ***", LogNewFile);
    WriteLog("second run", 0);
    EXPECT_EQ(ReadFile("app.log"), "*** SESSION STARTED ***\r\nsecond run\r\n");
}

TEST_F(LogTest, EntriesBeforeTheSessionStartAreWrittenAgainAfterIt) {
    WriteFile("app.log", "last run's log\r\n");
    WriteLog("Fatal error, cannot load XML: menu-main.xml", 0);
    WriteLog("OGG sound loading: a.ogg ... FAILED", LogTimeStamp);
    // Until the session starts they are on disk too, after the old contents.
    EXPECT_EQ(ReadFile("app.log"),
              "last run's log\r\nFatal error, cannot load XML: menu-main.xml\r\n"
              "01:02:03 : OGG sound loading: a.ogg ... FAILED\r\n");
    WriteLog("*** SESSION STARTED ***", LogNewFile | LogFrame);
    WriteLog("after", 0);
    EXPECT_EQ(ReadFile("app.log"), Stars + "\r\n*** SESSION STARTED ***\r\n" + Stars + "\r\n" +
                                       "Fatal error, cannot load XML: menu-main.xml\r\n" +
                                       "01:02:03 : OGG sound loading: a.ogg ... FAILED\r\n" + "after\r\n");
    // Only the run's first session start replays them; a later new-file entry simply starts over.
    WriteLog("restart", LogNewFile);
    EXPECT_EQ(ReadFile("app.log"), "restart\r\n");
}

TEST_F(LogTest, EntriesKeptForTheSessionStartAreBounded) {
    for (int i = 0; i < 1000; ++i) WriteLog("early entry " + std::to_string(i), 0);
    WriteLog("start", LogNewFile);
    const std::string log = ReadFile("app.log");
    EXPECT_TRUE(log.starts_with("start\r\nearly entry 0\r\nearly entry 1\r\n"));
    EXPECT_EQ(log.find("early entry 999\r\n"), std::string::npos);
    EXPECT_NE(log.find("more entries written before the session started were not kept\r\n"),
              std::string::npos);
    EXPECT_LT(log.size(), 70u * 1024);
}

TEST_F(LogTest, DirectoryIsTheOneCurrentAtTheFirstEntry) {
    WriteLog("start", LogNewFile);
    std::filesystem::create_directory("elsewhere");
    std::filesystem::current_path("elsewhere");
    WriteLog("moved", 0);
    std::filesystem::current_path(dir);
    EXPECT_EQ(ReadFile("app.log"), "start\r\nmoved\r\n");
    EXPECT_FALSE(Exists("elsewhere/app.log"));
    EXPECT_EQ(LogFilePath(), (dir / "app.log").string());
}

TEST_F(LogTest, UnwritableLogIsIgnored) {
    std::filesystem::create_directory("app.log");  // a directory where the file should be
    WriteLog("start", LogNewFile);
    WriteLog("entry", LogTimeStamp);
    EXPECT_TRUE(std::filesystem::is_directory("app.log"));
}

}  // namespace
