#include "persist/ini.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <random>

#include "temp_dir.h"

namespace {

std::string Value(const std::string& path, const std::string& section, const std::string& key,
                  size_t maxLength = IniMaxValueLength) {
    std::string value;
    return IniReadString(path, section, key, value, maxLength) ? value : "<missing>";
}

class IniTest : public TempDirTest {};

TEST_F(IniTest, LookupSemantics) {
    WriteFile("a.ini",
              "; a comment = not a key\r\n"
              "orphan=before any section\r\n"
              "[Options]\r\n"
              "  Sound  =   1  \r\n"
              "sound=2\r\n"
              "Quoted=\"  spaced  \"\r\n"
              "Single='x'\r\n"
              "Unbalanced=\"x\r\n"
              "Inner=a \"b\" c\r\n"
              "Empty=\r\n"
              "NoEquals\r\n"
              "Eq=a=b\r\n"
              "[options]\r\n"
              "Sound=3\r\n"
              "Late=never seen\r\n"
              "[ Spaced Name ]\r\n"
              "k=v\r\n");
    EXPECT_EQ(Value("a.ini", "OPTIONS", "SOUND"), "1");            // case and blanks do not matter
    EXPECT_EQ(Value("a.ini", "options", "Late"), "<missing>");     // a repeated section is not looked into
    EXPECT_EQ(Value("a.ini", "Options", "Quoted"), "  spaced  ");  // one pair of quotes removed
    EXPECT_EQ(Value("a.ini", "Options", "Single"), "x");
    EXPECT_EQ(Value("a.ini", "Options", "Unbalanced"), "\"x");
    EXPECT_EQ(Value("a.ini", "Options", "Inner"), "a \"b\" c");
    EXPECT_EQ(Value("a.ini", "Options", "Empty"), "");
    EXPECT_EQ(Value("a.ini", "Options", "NoEquals"), "<missing>");
    EXPECT_EQ(Value("a.ini", "Options", "Eq"), "a=b");
    EXPECT_EQ(Value("a.ini", "Options", "; a comment"), "<missing>");
    EXPECT_EQ(Value("a.ini", "", "orphan"), "<missing>");
    EXPECT_EQ(Value("a.ini", "spaced name", "K"), "v");
    EXPECT_EQ(Value("a.ini", "Missing", "Sound"), "<missing>");
    EXPECT_EQ(Value("none.ini", "Options", "Sound"), "<missing>");
}

TEST_F(IniTest, LineEndsAndByteOrderMark) {
    WriteFile("lf.ini", "[S]\nA=1\nB=2");
    WriteFile("cr.ini", "[S]\rA=1\rB=2\r");
    WriteFile("bom.ini", "\xEF\xBB\xBF[S]\r\nA=1\r\n");
    EXPECT_EQ(Value("lf.ini", "S", "B"), "2");
    EXPECT_EQ(Value("cr.ini", "S", "A"), "1");
    EXPECT_EQ(Value("bom.ini", "s", "a"), "1");
    // A write keeps the mark and makes every line end with CR LF.
    ASSERT_TRUE(IniWriteString("lf.ini", "S", "C", "3"));
    EXPECT_EQ(ReadFile("lf.ini"), "[S]\r\nA=1\r\nB=2\r\nC=3\r\n");
    ASSERT_TRUE(IniWriteString("bom.ini", "S", "A", "9"));
    EXPECT_EQ(ReadFile("bom.ini"), "\xEF\xBB\xBF[S]\r\nA=9\r\n");
}

TEST_F(IniTest, ValuesAreCutTo254UnlessMoreIsAsked) {
    const std::string longValue(300, 'v');
    WriteFile("a.ini", "[S]\r\nK=" + longValue + "\r\nQ=\"" + longValue + "\"\r\nN=ab" +
                           std::string(1, '\0') + "cd\r\n");
    EXPECT_EQ(Value("a.ini", "S", "K"), longValue.substr(0, 254));
    EXPECT_EQ(Value("a.ini", "S", "Q"), longValue.substr(0, 254));
    EXPECT_EQ(Value("a.ini", "S", "K", 10000), longValue);
    EXPECT_EQ(Value("a.ini", "S", "N"), "ab");  // a value ends at a NUL byte
}

TEST_F(IniTest, WritesCreateFileAndSectionAndKeepEverythingElse) {
    ASSERT_TRUE(IniWriteString("new.ini", "LANGUAGE", "Name", "ENGLISH"));
    EXPECT_EQ(ReadFile("new.ini"), "[LANGUAGE]\r\nName=ENGLISH\r\n");

    WriteFile("a.ini",
              "; settings\n"
              "[Options]\n"
              "btnSound = 1 ; kept\n"
              "weird line\n"
              "\n"
              "[Other]\n"
              "x=1\n");
    ASSERT_TRUE(IniWriteString("a.ini", "options", "BTNSOUND", "0"));   // replaced in place, spelling kept
    ASSERT_TRUE(IniWriteString("a.ini", "Options", "btnMusic", "1"));   // added at the end of the section
    ASSERT_TRUE(IniWriteString("a.ini", "High Scores", "Data", "00"));  // a new section at the end
    EXPECT_EQ(ReadFile("a.ini"),
              "; settings\r\n"
              "[Options]\r\n"
              "btnSound=0\r\n"
              "weird line\r\n"
              "btnMusic=1\r\n"
              "\r\n"
              "[Other]\r\n"
              "x=1\r\n"
              "\r\n"
              "[High Scores]\r\n"
              "Data=00\r\n");
    EXPECT_EQ(Value("a.ini", "Options", "btnSound"), "0");
    EXPECT_EQ(Value("a.ini", "Other", "x"), "1");
}

TEST_F(IniTest, UnwritableNamesAndValuesAreRefused) {
    WriteFile("a.ini", "[S]\r\nK=1\r\n");
    EXPECT_FALSE(IniWriteString("a.ini", "S", "K", "1\r\n[Injected]"));
    EXPECT_FALSE(IniWriteString("a.ini", "S", "A=B", "1"));
    EXPECT_FALSE(IniWriteString("a.ini", "S", "", "1"));
    EXPECT_FALSE(IniWriteString("a.ini", "S]x", "K", "1"));
    EXPECT_FALSE(IniWriteString("a.ini", "S", ";K", "1"));
    EXPECT_EQ(ReadFile("a.ini"), "[S]\r\nK=1\r\n");
}

TEST_F(IniTest, FailedWriteLeavesTheOldFile) {
    WriteFile("a.ini", "[S]\r\nK=old\r\n" + std::string(4000, ';') + "\r\n");
    // A disk that fills up in the middle of the write: the process may not write files past 1 KB.
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit limit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(IniWriteString("a.ini", "S", "K", "new") ? 1 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the failed write was reported as a success";
    EXPECT_EQ(Value("a.ini", "S", "K"), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()),
              1)
        << "the temporary file was left behind";

    EXPECT_FALSE(IniWriteString("missing-dir/a.ini", "S", "K", "v"));
}

TEST_F(IniTest, ADirectoryThatTakesNoNewFileStillHasItsFilesSaved) {
    WriteFile("a.ini", "; kept\r\n[S]\r\nK=old\r\n" + std::string(4000, ';') + "\r\n");
    struct stat st {};
    ASSERT_EQ(stat("a.ini", &st), 0);
    const ino_t before = st.st_ino;
    // Something in the way of the temporary file that cannot be removed: the file is rewritten in place.
    std::filesystem::create_directories("a.ini.tmp/x");
    ASSERT_TRUE(IniWriteString("a.ini", "S", "K", "new"));
    EXPECT_EQ(ReadFile("a.ini"), "; kept\r\n[S]\r\nK=new\r\n" + std::string(4000, ';') + "\r\n");
    ASSERT_EQ(stat("a.ini", &st), 0);
    EXPECT_EQ(st.st_ino, before);
    std::filesystem::create_directories("b.ini.tmp/x");
    EXPECT_FALSE(IniWriteString("b.ini", "S", "K", "v")) << "a new file cannot be made that way";
    EXPECT_FALSE(Exists("b.ini"));
    std::filesystem::remove_all("a.ini.tmp");

    // The same for a directory closed to the player, where permissions apply (not as root); a file
    // the player made read-only is never written, wherever it is.
    ASSERT_EQ(chmod(dir.c_str(), 0500), 0);
    if (access(dir.c_str(), W_OK) != 0) {
        EXPECT_TRUE(IniWriteString("a.ini", "S", "K", "newer"));
        EXPECT_EQ(Value("a.ini", "S", "K"), "newer");
        ASSERT_EQ(chmod("a.ini", 0444), 0);
        EXPECT_FALSE(IniWriteString("a.ini", "S", "K", "newest"));
        ASSERT_EQ(chmod(dir.c_str(), 0700), 0);
        EXPECT_FALSE(IniWriteString("a.ini", "S", "K", "newest"));
        EXPECT_FALSE(IniWriteFreshFile("a.ini", "S", "K", "newest"));
        EXPECT_EQ(Value("a.ini", "S", "K"), "newer");
    }
    chmod(dir.c_str(), 0700);
}

TEST_F(IniTest, APipeUnderTheNameIsRefusedAtOnce) {
    ASSERT_EQ(mkfifo("a.ini", 0600), 0);
    EXPECT_EQ(RunInChild([] { return Value("a.ini", "S", "K") == "<missing>" ? 0 : 1; }), 0);
    EXPECT_EQ(RunInChild([] { return IniWriteString("a.ini", "S", "K", "v") ? 1 : 0; }), 0);
    EXPECT_EQ(RunInChild([] { return IniWriteFreshFile("a.ini", "S", "K", "v") ? 1 : 0; }), 0);
}

TEST_F(IniTest, AFreshFileHoldsOnlyTheOneValue) {
    WriteFile("a.ini", "junk\n[S]\nK=old\nOther=1\n" + std::string(1000, '\0'));
    ASSERT_TRUE(IniWriteFreshFile("a.ini", "S", "K", "new"));
    EXPECT_EQ(ReadFile("a.ini"), "[S]\r\nK=new\r\n");
    EXPECT_EQ(Value("a.ini", "S", "Other"), "<missing>");
    EXPECT_FALSE(IniWriteFreshFile("a.ini", "S", "K", "new\r\n[Injected]"));
    EXPECT_EQ(ReadFile("a.ini"), "[S]\r\nK=new\r\n");
}

void CrashBeforeRename(const std::string&) {
    _exit(0);
}

TEST_F(IniTest, CrashBetweenTempFileAndRenameKeepsTheOldFile) {
    WriteFile("a.ini", "[S]\r\nK=old\r\n");
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        IniSetBeforeRenameHook(CrashBeforeRename);
        IniWriteString("a.ini", "S", "K", "new");
        _exit(1);  // not reached when the hook stops the write
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << "the write never reached the rename";
    EXPECT_EQ(ReadFile("a.ini"), "[S]\r\nK=old\r\n");
    EXPECT_EQ(Value("a.ini", "S", "K"), "old");
    // The complete temporary file the crash left behind does not stand in the way of the next write.
    ASSERT_TRUE(IniWriteString("a.ini", "S", "K", "new"));
    EXPECT_EQ(Value("a.ini", "S", "K"), "new");
}

TEST_F(IniTest, CacheSeesEditsAtOnce) {
    WriteFile("a.ini", "[S]\r\nK=aaaa\r\n");
    EXPECT_EQ(Value("a.ini", "S", "K"), "aaaa");
    // Same size, same second, same inode: written in place right after the read.
    WriteFile("a.ini", "[S]\r\nK=bbbb\r\n");
    EXPECT_EQ(Value("a.ini", "S", "K"), "bbbb");
    // Replaced by another file of the same size and times.
    WriteFile("b.ini", "[S]\r\nK=cccc\r\n");
    struct stat st {};
    ASSERT_EQ(stat("a.ini", &st), 0);
    timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, "b.ini", times, 0), 0);
    ASSERT_EQ(rename("b.ini", "a.ini"), 0);
    EXPECT_EQ(Value("a.ini", "S", "K"), "cccc");
    ASSERT_EQ(remove("a.ini"), 0);
    EXPECT_EQ(Value("a.ini", "S", "K"), "<missing>");
}

TEST_F(IniTest, OldUnchangedFileIsReadOnlyOnce) {
    WriteFile("a.ini", "[S]\r\nK=1\r\n");
    const timespec past[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "a.ini", past, 0), 0);
    EXPECT_EQ(Value("a.ini", "S", "K"), "1");
    const uint64_t reads = IniFileReadCount();
    for (int i = 0; i < 100; ++i) EXPECT_EQ(Value("a.ini", "S", "K"), "1");
    EXPECT_EQ(IniFileReadCount(), reads);
    // Touching it is enough to read it again.
    const timespec later[2] = {{1000000100, 0}, {1000000100, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, "a.ini", later, 0), 0);
    EXPECT_EQ(Value("a.ini", "S", "K"), "1");
    EXPECT_EQ(IniFileReadCount(), reads + 1);
}

TEST_F(IniTest, DamagedAndHugeFilesReadSafely) {
    WriteFile("empty.ini", "");
    EXPECT_EQ(Value("empty.ini", "S", "K"), "<missing>");

    std::mt19937 random(7);
    std::string garbage(1 << 16, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    WriteFile("garbage.ini", garbage + "\n[S]\nK=found\n");
    EXPECT_EQ(Value("garbage.ini", "S", "K"), "found");

    WriteFile("broken.ini", "[S\r\nK=in no section\r\n[T]\r\n=no name\r\nK=t\r\n");
    EXPECT_EQ(Value("broken.ini", "S", "K"), "<missing>");
    EXPECT_EQ(Value("broken.ini", "T", "K"), "t");

    const std::string megaLine(1 << 20, 'x');
    WriteFile("longline.ini", "[S]\r\nK=" + megaLine + "\r\n" + megaLine + "\r\nL=2\r\n");
    EXPECT_EQ(Value("longline.ini", "S", "K"), megaLine.substr(0, 254));
    EXPECT_EQ(Value("longline.ini", "S", "L"), "2");

    // 50 MB of keys: scanned instead of indexed, still answered, and writable.
    std::string big = "[S]\n";
    while (big.size() < (50u << 20)) big += "key" + std::to_string(big.size()) + "=some value of a key\n";
    big += "[T]\nLast=end\n";
    WriteFile("big.ini", big);
    EXPECT_EQ(Value("big.ini", "T", "Last"), "end");
    EXPECT_EQ(Value("big.ini", "S", "key4"), "some value of a key");
    EXPECT_TRUE(IniWriteString("big.ini", "T", "Last", "changed"));
    EXPECT_EQ(Value("big.ini", "T", "Last"), "changed");

    std::filesystem::create_directory("dir.ini");
    EXPECT_EQ(Value("dir.ini", "S", "K"), "<missing>");
    EXPECT_FALSE(IniWriteString("dir.ini", "S", "K", "v"));
}

TEST(IniTextTest, ScanAndIndexAgree) {
    const std::string text = "[A]\nx=1\n[b]\nX=2\ny = \"3\"\n[A]\nx=4\nz=5\n[B]\nx=6\n[c]\n[\nq=7\n;x=8\nx\n";
    IniDocument document(text);
    for (const char* section : {"a", "B", "c", "d", ""}) {
        for (const char* key : {"x", "Y", "z", "q", ";x"}) {
            EXPECT_EQ(document.Find(section, key), IniScan(text, section, key)) << section << "/" << key;
        }
    }
    EXPECT_EQ(document.Find("b", "y"), std::optional<std::string_view>("3"));
    EXPECT_EQ(document.Find("A", "z"), std::nullopt);  // keys of a repeated section are never seen
    EXPECT_EQ(document.Find("c", "q"), std::optional<std::string_view>("7"));  // "[" alone is no header
}

}  // namespace
