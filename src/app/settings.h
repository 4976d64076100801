// The player's settings: config.ini [OPTIONS], read key by key and written the moment a value changes.
// The shell's own options (the block style) and the screens' check boxes and sliders are all stored
// through here.
#pragma once

#include <string>

#include "ui/screen.h"

class Settings : public ScreenOptionStore {
public:
    bool ReadOptionInt(const std::string& name, int& value) override;
    bool ReadOptionFloat(const std::string& name, float& value) override;
    void StoreOption(const std::string& name, const std::string& value) override { Store(name, value); }

    // Writes one [OPTIONS] value; false when config.ini could not be written (the game goes on with
    // the value it holds).
    bool Store(const std::string& name, const std::string& value);
};
