// The player's settings (config.ini), the language file (language.ini) and checksummed binary values
// (the high-score block in scores.ini), read and written key by key. Every call locates its file anew
// through the file layout (base/paths.h): in the single game directory (the current directory, so a
// change of directory before start makes the game use the files there), or for an installed game in
// the player's directories and the install's data directory. Settings are written the moment they
// change. The language name is read once at start by the shell and held here for Translate.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "persist/ini.h"

// The path of one of the game's files, located anew under the file layout in use; "" when the file has
// no place this run (no home directory, or a current directory that is gone): reading it then finds
// nothing and writing it fails, so nothing is ever written to "/".
std::string GameFilePath(const std::string& fileName);

// config.ini [section] key. False, with value "", when the value is missing or empty. A config.ini
// that cannot be read or holds damaged lines is logged once, with the reason.
bool ReadConfigString(const std::string& section, const std::string& key, std::string& value);
// False when the value could not be written (error says why); the game goes on with the value it holds.
bool WriteConfigString(const std::string& section, const std::string& key, const std::string& value,
                       FileWriteError* error = nullptr);

// The value converted as the C library converts decimal numbers (leading blanks, sign, fraction,
// exponent; conversion stops at the first character that does not fit, so "3abc" is 3 and a word is 0).
// ReadConfigInt truncates toward zero ("4.9" is 4). False, with value unchanged, when the key is
// missing or empty, or the number is not finite (nan, inf, 1e999): callers keep their defaults.
bool ReadConfigFloat(const std::string& section, const std::string& key, float& value);
bool ReadConfigInt(const std::string& section, const std::string& key, int& value);

// Binary values as text: two upper-case hex digits per byte in memory order, then two digits of
// checksum (the byte sum modulo 256).
std::string EncodeStructure(const void* data, size_t size);
// True, with buffer filled, only when text holds exactly size bytes with the right checksum;
// otherwise the buffer is unchanged.
bool DecodeStructure(const std::string& text, void* buffer, size_t size);

// [section] key of fileName (for instance "scores.ini") in the structure encoding.
bool ReadStructure(const std::string& section, const std::string& key, void* buffer, size_t size,
                   const std::string& fileName);
bool WriteStructure(const std::string& section, const std::string& key, const void* buffer, size_t size,
                    const std::string& fileName, FileWriteError* error = nullptr);

// The language whose section of language.ini Translate reads; set by the shell at start.
void SetLanguageName(const std::string& name);
const std::string& LanguageName();

// The languages of language.ini, in file order: each section with its own name for itself (the
// section's "LanguageName", "Deutsch") and its code ("LanguageCode", "de").
struct LanguageInfo {
    std::string section, ownName, code;
};
std::vector<LanguageInfo> AvailableLanguages();
// Section names compare as the INI files compare them: without regard to letter case.
bool SameLanguageName(const std::string& a, const std::string& b);

// The language the environment asks for, as one of `languages`: as gettext reads it, the messages'
// locale is LC_ALL, else LC_MESSAGES, else LANG ("de_DE.UTF-8" asks for "de"), and LANGUAGE's list
// ("fr:de") comes before it unless the locale is C or POSIX. "ENGLISH" when nothing asked for is
// among the languages. lookup answers a variable's value (nullptr when unset).
std::string LanguageFromEnvironment(const std::function<const char*(const char*)>& lookup,
                                    const std::vector<LanguageInfo>& languages);

// Start-up: the language from config.ini [LANGUAGE] Name; when it is missing or empty, the one the
// environment asks for (else "ENGLISH"), written back so the player can see and change it (a failed
// write is reported as a failed save). The result
// is also made LanguageName().
std::string LoadLanguageName();

// The translation of a text from language.ini, section LanguageName(); "" when there is none (callers
// then show the text itself). An empty language name is logged on every call and the lookup goes on;
// a language.ini that cannot be read or holds damaged lines is logged once, with the reason.
std::string Translate(const std::string& key);

// Why language.ini gives nothing for the current language: the file is missing, cannot be read (the
// reason), or has no such key in the section LanguageName() ("" when the key is there).
std::string LanguageFileProblem(const std::string& key = "SymbolList");
