// The "text" group: the bitmap font sheet, the screen files, language.ini and the default config.ini. The
// translations are hand-written in data/language.utf8.ini (UTF-8); here they are checked against the font,
// converted to Windows-1252 and joined with the font's symbol list and glyph widths in every language
// section.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "graphics_assets.h"

namespace {
const char* const ScreenFiles[] = {"menu-main.xml",       "menu-options.xml", "menu-selectgame.xml",
                                   "menu-highscores.xml", "menu-pause.xml",   "menu-ingame.xml",
                                   "menu-help.xml",       "menu-confirm.xml", "menu-controls.xml"};
constexpr const char* LanguageSource = "language.utf8.ini";
constexpr const char* DefaultSettings = "default-config.ini";
constexpr size_t MaxIniValue = 254;  // the game reads values up to this many bytes

bool ReadFile(const std::string& path, std::string& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream text;
    text << in.rdbuf();
    out = text.str();
    return true;
}

std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}

bool NamesPicture(const std::string& value) {
    return value.find(".png") != std::string::npos || value.find(".tga") != std::string::npos ||
           value.find(".bmp") != std::string::npos;
}

struct LanguageSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries;  // UTF-8, in file order
};

bool Fail(const std::string& where, int line, const std::string& what) {
    std::fprintf(stderr, "assetgen: %s:%d: %s\n", where.c_str(), line, what.c_str());
    return false;
}

bool ParseLanguageSource(const std::string& path, std::vector<LanguageSection>& sections) {
    std::string text;
    if (!ReadFile(path, text)) return Fail(path, 0, "cannot read");
    std::istringstream lines(text);
    std::string raw;
    int number = 0;
    while (std::getline(lines, raw)) {
        ++number;
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3) return Fail(path, number, "bad section line");
            sections.push_back({line.substr(1, line.size() - 2), {}});
            continue;
        }
        const size_t equals = line.find('=');
        if (equals == std::string::npos || equals == 0) return Fail(path, number, "expected key=value");
        if (sections.empty()) return Fail(path, number, "entry before the first section");
        std::string key = Trim(line.substr(0, equals)), value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        for (const auto& entry : sections.back().entries)
            if (entry.first == key) return Fail(path, number, "duplicate key '" + key + "'");
        sections.back().entries.emplace_back(key, value);
    }
    if (sections.empty() || sections.front().name != "ENGLISH")
        return Fail(path, 0, "the first section must be ENGLISH");
    return true;
}

// UTF-8 to Windows-1252 bytes, every character checked against the font unless the text names a picture.
bool Encode(const std::string& utf8, bool checkFont, std::string& out, std::string& problem) {
    std::u32string codepoints;
    if (!DecodeUtf8(utf8, codepoints)) {
        problem = "not UTF-8";
        return false;
    }
    out.clear();
    for (char32_t c : codepoints) {
        const int byte = Cp1252Byte(c);
        if (byte < 0 || byte < 0x20) {
            problem = "character U+" + std::to_string(static_cast<uint32_t>(c)) + " has no Windows-1252 byte";
            return false;
        }
        bool inFont = false;
        for (uint32_t f : FontCharacters()) inFont = inFont || f == c;
        if (checkFont && !inFont) {
            problem = "character U+" + std::to_string(static_cast<uint32_t>(c)) + " is not in the font";
            return false;
        }
        out.push_back(static_cast<char>(byte));
    }
    if (out.size() > MaxIniValue) {
        problem = "longer than the game reads";
        return false;
    }
    return true;
}

std::string WidthText(float sixteenths) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.2f", static_cast<double>(sixteenths));
    std::string s = buffer;
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
    return s;
}

// The INI reader trims blanks and drops one pair of surrounding quotes: quote values that need it.
std::string IniValue(const std::string& value) {
    const bool needsQuotes =
        !value.empty() && (value.front() == ' ' || value.back() == ' ' || value.front() == '"');
    return needsQuotes ? "\"" + value + "\"" : value;
}

std::string FontKeys(const FontSheet& font) {
    std::string symbols;
    for (uint32_t c : font.codepoints) symbols.push_back(static_cast<char>(Cp1252Byte(c)));
    std::string out = "SymbolList=\"" + symbols + "\"\r\n";
    for (int row = 0; row < FontRows; ++row) {
        out += "Line0" + std::to_string(row + 1) + "_Width=";
        for (int column = 0; column < FontColumns; ++column) {
            const size_t cell = static_cast<size_t>(row) * FontColumns + column;
            out +=
                (column ? "," : "") + WidthText(cell < font.codepoints.size() ? font.widths16[cell] : 0.0f);
        }
        out += "\r\n";
    }
    return out;
}

bool WriteLanguageFile(const AssetContext& context, const FontSheet& font) {
    const std::string sourcePath = context.dataDir + "/" + LanguageSource;
    std::vector<LanguageSection> sections;
    if (!ParseLanguageSource(sourcePath, sections)) return false;
    std::string out =
        "; Kelvane 3.0 texts: one section per language (config.ini [LANGUAGE] Name picks one).\r\n"
        "; Key = the text as the game holds it, value = the text shown, or a picture drawn instead.\r\n"
        "; SymbolList and Line01_Width..Line08_Width describe Graphics\\font01.tga. Windows-1252.\r\n";
    const LanguageSection& english = sections.front();
    for (const LanguageSection& section : sections) {
        for (const auto& [key, value] : english.entries) {
            bool found = false;
            for (const auto& entry : section.entries) found = found || entry.first == key;
            if (!found)
                return Fail(sourcePath, 0, "[" + section.name + "] has no translation of '" + key + "'");
        }
        out += "\r\n[" + section.name + "]\r\n" + FontKeys(font);
        for (const auto& [key, value] : section.entries) {
            std::string keyBytes, valueBytes, problem;
            if (key[0] == ';' || key[0] == '[' || key.find('=') != std::string::npos)
                return Fail(sourcePath, 0, "key '" + key + "' cannot be written to an INI file");
            if (!Encode(key, true, keyBytes, problem))
                return Fail(sourcePath, 0, "key '" + key + "': " + problem);
            if (!Encode(value, !NamesPicture(value), valueBytes, problem))
                return Fail(sourcePath, 0, "[" + section.name + "] '" + key + "': " + problem);
            out += keyBytes + "=" + IniValue(valueBytes) + "\r\n";
        }
    }
    return WriteText(context.gameDir + "/language.ini", out);
}

bool CopyScreens(const AssetContext& context) {
    bool ok = true;
    for (const char* name : ScreenFiles) {
        std::string text;
        if (!ReadFile(context.dataDir + "/" + name, text)) {
            std::fprintf(stderr, "assetgen: missing screen file %s/%s\n", context.dataDir.c_str(), name);
            ok = false;
            continue;
        }
        ok = WriteText(context.gameDir + "/" + name, text) && ok;
    }
    return ok;
}

// The settings a new player starts with; the game copies them to a new player's config.ini.
bool CopyDefaultSettings(const AssetContext& context) {
    std::string text;
    if (!ReadFile(context.dataDir + "/" + DefaultSettings, text)) {
        std::fprintf(stderr, "assetgen: missing %s/%s\n", context.dataDir.c_str(), DefaultSettings);
        return false;
    }
    return WriteText(context.gameDir + "/" + DefaultSettings, text);
}

bool WriteTextAssets(const AssetContext& context) {
    const FontSheet font = BuildFontSheet();
    if (!font.ok) return false;
    bool ok = WriteTga32(context.gameDir + "/Graphics/font01.tga", font.image);
    ok = CopyScreens(context) && ok;
    ok = CopyDefaultSettings(context) && ok;
    ok = WriteLanguageFile(context, font) && ok;
    return ok;
}

AssetGroup textGroup("text", WriteTextAssets);
}  // namespace
