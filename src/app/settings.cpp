#include "app/settings.h"

#include "persist/config.h"

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
    return WriteConfigString(OptionsSection, name, value);
}
