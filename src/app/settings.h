// The player's settings: config.ini, read key by key and written the moment a value changes. The
// shell's own options (the block style), the screens' check boxes and sliders ([OPTIONS]), the controls
// ([CONTROLS]) and the language ([LANGUAGE]) are all stored through here. A stored value that is not a
// number where one is wanted is logged when it is read, and the default is used. A value that could not
// be written is kept and written again with the next value stored, and every outcome is reported
// (persist/save_report.h: logged and shown on screen).
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

    // Any section: the value ("" when it is missing; a value still waiting to be written wins), and the
    // write, which also writes every earlier value still waiting.
    std::string Read(const std::string& section, const std::string& key);
    bool StoreIn(const std::string& section, const std::string& key, const std::string& value);

private:
    // Values not written yet, by section and key.
    std::map<std::pair<std::string, std::string>, std::string> unsaved;
};
