#include "persist/player_files.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

#include "base/paths.h"
#include "persist/log.h"

namespace fs = std::filesystem;

namespace {

bool IsRegularFile(const fs::path& path) {
    std::error_code error;
    return fs::symlink_status(path, error).type() == fs::file_type::regular;
}

bool SameDirectory(const std::string& a, const std::string& b) {
    std::error_code error;
    return fs::equivalent(a, b, error) && !error;
}

std::string JoinWords(const std::vector<std::string>& words) {
    std::string text;
    for (size_t i = 0; i < words.size(); ++i) {
        if (i > 0) text += i + 1 == words.size() ? " and " : ", ";
        text += words[i];
    }
    return text;
}

// Whether the old launcher copied a file of this name into the game directory's top level.
bool IsCopiedTopLevelAsset(const std::string& name) {
    return name == "language.ini" ||
           (name.rfind("menu-", 0) == 0 && name.size() > 9 && name.compare(name.size() - 4, 4, ".xml") == 0);
}

// Removes what the old launcher copied into oldDirectory: the files of its Graphics and Sound folders
// and its top-level menu-*.xml and language.ini, wherever the install holds a file of the same name
// (the launcher overwrote each of them on every start, so none is the player's own work). Folders the
// copies leave empty go too. Returns how many files were removed.
int RemoveOldAssetCopies(const std::string& oldDirectory, const std::string& installDirectory) {
    const fs::path install(installDirectory);
    const fs::path old(oldDirectory);
    int removed = 0;
    std::error_code error;
    for (fs::directory_iterator it(install, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        std::error_code typeError;
        if (it->is_regular_file(typeError) && IsCopiedTopLevelAsset(name) && IsRegularFile(old / name)) {
            removed += fs::remove(old / name, typeError) ? 1 : 0;
        }
    }
    for (const char* folder : {"Graphics", "Sound"}) {
        std::vector<fs::path> folders;
        for (fs::recursive_directory_iterator it(install / folder, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code typeError;
            const fs::path relative = it->path().lexically_relative(install);
            if (it->is_directory(typeError)) {
                folders.push_back(old / relative);
            } else if (it->is_regular_file(typeError) && IsRegularFile(old / relative)) {
                removed += fs::remove(old / relative, typeError) ? 1 : 0;
            }
        }
        // Deepest first; fs::remove leaves a folder that still holds something.
        folders.push_back(old / folder);
        for (auto it = folders.rbegin(); it != folders.rend(); ++it) {
            std::error_code removeError;
            if (fs::is_directory(*it, removeError) && fs::is_empty(*it, removeError))
                fs::remove(*it, removeError);
        }
    }
    return removed;
}

}  // namespace

void MoveOldPlayerFiles(const std::string& oldDirectory) {
    if (oldDirectory.empty()) return;
    bool configMoved = false;
    for (const char* name : {"config.ini", "scores.ini"}) {
        const std::string from = oldDirectory + "/" + name;
        const std::string to = LocateGameFile(name);
        if (to.empty() || to == from || !IsRegularFile(from)) continue;
        struct stat st {};
        if (::lstat(to.c_str(), &st) == 0) continue;  // already in its new place: the old one is not read
        if (!CopyFileDurably(from, to)) {
            WriteLog(std::string("Could not move '") + from + "' to '" + to +
                         "'; it stays where it is and is " + "tried again at the next start",
                     LogTimeStamp | LogWarning);
            continue;
        }
        std::remove(from.c_str());
        WriteLog(std::string("Moved '") + from + "' to '" + to + "'", LogTimeStamp);
        if (std::string(name) == "config.ini") configMoved = true;
    }
    const std::string& install = CurrentFileLayout().installDataDirectory;
    if (!configMoved || install.empty() || SameDirectory(install, oldDirectory)) return;
    const int removed = RemoveOldAssetCopies(oldDirectory, install);
    if (removed > 0) {
        WriteLog("Removed " + std::to_string(removed) + " copies of the game's assets from '" + oldDirectory +
                     "' that an earlier version had made; the game reads them from '" + install + "'",
                 LogTimeStamp);
    }
}

void GiveNewPlayerDefaultSettings() {
    const std::string settings = LocateGameFile("config.ini");
    const std::string defaults = LocateGameFile("default-config.ini");
    struct stat st {};
    if (settings.empty() || ::lstat(settings.c_str(), &st) == 0 || ::stat(defaults.c_str(), &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return;
    }
    if (CopyFileDurably(defaults, settings)) {
        WriteLog("New player: the default settings are copied to '" + settings + "'", LogTimeStamp);
    } else {
        WriteLog("New player: the default settings could not be copied to '" + settings + "'",
                 LogTimeStamp | LogWarning);
    }
}

bool UseInstalledFiles(const std::string& programPath, std::string& message) {
    message.clear();
    const std::string data = InstallDataDirectoryFor(programPath);
    if (data.empty()) {
        const std::string programDirectory = fs::path(programPath).parent_path().string();
        message = "cannot find the game's data (menu-main.xml, Graphics, Sound) in " + programDirectory +
                  "/" + DataDirectoryFromProgram + " nor beside the program in " + programDirectory +
                  "; start it with --game-dir DIR to use a directory that holds them";
        return false;
    }
    const PlayerDirectories player = PlayerDirectoriesFromEnvironment();
    UseFileLayout(InstalledLayout(data, player));

    // Without a place for them, the player's files live in memory for this run and nothing is written
    // anywhere else (least of all into "/").
    std::vector<std::string> unset, kept;
    if (player.config.empty()) {
        unset.push_back("XDG_CONFIG_HOME");
        kept.push_back("settings");
    }
    if (player.data.empty()) {
        unset.push_back("XDG_DATA_HOME");
        kept.push_back("high scores");
    }
    if (player.state.empty()) unset.push_back("XDG_STATE_HOME");
    if (!unset.empty()) {
        const char* home = std::getenv("HOME");
        message = std::string(home && *home ? "HOME is not an absolute path" : "HOME is not set") + " and " +
                  JoinWords(unset) + (unset.size() == 1 ? " is" : " are") + " not set either: ";
        if (!kept.empty()) message += JoinWords(kept) + " are kept in memory for this run only";
        if (player.state.empty()) message += kept.empty() ? "no log is written" : ", and no log is written";
        WriteLog(message, LogTimeStamp | LogWarning);
    }
    MoveOldPlayerFiles(player.data);
    return true;
}
