#include "app/settings.h"

#include "persist/config.h"
#include "persist/log.h"

namespace {
const char* const OptionsSection = "OPTIONS";
}

namespace {
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
    return WriteConfigString(OptionsSection, name, value);
}

std::string Settings::Read(const std::string& section, const std::string& key) {
    std::string value;
    ReadConfigString(section, key, value);
    return value;
}

bool Settings::StoreIn(const std::string& section, const std::string& key, const std::string& value) {
    return WriteConfigString(section, key, value);
}
