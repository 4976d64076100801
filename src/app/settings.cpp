#include "app/settings.h"

#include "persist/config.h"
#include "persist/log.h"
#include "persist/save_report.h"

namespace {
const char* const OptionsSection = "OPTIONS";

void ReportNotANumber(const std::string& name, const std::string& text) {
    WriteLog("config.ini [OPTIONS] " + name + "=" + text + " is not a number; the default is used",
             LogTimeStamp | LogWarning);
}
}  // namespace

bool Settings::ReadOptionInt(const std::string& name, int& value) {
    if (ReadConfigInt(OptionsSection, name, value)) return true;
    const std::string text = Read(OptionsSection, name);
    if (!text.empty()) ReportNotANumber(name, text);
    return false;
}

bool Settings::ReadOptionFloat(const std::string& name, float& value) {
    if (ReadConfigFloat(OptionsSection, name, value)) return true;
    const std::string text = Read(OptionsSection, name);
    if (!text.empty()) ReportNotANumber(name, text);
    return false;
}

bool Settings::Store(const std::string& name, const std::string& value) {
    return StoreIn(OptionsSection, name, value);
}

std::string Settings::Read(const std::string& section, const std::string& key) {
    const auto waiting = unsaved.find({section, key});
    if (waiting != unsaved.end()) return waiting->second;
    std::string value;
    ReadConfigString(section, key, value);
    return value;
}

bool Settings::StoreIn(const std::string& section, const std::string& key, const std::string& value) {
    // A widget name from a damaged screen file may not fit an INI line: it can never be stored, and
    // must not hold up the values behind it.
    if (!IniCanWrite(section, key, value)) {
        WriteLog("Settings: the option '" + key + "' cannot be stored under that name", LogWarning);
        return false;
    }
    unsaved[{section, key}] = value;
    FileWriteError error;
    bool saved = true;
    for (auto it = unsaved.begin(); it != unsaved.end();) {
        if (!WriteConfigString(it->first.first, it->first.second, it->second, &error)) {
            saved = false;
            break;  // what stopped this value stops the others too: they wait for the next store
        }
        it = unsaved.erase(it);
    }
    ReportSave(SavedFile::Settings, GameFilePath("config.ini"), saved, error);
    return !unsaved.contains({section, key});
}
