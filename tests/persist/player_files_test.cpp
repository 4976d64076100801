// The player's files of an installed game: where settings, scores and the log go, the move from an
// earlier version's single game directory, and a run without a home directory.
#include "persist/player_files.h"

#include <cstdlib>

#include "base/paths.h"
#include "persist/highscores.h"
#include "temp_dir.h"

namespace fs = std::filesystem;

namespace {

class PlayerFilesTest : public TempDirTest {
protected:
    void TearDown() override {
        UseFileLayout(FileLayout());
        TempDirTest::TearDown();
    }
    void Make(const fs::path& path, const std::string& bytes) {
        fs::create_directories(path.parent_path());
        WriteFile(path.string(), bytes);
    }
    // Every regular file under the test's directory, relative to it.
    std::vector<std::string> AllFiles() const {
        std::vector<std::string> files;
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(dir))
            if (entry.is_regular_file()) files.push_back(entry.path().lexically_relative(dir).string());
        std::sort(files.begin(), files.end());
        return files;
    }
    // An install with a program and its data, as `cmake --install` lays it out.
    std::string MakeInstall(const fs::path& prefix) {
        const fs::path data = prefix / "bin" / DataDirectoryFromProgram;
        for (const char* name : {"menu-main.xml", "language.ini", "Graphics/font01.tga", "Sound/music_1.mid"})
            Make(data / name, std::string("installed ") + name);
        Make(prefix / "bin/kelvane", "program");
        return (prefix / "bin/kelvane").string();
    }
};

// The environment of one child process.
void SetHomeOnly(const std::string& home) {
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) unsetenv(name);
    if (!home.empty()) setenv("HOME", home.c_str(), 1);
}

}  // namespace

TEST_F(PlayerFilesTest, TheFirstStartMovesThePlayersFilesOutOfTheOldGameDirectory) {
    struct Case {
        const char* what;
        bool newConfigThere;    // ~/.config/kelvane/config.ini exists already
        bool configDirBlocked;  // ~/.config is a file: the new config.ini cannot be written
        bool installedInOld;    // the game was installed into the old game directory itself
        bool oldIsDataDir;      // the old directory is ~/.local/share/kelvane (as earlier versions had it)
        std::string configAfter;
        bool oldConfigKept;
        bool copiesRemoved;
        const char* logged;
    };
    const Case cases[] = {
        {"first start", false, false, false, true, "old settings", false, true, "Moved '"},
        {"moved before", true, false, false, true, "new settings", true, false, ""},
        {"cannot write", false, true, false, true, "", true, false, "Could not move"},
        {"installed there", false, false, true, true, "old settings", false, false, "Moved '"},
        {"other old place", false, false, false, false, "old settings", false, true, "Moved '"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(dir / "home");
        fs::remove_all(dir / "usr");
        ResetLogState();
        const fs::path home = dir / "home";
        const fs::path data = home / ".local/share/kelvane";
        const fs::path old = c.oldIsDataDir ? data : home / "old-game";
        Make(old / "config.ini", "old settings");
        Make(old / "scores.ini", "old scores");
        Make(old / "app.log", "old log");
        // The copies the earlier launcher refreshed on every start, and a picture the player added.
        for (const char* name : {"menu-main.xml", "language.ini", "Graphics/font01.tga", "Sound/music_1.mid"})
            Make(old / name, std::string("copied ") + name);
        Make(old / "Graphics/mine.bmp", "the player's own");
        if (c.newConfigThere) Make(home / ".config/kelvane/config.ini", "new settings");
        if (c.configDirBlocked) Make(home / ".config", "a file where a directory belongs");
        const fs::path install = c.installedInOld ? old : dir / "usr/share/kelvane";
        if (!c.installedInOld) {
            for (const char* name :
                 {"menu-main.xml", "language.ini", "Graphics/font01.tga", "Sound/music_1.mid"})
                Make(install / name, std::string("installed ") + name);
        }
        UseFileLayout(InstalledLayout(install.string(),
                                      PlayerDirectoriesFrom(home.c_str(), nullptr, nullptr, nullptr)));

        MoveOldPlayerFiles(old.string());

        EXPECT_EQ(ReadFile((home / ".config/kelvane/config.ini").string()), c.configAfter);
        EXPECT_EQ(Exists((old / "config.ini").string()), c.oldConfigKept);
        // scores.ini lives in the data directory: from an old directory elsewhere it moves there.
        EXPECT_EQ(ReadFile((data / "scores.ini").string()), "old scores");
        EXPECT_EQ(Exists((old / "scores.ini").string()), c.oldIsDataDir);
        for (const char* name : {"menu-main.xml", "language.ini", "Graphics/font01.tga", "Sound/music_1.mid"})
            EXPECT_EQ(Exists((old / name).string()), !c.copiesRemoved) << name;
        EXPECT_EQ(ReadFile((old / "Graphics/mine.bmp").string()), "the player's own");
        EXPECT_EQ(ReadFile((old / "app.log").string()), "old log");
        if (c.copiesRemoved) {
            EXPECT_FALSE(Exists((old / "Sound").string())) << "an emptied folder stays";
        }
        const std::string log = ReadFile(LogFilePath());
        if (*c.logged) {
            EXPECT_NE(log.find(c.logged), std::string::npos) << log;
        } else {
            EXPECT_EQ(log, "");
        }
        EXPECT_EQ(log.find("Removed ") != std::string::npos, c.copiesRemoved) << log;
    }
}

TEST_F(PlayerFilesTest, AnInstalledGameKeepsSettingsScoresAndLogInThePlayersDirectories) {
    const std::string program = MakeInstall(dir / "prefix");
    const fs::path home = dir / "home";
    fs::create_directories(home);
    const int failures = RunInChild([&] {
        SetHomeOnly(home.string());
        std::string message;
        if (!UseInstalledFiles(program, message) || !message.empty()) return 100;
        int bad = 0;
        bad += !WriteConfigString("OPTIONS", "btnSound", "1");
        HighScoreStore scores;
        bad += !scores.Save();
        WriteLog("*** SESSION STARTED ***", LogNewFile);
        std::string value;
        bad += !ReadConfigString("OPTIONS", "btnSound", value) || value != "1";
        bad +=
            Translate("anything") != "" || GameFilePath("language.ini").find("/prefix/") == std::string::npos;
        return bad;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(AllFiles(),
              (std::vector<std::string>{
                  "home/.config/kelvane/config.ini", "home/.local/share/kelvane/scores.ini",
                  "home/.local/share/kelvane/scores.ini.lock", "home/.local/state/kelvane/app.log",
                  "prefix/bin/kelvane", "prefix/share/kelvane/Graphics/font01.tga",
                  "prefix/share/kelvane/Sound/music_1.mid", "prefix/share/kelvane/language.ini",
                  "prefix/share/kelvane/menu-main.xml"}));
}

TEST_F(PlayerFilesTest, WithoutAHomeTheGameSaysSoAndWritesNothing) {
    const std::string program = MakeInstall(dir / "prefix");
    const std::vector<std::string> before = AllFiles();
    const std::string messageFile = (dir / "message.txt").string();
    const int failures = RunInChild([&] {
        SetHomeOnly("");
        std::string message;
        const bool found = UseInstalledFiles(program, message);
        int bad = !found;
        bad += WriteConfigString("OPTIONS", "btnSound", "1");  // refused: nowhere to keep it
        HighScoreStore scores;
        scores.LoadOrCreate();
        bad += scores.Save();
        WriteLog("*** SESSION STARTED ***", LogNewFile);
        bad += LogFilePath() != "";
        std::FILE* out = std::fopen(messageFile.c_str(), "wb");
        std::fputs(message.c_str(), out);
        std::fclose(out);
        return bad;
    });
    EXPECT_EQ(failures, 0);
    const std::string message = ReadFile(messageFile);
    fs::remove(messageFile);
    EXPECT_NE(message.find("HOME is not set"), std::string::npos) << message;
    EXPECT_NE(message.find("settings and high scores are kept in memory for this run only"),
              std::string::npos)
        << message;
    EXPECT_EQ(AllFiles(), before);
}

TEST_F(PlayerFilesTest, AProgramWithoutItsDataIsToldWhereItLooked) {
    Make(dir / "bin/kelvane", "program");
    std::string message;
    EXPECT_FALSE(UseInstalledFiles((dir / "bin/kelvane").string(), message));
    EXPECT_NE(message.find((dir / "bin").string()), std::string::npos) << message;
    EXPECT_NE(message.find("--game-dir"), std::string::npos) << message;
    EXPECT_TRUE(CurrentFileLayout().singleDirectory);
}
