#include "app/settings.h"

#include "persist/config.h"
#include "persist/log.h"
#include "persist/save_report.h"

namespace {
const char* const OptionsSection = "OPTIONS";
}

bool Settings::ReadOptionInt(const std::string& name, int& value) {
    return ReadConfigInt(OptionsSection, name, value);
}

bool Settings::ReadOptionFloat(const std::string& name, float& value) {
    return ReadConfigFloat(OptionsSection, name, value);
}

bool Settings::Store(const std::string& name, const std::string& value) {
    // A widget name from a damaged screen file may not fit an INI line: it can never be stored, and
    // must not hold up the values behind it.
    if (!IniCanWrite(OptionsSection, name, value)) {
        WriteLog("Settings: the option '" + name + "' cannot be stored under that name", LogWarning);
        return false;
    }
    unsaved[name] = value;
    FileWriteError error;
    bool saved = true;
    for (auto it = unsaved.begin(); it != unsaved.end();) {
        if (!WriteConfigString(OptionsSection, it->first, it->second, &error)) {
            saved = false;
            break;  // what stopped this value stops the others too: they wait for the next store
        }
        it = unsaved.erase(it);
    }
    ReportSave(SavedFile::Settings, GameFilePath("config.ini"), saved, error);
    return !unsaved.contains(name);
}
