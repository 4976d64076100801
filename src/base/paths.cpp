#include "base/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/notices.h"

#ifndef KELVANE_DATA_FROM_PROGRAM
#define KELVANE_DATA_FROM_PROGRAM "../share/kelvane"
#endif
const char* const DataDirectoryFromProgram = KELVANE_DATA_FROM_PROGRAM;

namespace {

// Every install and every build tree of the game has this file; a directory without it is not the
// game's data directory.
const char* const DataMarkerFile = "menu-main.xml";

FileLayout& Layout() {
    static FileLayout layout;
    return layout;
}

bool IsRegularFile(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsAbsolute(const char* path) {
    return path && path[0] == '/';
}

std::string Join(const std::string& directory, const std::string& name) {
    return directory.empty() ? std::string() : directory + "/" + name;
}

// Creates the directory and its missing parents with mode 0700, as the player's own directories are
// made. A failure is told once per run; the files in it then cannot be written.
void MakeDirectories(const std::string& directory) {
    struct stat st {};
    if (directory.empty() || ::stat(directory.c_str(), &st) == 0) return;
    for (size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string part = directory.substr(0, slash);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            ReportPlatformNotice("cannot create the directory " + part + " (" + std::strerror(errno) +
                                 "); the game's files there are kept for this run only");
            return;
        }
        if (slash == std::string::npos) return;
    }
}

enum class FileRole { Asset, Config, Scores, Log };

FileRole RoleOf(const std::string& nativeName) {
    if (nativeName == "config.ini") return FileRole::Config;
    if (nativeName == "scores.ini") return FileRole::Scores;
    if (nativeName == "app.log") return FileRole::Log;
    return FileRole::Asset;
}

// The directories assets are read from, the first that holds a file of the name winning. "" in the
// single-directory layout stands for the current directory.
std::vector<std::string> AssetDirectories() {
    const FileLayout& layout = Layout();
    if (layout.singleDirectory) return {layout.gameDirectory};
    std::vector<std::string> directories;
    if (!layout.playerDataDirectory.empty()) directories.push_back(layout.playerDataDirectory);
    directories.push_back(layout.installDataDirectory);
    return directories;
}

}  // namespace

std::string NativePath(const std::string& gamePath) {
    std::string path = gamePath;
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

PlayerDirectories PlayerDirectoriesFrom(const char* home, const char* configHome, const char* dataHome,
                                        const char* stateHome) {
    auto directory = [home](const char* xdgValue, const char* underHome) {
        if (IsAbsolute(xdgValue)) return std::string(xdgValue) + "/kelvane";
        if (IsAbsolute(home)) return std::string(home) + underHome + "/kelvane";
        return std::string();
    };
    return {directory(configHome, "/.config"), directory(dataHome, "/.local/share"),
            directory(stateHome, "/.local/state")};
}

PlayerDirectories PlayerDirectoriesFromEnvironment() {
    return PlayerDirectoriesFrom(std::getenv("HOME"), std::getenv("XDG_CONFIG_HOME"),
                                 std::getenv("XDG_DATA_HOME"), std::getenv("XDG_STATE_HOME"));
}

FileLayout SingleDirectoryLayout(const std::string& directory) {
    FileLayout layout;
    if (!directory.empty()) {
        std::error_code error;
        const std::filesystem::path absolute = std::filesystem::absolute(directory, error);
        layout.gameDirectory = error ? directory : absolute.lexically_normal().string();
        while (layout.gameDirectory.size() > 1 && layout.gameDirectory.back() == '/')
            layout.gameDirectory.pop_back();
    }
    return layout;
}

FileLayout InstalledLayout(const std::string& installDataDirectory, const PlayerDirectories& player) {
    FileLayout layout;
    layout.singleDirectory = false;
    layout.installDataDirectory = installDataDirectory;
    layout.playerDataDirectory = player.data;
    layout.configDirectory = player.config;
    layout.stateDirectory = player.state;
    return layout;
}

void UseFileLayout(const FileLayout& layout) {
    Layout() = layout;
}

const FileLayout& CurrentFileLayout() {
    return Layout();
}

std::string LocateGameFile(const std::string& gameName) {
    std::string name = NativePath(gameName);
    if (!name.empty() && name[0] == '/') return name;
    const FileLayout& layout = Layout();
    if (layout.singleDirectory) {
        if (!layout.gameDirectory.empty()) return Join(layout.gameDirectory, name);
        // The current directory: assets by their relative name, the player's files by the directory's
        // name now (so the log stays where it was opened).
        return RoleOf(name) == FileRole::Asset ? name : Join(CurrentDirectory(), name);
    }
    std::string playerDirectory;
    switch (RoleOf(name)) {
        case FileRole::Config:
            playerDirectory = layout.configDirectory;
            break;
        case FileRole::Scores:
            playerDirectory = layout.playerDataDirectory;
            break;
        case FileRole::Log:
            playerDirectory = layout.stateDirectory;
            break;
        case FileRole::Asset: {
            const std::vector<std::string> directories = AssetDirectories();
            for (size_t i = 0; i + 1 < directories.size(); ++i) {
                std::string path = Join(directories[i], name);
                if (IsRegularFile(path)) return path;
            }
            return Join(directories.back(), name);
        }
    }
    MakeDirectories(playerDirectory);
    return Join(playerDirectory, name);
}

std::string InstallDataDirectoryFor(const std::string& programPath) {
    const size_t slash = programPath.rfind('/');
    if (slash == std::string::npos) return "";
    const std::string programDirectory = programPath.substr(0, std::max<size_t>(slash, 1));
    for (const std::string& candidate :
         {programDirectory + "/" + DataDirectoryFromProgram, programDirectory}) {
        if (!IsRegularFile(candidate + "/" + DataMarkerFile)) continue;
        return std::filesystem::path(candidate).lexically_normal().string();
    }
    return "";
}

std::string ProgramPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : path.string();
}

bool CopyFileDurably(const std::string& from, const std::string& to) {
    std::FILE* in = OpenRegularFile(from);
    if (!in) return false;
    const std::string temp = to + ".part";
    std::FILE* out = OpenOutputFile(temp);
    if (!out) {
        std::fclose(in);
        return false;
    }
    char buffer[65536];
    bool ok = true;
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, in)) > 0) {
        if (std::fwrite(buffer, 1, n, out) != n) {
            ok = false;
            break;
        }
    }
    ok = ok && !std::ferror(in);
    std::fclose(in);
    ok = std::fflush(out) == 0 && ::fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    ok = ok && std::rename(temp.c_str(), to.c_str()) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}

std::FILE* OpenRegularFile(const std::string& nativePath) {
    // Opening without blocking returns at once even for a pipe; the flag is dropped again for the reads.
    const int fd = ::open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        ::close(fd);
        errno = 0;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "rb");
    if (!file) ::close(fd);
    return file;
}

std::FILE* OpenOutputFile(const std::string& nativePath) {
    const int fd = ::open(nativePath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        ::close(fd);
        errno = error;
    }
    return file;
}

std::string CurrentDirectory() {
    std::error_code error;
    std::filesystem::path dir = std::filesystem::current_path(error);
    return error ? std::string() : dir.string();
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    // Iterative match with one backtrack point for the latest '*': linear in practice, never recursive.
    size_t p = 0, n = 0, starP = std::string::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

namespace {
std::vector<std::string> ListNames(const std::string& gamePattern, bool regularFilesOnly) {
    const std::string pattern = NativePath(gamePattern);
    const size_t slash = pattern.rfind('/');
    const std::string subdirectory = slash == std::string::npos ? "" : pattern.substr(0, slash);
    const std::string namePattern = slash == std::string::npos ? pattern : pattern.substr(slash + 1);

    std::vector<std::string> names;
    for (const std::string& root : AssetDirectories()) {
        std::string dir;
        if (slash == std::string::npos) {
            dir = root.empty() ? "." : root;
        } else if (root.empty() || pattern[0] == '/') {
            dir = subdirectory.empty() ? "/" : subdirectory;
        } else {
            dir = root + "/" + subdirectory;
        }
        std::error_code error;
        for (std::filesystem::directory_iterator it(dir, error), end; !error && it != end;
             it.increment(error)) {
            std::error_code typeError;
            if (regularFilesOnly && !it->is_regular_file(typeError)) continue;
            std::string name = it->path().filename().string();
            if (WildcardMatch(namePattern, name)) names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}
}  // namespace

std::vector<std::string> ListFiles(const std::string& gamePattern) {
    return ListNames(gamePattern, true);
}

std::vector<std::string> ListEntries(const std::string& gamePattern) {
    return ListNames(gamePattern, false);
}
