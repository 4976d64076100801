#include "persist/config.h"

#include <locale.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>

#include "base/paths.h"
#include "persist/ini.h"
#include "persist/log.h"
#include "persist/save_report.h"

namespace {

std::string& LanguageNameStorage() {
    static std::string name;
    return name;
}

// Numbers in the files are written the same everywhere: the conversion ignores the process locale.
double ToDouble(const std::string& text) {
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    return cLocale ? strtod_l(text.c_str(), nullptr, cLocale) : std::strtod(text.c_str(), nullptr);
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

}  // namespace

std::string GameFilePath(const std::string& fileName) {
    return LocateGameFile(fileName);
}

namespace {

void LogReadProblem(const std::string& path, const std::string& consequence) {
    // The last problem logged per file: a file read on every frame is reported once, and again only
    // when what is wrong with it changes.
    static std::map<std::string, std::string> logged;
    const std::string problem = IniReadProblem(path);
    auto found = logged.find(path);
    if (problem.empty()) {
        if (found != logged.end()) logged.erase(found);
        return;
    }
    if (found != logged.end() && found->second == problem) return;
    logged[path] = problem;
    WriteLog("'" + path + "': " + problem + "; " + consequence, LogTimeStamp | LogWarning);
}

}  // namespace

bool ReadConfigString(const std::string& section, const std::string& key, std::string& value) {
    const std::string path = GameFilePath("config.ini");
    IniReadString(path, section, key, value);
    LogReadProblem(path, "what it does not hold is taken from the defaults");
    return !value.empty();
}

bool WriteConfigString(const std::string& section, const std::string& key, const std::string& value,
                       FileWriteError* error) {
    return IniWriteString(GameFilePath("config.ini"), section, key, value, error);
}

bool ReadConfigFloat(const std::string& section, const std::string& key, float& value) {
    std::string text;
    if (!ReadConfigString(section, key, text)) return false;
    double number = ToDouble(text);
    if (!std::isfinite(number) || std::fabs(number) > std::numeric_limits<float>::max()) return false;
    value = static_cast<float>(number);
    return true;
}

bool ReadConfigInt(const std::string& section, const std::string& key, int& value) {
    std::string text;
    if (!ReadConfigString(section, key, text)) return false;
    double number = std::trunc(ToDouble(text));
    if (!std::isfinite(number) || number < std::numeric_limits<int>::min() ||
        number > std::numeric_limits<int>::max()) {
        return false;
    }
    value = static_cast<int>(number);
    return true;
}

std::string EncodeStructure(const void* data, size_t size) {
    static const char digits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::string text;
    text.reserve(size * 2 + 2);
    unsigned sum = 0;
    for (size_t i = 0; i < size; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
        sum += bytes[i];
    }
    text += digits[(sum >> 4) & 15];
    text += digits[sum & 15];
    return text;
}

bool DecodeStructure(const std::string& text, void* buffer, size_t size) {
    if (size > (std::numeric_limits<size_t>::max() - 2) / 2 || text.size() != size * 2 + 2) return false;
    std::string decoded(size, '\0');
    unsigned sum = 0;
    for (size_t i = 0; i <= size; ++i) {
        int high = HexDigit(text[i * 2]), low = HexDigit(text[i * 2 + 1]);
        if (high < 0 || low < 0) return false;
        unsigned byte = static_cast<unsigned>(high * 16 + low);
        if (i == size) {
            if (byte != (sum & 255)) return false;
        } else {
            decoded[i] = static_cast<char>(byte);
            sum += byte;
        }
    }
    if (size > 0) std::memcpy(buffer, decoded.data(), size);
    return true;
}

bool ReadStructure(const std::string& section, const std::string& key, void* buffer, size_t size,
                   const std::string& fileName) {
    std::string text;
    // One character more than a valid value, so a longer one is seen as too long, not cut to fit.
    if (!IniReadString(GameFilePath(fileName), section, key, text, size * 2 + 3)) return false;
    return DecodeStructure(text, buffer, size);
}

bool WriteStructure(const std::string& section, const std::string& key, const void* buffer, size_t size,
                    const std::string& fileName, FileWriteError* error) {
    return IniWriteString(GameFilePath(fileName), section, key, EncodeStructure(buffer, size), error);
}

void SetLanguageName(const std::string& name) {
    LanguageNameStorage() = name;
}

const std::string& LanguageName() {
    return LanguageNameStorage();
}

std::vector<LanguageInfo> AvailableLanguages() {
    const std::string path = GameFilePath("language.ini");
    std::vector<LanguageInfo> languages;
    for (const std::string& section : IniReadSectionNames(path)) {
        LanguageInfo language{section, "", ""};
        IniReadString(path, section, "LanguageName", language.ownName);
        IniReadString(path, section, "LanguageCode", language.code);
        languages.push_back(language);
    }
    return languages;
}

bool SameLanguageName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string LanguageFromEnvironment(const std::function<const char*(const char*)>& lookup,
                                    const std::vector<LanguageInfo>& languages) {
    auto value = [&](const char* name) {
        const char* text = lookup(name);
        return std::string(text ? text : "");
    };
    std::string locale = value("LC_ALL");
    if (locale.empty()) locale = value("LC_MESSAGES");
    if (locale.empty()) locale = value("LANG");
    std::vector<std::string> wanted;
    if (!locale.empty() && locale != "C" && locale != "POSIX" && locale.rfind("C.", 0) != 0) {
        const std::string list = value("LANGUAGE");
        for (size_t start = 0; start <= list.size();) {
            const size_t end = std::min(list.find(':', start), list.size());
            if (end > start) wanted.push_back(list.substr(start, end - start));
            start = end + 1;
        }
        wanted.push_back(locale);
    }
    for (const std::string& entry : wanted) {
        // "de_AT.UTF-8@euro" asks for "de".
        std::string code = entry.substr(0, entry.find_first_of("_.@"));
        for (char& c : code) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        for (const LanguageInfo& language : languages)
            if (!code.empty() && SameLanguageName(language.code, code)) return language.section;
    }
    return "ENGLISH";
}

std::string LoadLanguageName() {
    std::string name;
    if (!ReadConfigString("LANGUAGE", "Name", name)) {
        name = LanguageFromEnvironment([](const char* variable) { return std::getenv(variable); },
                                       AvailableLanguages());
        FileWriteError error;
        const bool saved = WriteConfigString("LANGUAGE", "Name", name, &error);
        ReportSave(SavedFile::Settings, GameFilePath("config.ini"), saved, error);
    }
    SetLanguageName(name);
    return name;
}

std::string Translate(const std::string& key) {
    const std::string path = GameFilePath("language.ini");
    const std::string& language = LanguageName();
    if (language.empty()) WriteLog("Warning: language not defined in 'config.ini'", LogTimeStamp);
    std::string value;
    IniReadString(path, language, key, value);
    LogReadProblem(path, "what it does not hold is shown untranslated");
    return value;
}

std::string LanguageFileProblem(const std::string& key) {
    const std::string path = GameFilePath("language.ini");
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return "the file is missing";
    std::string value;
    if (IniReadString(path, LanguageName(), key, value)) return "";
    std::string problem = IniReadProblem(path);
    if (!problem.empty()) return problem;
    return "no " + key + " in its section [" + LanguageName() + "]";
}
