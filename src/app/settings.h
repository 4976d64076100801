// The player's settings: config.ini [OPTIONS], read key by key and written the moment a value changes.
// The shell's own options (the block style) and the screens' check boxes and sliders are all stored
// through here. A value that could not be written is kept and written again with the next value
// stored, and every outcome is reported (persist/save_report.h: logged and shown on screen).
#pragma once

#include <map>
#include <string>

#include "ui/screen.h"

class Settings : public ScreenOptionStore {
public:
    bool ReadOptionInt(const std::string& name, int& value) override;
    bool ReadOptionFloat(const std::string& name, float& value) override;
    void StoreOption(const std::string& name, const std::string& value) override { Store(name, value); }

    // Writes one [OPTIONS] value, and every earlier one that is still unsaved; false when this value
    // could not be written (the game goes on with the value it holds).
    bool Store(const std::string& name, const std::string& value);
    // Values not written yet, by name.
    const std::map<std::string, std::string>& Unsaved() const { return unsaved; }

private:
    std::map<std::string, std::string> unsaved;
};
