// Saves that fail, as the player and the log see them: every failed step of a write is reported with
// its reason and retried at the next save; a damaged scores.ini is never written over without a copy;
// two copies of the game saving into one folder keep each other's scores; a deleted folder, a huge
// language file and a log that is a pipe neither lose data nor hold the game up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "persist/config.h"
#include "persist/highscores.h"
#include "persist/save_report.h"
#include "temp_dir.h"

namespace {

class SaveFailureTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ResetSaveReports();
        IniInjectWriteFailure(IniWriteStep::CreateTemporary, 0);
        SetSaveProblemHandler([this](SavedFile file, SaveProblem problem) {
            heard.push_back({file, problem});
        });
    }
    void TearDown() override {
        IniInjectWriteFailure(IniWriteStep::CreateTemporary, 0);
        ResetSaveReports();
        TempDirTest::TearDown();
    }

    static void AddScore(HighScoreStore& store, int table, uint32_t score, const char* name) {
        const int row = store.Insert(table, score);
        ASSERT_GE(row, 0);
        std::strcpy(store.Entry(table, row).name, name);
    }
    // "name score" of every row of a table that holds one.
    static std::vector<std::string> Rows(const HighScoreStore& store, int table) {
        std::vector<std::string> rows;
        for (int r = 0; r < HighScoreRowCount; ++r) {
            const HighScoreEntry& e = store.Entry(table, r);
            if (e.score != 0) rows.push_back(std::string(e.name) + " " + std::to_string(e.score));
        }
        return rows;
    }
    static std::vector<std::string> StoredRows(int table) {
        HighScoreStore stored;
        stored.Load();
        return Rows(stored, table);
    }
    int CountLog(const std::string& text) const {
        const std::string log = ReadFile("app.log");
        int n = 0;
        for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    std::vector<std::pair<SavedFile, SaveProblem>> heard;
};

TEST_F(SaveFailureTest, AFailedStepIsReportedWithItsReasonAndTheNextSaveRetries) {
    struct Case {
        IniWriteStep step;
        int error;
        SaveProblem problem;
        const char* logged;
    };
    const Case cases[] = {
        {IniWriteStep::CreateTemporary, ENOSPC, SaveProblem::DiskFull,
         "(disk full: create a temporary file: No space left on device)"},
        {IniWriteStep::CreateTemporary, EACCES, SaveProblem::NoPermission,
         "(no permission: create a temporary"},
        {IniWriteStep::CreateTemporary, EROFS, SaveProblem::ReadOnlyDisk,
         "(read-only disk: create a temporary"},
        {IniWriteStep::Write, ENOSPC, SaveProblem::DiskFull, "(disk full: write: No space left on device)"},
        {IniWriteStep::Write, EIO, SaveProblem::DiskError, "(disk error: write: Input/output error)"},
        {IniWriteStep::Sync, EIO, SaveProblem::DiskError, "(disk error: sync: Input/output error)"},
        {IniWriteStep::Rename, EXDEV, SaveProblem::Other, "(write error: rename: Invalid cross-device link)"},
    };
    uint32_t score = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        // Where no temporary file can be made, an existing file is rewritten in place: that step can
        // only fail a save of a new file.
        std::filesystem::remove("scores.ini");
        std::filesystem::remove("config.ini");
        HighScoreStore store;
        if (c.step != IniWriteStep::CreateTemporary) store.LoadOrCreate();
        const std::string before = ReadFile("scores.ini");
        heard.clear();

        AddScore(store, 1, ++score, "ANN");
        IniInjectWriteFailure(c.step, c.error);
        EXPECT_FALSE(store.Save());
        EXPECT_FALSE(WriteConfigString("OPTIONS", "btnSound", "1"));
        IniInjectWriteFailure(c.step, 0);

        // Nothing on disk changed, no temporary file is left, and the player and the log were told.
        EXPECT_EQ(ReadFile("scores.ini"), before);
        EXPECT_FALSE(Exists("config.ini"));
        EXPECT_FALSE(Exists("scores.ini.tmp"));
        EXPECT_EQ(heard,
                  (std::vector<std::pair<SavedFile, SaveProblem>>{{SavedFile::HighScores, c.problem}}));
        EXPECT_EQ(CountLog("High scores: could not save '" + GameFilePath("scores.ini") + "' " + c.logged), 1)
            << ReadFile("app.log");
        EXPECT_EQ(store.Entry(1, 0).score, score) << "the score stays in memory";

        // The next save writes it, and says so.
        EXPECT_TRUE(store.Save());
        EXPECT_EQ(StoredRows(1).front(), "ANN " + std::to_string(score));
        EXPECT_EQ(heard.back().second, SaveProblem::None);
        EXPECT_GE(CountLog("High scores: '" + GameFilePath("scores.ini") + "' saved again"), 1);
    }
}

TEST_F(SaveFailureTest, RepeatedFailuresAreLoggedOnceButShownEachTime) {
    HighScoreStore store;
    store.LoadOrCreate();
    IniInjectWriteFailure(IniWriteStep::Write, ENOSPC);
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(store.Save());
    EXPECT_EQ(CountLog("High scores: could not save"), 1);
    EXPECT_EQ(heard.size(), 5u);
}

TEST_F(SaveFailureTest, AFullDiskRefusesTheScoresButTheyAreNotLostSilently) {
    // 4 KiB left: config.ini still fits, the 7 KB scores.ini does not.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        HighScoreStore store;
        AddScore(store, 3, 4242, "FULL");
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        const bool settingsSaved = WriteConfigString("OPTIONS", "btnMusic", "1");
        const bool scoresSaved = store.Save();
        const bool told = !heard.empty() && heard.back().second == SaveProblem::DiskFull;
        _exit(settingsSaved && !scoresSaved && told ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_NE(ReadFile("app.log").find("(disk full: "), std::string::npos) << ReadFile("app.log");
    EXPECT_FALSE(Exists("scores.ini"));
}

TEST_F(SaveFailureTest, AScoreWhoseSaveFailedSurvivesAReload) {
    HighScoreStore store;
    store.LoadOrCreate();
    AddScore(store, 0, 300, "KEPT");
    IniInjectWriteFailure(IniWriteStep::Rename, EIO);
    EXPECT_FALSE(store.Save());
    IniInjectWriteFailure(IniWriteStep::Rename, 0);
    // Escape in the next name entry reloads the file: the confirmed score stays, the new row goes.
    AddScore(store, 0, 200, "");
    store.Load();
    EXPECT_EQ(Rows(store, 0), std::vector<std::string>{"KEPT 300"});
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(StoredRows(0), std::vector<std::string>{"KEPT 300"});

    // A clear that failed is not undone by the next save's merge.
    IniInjectWriteFailure(IniWriteStep::Write, ENOSPC);
    store.Clear();
    IniInjectWriteFailure(IniWriteStep::Write, 0);
    AddScore(store, 0, 50, "NEW");
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(StoredRows(0), std::vector<std::string>{"NEW 50"});
}

TEST_F(SaveFailureTest, TwoGamesInOneFolderKeepEachOthersScores) {
    struct Case {
        const char* what;
        std::vector<std::tuple<int, uint32_t, const char*>> first, second;
        int table;
        std::vector<std::string> expected;
    };
    const Case cases[] = {
        {"one table", {{1, 500, "ANN"}}, {{1, 400, "BEN"}}, 1, {"ANN 500", "BEN 400"}},
        {"equal scores: the later save ranks below",
         {{1, 500, "ANN"}},
         {{1, 500, "BEN"}},
         1,
         {"ANN 500", "BEN 500"}},
        {"other tables untouched", {{2, 10, "ANN"}}, {{4, 20, "BEN"}}, 4, {"BEN 20"}},
        {"ten rows at most",
         {{5, 90, "A"}, {5, 80, "B"}, {5, 70, "C"}, {5, 60, "D"}, {5, 50, "E"}, {5, 40, "F"}},
         {{5, 85, "G"}, {5, 75, "H"}, {5, 65, "I"}, {5, 55, "J"}, {5, 45, "K"}, {5, 35, "L"}},
         5,
         {"A 90", "G 85", "B 80", "H 75", "C 70", "I 65", "D 60", "J 55", "E 50", "K 45"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove("scores.ini");
        HighScoreStore first, second;  // both started before either saved
        first.LoadOrCreate();
        second.LoadOrCreate();
        for (const auto& [table, score, name] : c.first) AddScore(first, table, score, name);
        for (const auto& [table, score, name] : c.second) AddScore(second, table, score, name);
        ASSERT_TRUE(first.Save());
        ASSERT_TRUE(second.Save());
        EXPECT_EQ(StoredRows(c.table), c.expected);
        EXPECT_EQ(Rows(second, c.table), c.expected) << "the saving game shows what it saved";
    }
}

TEST_F(SaveFailureTest, GamesSavingAtOnceTakeTurnsUnderTheLock) {
    HighScoreStore().LoadOrCreate();
    constexpr int Games = 4, ScoresEach = 8;
    std::vector<pid_t> children;
    for (int game = 0; game < Games; ++game) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            HighScoreStore store;
            store.Load();
            for (int i = 0; i < ScoresEach; ++i) {
                AddScore(store, game, static_cast<uint32_t>(1000 + i), "P");
                if (!store.Save()) _exit(1);
            }
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int game = 0; game < Games; ++game) EXPECT_EQ(StoredRows(game).size(), size_t(ScoresEach)) << game;
}

TEST_F(SaveFailureTest, DamagedScoresAreKeptInNumberedCopiesAndNeverWrittenOver) {
    HighScoreStore store;
    store.LoadOrCreate();
    AddScore(store, 1, 77, "OLD");
    ASSERT_TRUE(store.Save());
    const std::string good = ReadFile("scores.ini");
    auto damaged = [&](int version) {
        std::string text = good;
        text[text.size() - 3 - static_cast<size_t>(version)] ^= 1;
        return text;
    };

    // Each new damage gets a copy of its own; the same damage seen again needs none.
    const char* copies[] = {"scores.ini.bak", "scores.ini.bak.1", "scores.ini.bak.2"};
    for (int version = 0; version < 3; ++version) {
        WriteFile("scores.ini", damaged(version));
        EXPECT_FALSE(store.LoadOrCreate());
        EXPECT_EQ(ReadFile(copies[version]), damaged(version));
        EXPECT_TRUE(HighScoreStore().Load()) << "a fresh file took its place";
    }
    WriteFile("scores.ini", damaged(1));
    store.LoadOrCreate();
    EXPECT_FALSE(Exists("scores.ini.bak.3"));

    // With every copy's name taken, scores.ini stays as it is and the tables go to scores.ini.new,
    // where the next start finds them again.
    std::filesystem::create_directories("scores.ini.bak.3/x");
    std::filesystem::create_directories("scores.ini.bak.4/x");
    WriteFile("scores.ini", damaged(3));
    EXPECT_FALSE(store.LoadOrCreate());
    EXPECT_EQ(store.FileName(), "scores.ini.new");
    AddScore(store, 1, 55, "NEW");
    EXPECT_TRUE(store.Save());
    EXPECT_EQ(ReadFile("scores.ini"), damaged(3));
    HighScoreStore next;
    next.LoadOrCreate();
    EXPECT_EQ(Rows(next, 1), std::vector<std::string>{"NEW 55"});
    EXPECT_EQ(ReadFile("scores.ini"), damaged(3));
    EXPECT_NE(ReadFile("app.log").find("no copy of it could be made; it is left as it is and the tables are "
                                       "kept in 'scores.ini.new'"),
              std::string::npos);

    // A pipe in scores.ini's place cannot be copied either: the scores still go somewhere.
    std::filesystem::remove("scores.ini");
    std::filesystem::remove("scores.ini.new");
    ASSERT_EQ(mkfifo("scores.ini", 0600), 0);
    EXPECT_EQ(RunInChild([] {
                  HighScoreStore piped;
                  piped.LoadOrCreate();
                  AddScore(piped, 2, 9, "PIPE");
                  return piped.Save() && piped.FileName() == "scores.ini.new" ? 0 : 1;
              }),
              0);
}

TEST_F(SaveFailureTest, ADeletedWorkingFolderFailsTheSaveInsteadOfWritingToTheRoot) {
    std::filesystem::create_directory("gone");
    // What stands in "/" now (an earlier run of a game may have left something there) stays as it is.
    auto rootFile = [](const char* name) {
        struct stat st {};
        return ::stat(name, &st) == 0 ? std::to_string(st.st_size) + "@" + std::to_string(st.st_mtim.tv_sec) +
                                            "." + std::to_string(st.st_mtim.tv_nsec)
                                      : std::string("none");
    };
    const std::string configBefore = rootFile("/config.ini"), scoresBefore = rootFile("/scores.ini");
    const int result = RunInChild([&] {
        if (chdir("gone") != 0 || rmdir((dir / "gone").c_str()) != 0) return 2;
        FileWriteError error;
        const bool saved = WriteConfigString("OPTIONS", "btnSound", "1", &error);
        HighScoreStore store;
        const bool scoresSaved = store.Save();
        return !saved && !scoresSaved && GameFilePath("config.ini").empty() &&
                       SaveProblemOf(error) == SaveProblem::FolderMissing && heard.size() == 1
                   ? 0
                   : 1;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(rootFile("/config.ini"), configBefore);
    EXPECT_EQ(rootFile("/scores.ini"), scoresBefore);
}

TEST_F(SaveFailureTest, ALogThatIsAPipeHoldsNothingUpAndItsEntriesGoToStandardError) {
    ASSERT_EQ(mkfifo("app.log", 0600), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(RunInChild([] {
                  WriteLog("*** SESSION STARTED ***", LogNewFile);
                  WriteLog("later entry", 0);
                  return 0;
              }),
              0);
    // The child's standard error is the captured one.
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("cannot be written (not a regular file)"), std::string::npos) << err;
    EXPECT_NE(err.find("later entry"), std::string::npos) << err;
}

TEST_F(SaveFailureTest, AHugeLanguageFileIsReadOnceAndStillFollowsEdits) {
    std::string text = "[ENGLISH]\r\n";
    while (text.size() < (3u << 20))
        text += "key" + std::to_string(text.size()) + "=some translated text\r\n";
    text += "Level Up=Higher!\r\n";
    WriteFile("language.ini", text);
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "language.ini", past, 0), 0);
    SetLanguageName("ENGLISH");
    EXPECT_EQ(Translate("Level Up"), "Higher!");
    const uint64_t reads = IniFileReadCount();
    for (int i = 0; i < 200; ++i) EXPECT_EQ(Translate("Level Up"), "Higher!");
    EXPECT_EQ(IniFileReadCount(), reads);

    text.replace(text.find("Higher!"), 7, "Faster!");
    WriteFile("language.ini", text);
    EXPECT_EQ(Translate("Level Up"), "Faster!");
}

TEST_F(SaveFailureTest, UnreadableAndDamagedSettingsAreLoggedOnceWithTheReason) {
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* reason;
    };
    const Case cases[] = {
        {"directory", [] { std::filesystem::create_directory("config.ini"); }, "not a regular file"},
        {"pipe", [] { mkfifo("config.ini", 0600); }, "not a regular file"},
        {"device", [] { std::filesystem::create_symlink("/dev/zero", "config.ini"); }, "not a regular file"},
        {"huge",
         [] {
             WriteFile("config.ini", "[OPTIONS]\r\n");
             std::filesystem::resize_file("config.ini", IniMaxFileSize + 1);
         },
         "larger than 64 MiB"},
        {"cut short", [] { WriteFile("config.ini", "[OPTIONS]\r\nbtnSound=1\r\nbtnMus"); },
         "1 damaged line (the first is line 3)"},
        {"garbage",
         [] { WriteFile("config.ini", std::string("\x7f\x45LF\x02\x01\x01\n\x00\x00\x01\n", 12)); },
         "2 damaged lines (the first is line 1)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all("config.ini");
        std::string value;
        ReadConfigString("OPTIONS", "btnSound", value);  // a missing file is no problem
        std::filesystem::remove("app.log");
        c.make();
        for (int i = 0; i < 20; ++i) ReadConfigString("OPTIONS", "btnSound", value);
        EXPECT_EQ(CountLog("'" + GameFilePath("config.ini") + "': " + c.reason), 1) << ReadFile("app.log");
    }
}

}  // namespace
