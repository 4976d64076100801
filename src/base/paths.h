// Paths and files as the game names them. The game writes paths with Windows separators
// ("Graphics\font01.tga", "Sound\music_1.mid") relative to the working directory; these helpers turn
// them into native paths and answer the few file-system questions the game asks. No SDL here: every
// subsystem may use this module.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// "Graphics\font01.tga" -> "Graphics/font01.tga". Every file the game opens goes through this.
std::string NativePath(const std::string& gamePath);

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
// in the last component only), in byte order of their names, so every machine lists them alike.
std::vector<std::string> ListFiles(const std::string& gamePattern);

// True when the wildcard pattern ('*' any run, '?' one character) matches the whole name.
bool WildcardMatch(const std::string& pattern, const std::string& name);
