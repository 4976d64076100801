// Paths and files as the game names them. The game writes paths with Windows separators
// ("Graphics\font01.tga", "Sound\music_1.mid", "config.ini"); these helpers turn them into native
// paths, find where each file lives (see FileLayout) and answer the few file-system questions the game
// asks. No SDL here: every subsystem may use this module.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// "Graphics\font01.tga" -> "Graphics/font01.tga": the separators only, the place is LocateGameFile's.
std::string NativePath(const std::string& gamePath);

// Where the game's files are. The game names its files as it always has; the layout in use maps each
// name to a place:
//  - one game directory holds every file (the default, headless runs and --game-dir): the directory
//    given, or the current directory looked up anew on every access (assets then keep their relative
//    names);
//  - an installed game keeps config.ini in the player's config directory, scores.ini in the player's
//    data directory and app.log in the player's state directory, and reads every other file (the
//    assets) from the player's data directory when it holds one of that name, else from the install's
//    data directory. Nothing is copied. A player directory that is "" (no HOME and no XDG variable to
//    name it) keeps its files nowhere: they read as missing and are never written.
struct FileLayout {
    bool singleDirectory = true;
    std::string gameDirectory;  // single directory: "" = the current directory
    std::string installDataDirectory;
    std::string playerDataDirectory;
    std::string configDirectory;
    std::string stateDirectory;
};

// The player's own directories for the game, from $XDG_CONFIG_HOME, $XDG_DATA_HOME and $XDG_STATE_HOME
// (each taken only when it is an absolute path) or else from $HOME (~/.config, ~/.local/share,
// ~/.local/state), each followed by "/kelvane"; "" where neither names one.
struct PlayerDirectories {
    std::string config, data, state;
};
PlayerDirectories PlayerDirectoriesFrom(const char* home, const char* configHome, const char* dataHome,
                                        const char* stateHome);
PlayerDirectories PlayerDirectoriesFromEnvironment();

// One directory for every file ("" = the current directory at each access; else made absolute now).
FileLayout SingleDirectoryLayout(const std::string& directory);
FileLayout InstalledLayout(const std::string& installDataDirectory, const PlayerDirectories& player);

// The layout for the rest of the run (the default is the current directory for every file).
void UseFileLayout(const FileLayout& layout);
const FileLayout& CurrentFileLayout();

// The path of a file the game names, under the current layout, located anew on every call; "" when the
// file has no place (its directory is unknown: no home, or a current directory that is gone), which
// callers treat as a missing file that cannot be written. An absolute name is its own path. The player's
// directory of config.ini, scores.ini or app.log is created (mode 0700) when it is missing.
std::string LocateGameFile(const std::string& gameName);

// The install's data directory of a program at programPath: <prefix>/share/kelvane beside an installed
// <prefix>/bin/kelvane, or the program's own directory in a build tree; "" when neither holds the
// game's files.
std::string InstallDataDirectoryFor(const std::string& programPath);
// Where the install's data directory lies relative to the installed program's directory.
extern const char* const DataDirectoryFromProgram;
// The running program's own path (from /proc/self/exe), "" if it cannot be read.
std::string ProgramPath();

// Copies a regular file byte for byte to a new name: the copy is written beside its final name, synced
// and renamed into place, so `to` is either complete or untouched. False when anything failed.
bool CopyFileDurably(const std::string& from, const std::string& to);

// Opens a regular file for reading ("rb"); nullptr for a missing file and for anything else found
// under the name (a directory, a named pipe, a device), without waiting on it: a pipe with no writer
// would otherwise hold the game at its first read for ever.
// errno tells why the open failed, and is 0 when something other than a regular file stands there.
std::FILE* OpenRegularFile(const std::string& nativePath);

// Opens a file for writing ("wb", created or emptied) without waiting on it: a named pipe with no
// reader fails at once (ENXIO) instead of holding the run. nullptr with errno set on failure.
std::FILE* OpenOutputFile(const std::string& nativePath);

// The process's current directory, without a trailing separator ("" if it cannot be read).
std::string CurrentDirectory();

// Bare names of the regular files matching a wildcard pattern such as "Graphics\*.x" ('*' and '?'
// in the last component only), in byte order of their names, so every machine lists them alike. An
// installed game lists the install's files and the player's own together, each name once.
std::vector<std::string> ListFiles(const std::string& gamePattern);
// The same for every kind of entry (folders, pipes, links to devices too), for a caller that tells
// the player about a name it cannot use.
std::vector<std::string> ListEntries(const std::string& gamePattern);

// True when the wildcard pattern ('*' any run, '?' one character) matches the whole name.
bool WildcardMatch(const std::string& pattern, const std::string& name);
