// Checks the game directory the asset generator fills, as the game will read it: every file the game
// names, every screen with its names and actions, every picture a screen or a translation names, every
// text translated and drawable with its language's symbol list, the font sheet's cells, every mesh
// (through the game's own mesh loader), the glass around the well, and byte-identical regeneration.
#include <gtest/gtest.h>
#include <tinyxml2.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "base/math3d.h"
#include "base/paths.h"
#include "device/image_loader.h"
#include "device/mesh.h"

namespace {
namespace fs = std::filesystem;
constexpr float Pi = 3.14159265358979f;

std::string GameDir() {
    const char* dir = std::getenv("KELVANE_GAME_DIR");
    return dir && *dir ? dir : KELVANE_GAME_DIR_DEFAULT;
}

std::string SourceDir() {
    const char* dir = std::getenv("KELVANE_SOURCE_DIR");
    return dir && *dir ? dir : KELVANE_SOURCE_DIR_DEFAULT;
}

std::string GamePath(const std::string& gamePath) {
    return GameDir() + "/" + NativePath(gamePath);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

const char* const ScreenFiles[] = {"menu-main.xml",       "menu-options.xml", "menu-selectgame.xml",
                                   "menu-highscores.xml", "menu-pause.xml",   "menu-ingame.xml",
                                   "menu-help.xml",       "menu-confirm.xml", "menu-controls.xml"};

// ---- language.ini read with the game's rules: sections and keys ignore case, values are trimmed
// and one pair of surrounding quotes is dropped.
using Section = std::map<std::string, std::string>;
std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}
std::string Trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t' || s[b - 1] == '\r')) --b;
    return s.substr(a, b - a);
}
std::map<std::string, Section> ReadLanguageFile() {
    std::map<std::string, Section> sections;
    std::istringstream lines(ReadAll(GameDir() + "/language.ini"));
    std::string raw, current;
    while (std::getline(lines, raw)) {
        const std::string line = Trim(raw);
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            current = Lower(line.substr(1, line.find(']') - 1));
            sections[current];
            continue;
        }
        const size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        std::string value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        sections[current].emplace(Lower(Trim(line.substr(0, eq))), value);
    }
    return sections;
}

bool NamesPicture(const std::string& s) {
    return s.find(".png") != std::string::npos || s.find(".tga") != std::string::npos;
}

// ---- screens
struct ScreenInfo {
    bool parsed = false;
    std::string overSound, clickSound;
    std::set<std::string> names, actions, checkable, pictures;
    std::vector<std::string> texts;
};
ScreenInfo ReadScreen(const std::string& file) {
    ScreenInfo info;
    tinyxml2::XMLDocument doc;
    if (doc.LoadFile((GameDir() + "/" + file).c_str()) != tinyxml2::XML_SUCCESS) return info;
    const tinyxml2::XMLElement* screen = doc.FirstChildElement("Screen");
    if (!screen) return info;
    info.parsed = true;
    auto attr = [](const tinyxml2::XMLElement* e, const char* name) {
        const char* v = e->Attribute(name);
        return std::string(v ? v : "");
    };
    info.overSound = attr(screen, "overSound");
    info.clickSound = attr(screen, "clickSound");
    if (!attr(screen, "bgImage").empty()) info.pictures.insert(attr(screen, "bgImage"));
    for (const char* kind : {"Button", "Text", "Image", "Slider"})
        for (auto* e = screen->FirstChildElement(kind); e; e = e->NextSiblingElement(kind)) {
            if (!attr(e, "name").empty()) info.names.insert(attr(e, "name"));
            if (!attr(e, "action").empty()) info.actions.insert(attr(e, "action"));
            if (!attr(e, "outImgChecked").empty()) info.checkable.insert(attr(e, "name"));
            if (!attr(e, "text").empty()) info.texts.push_back(attr(e, "text"));
            for (const char* p : {"outImg", "overImg", "outImgChecked", "overImgChecked", "img",
                                  "outSliderImg", "overSliderImg", "outThumbImg", "overThumbImg"})
                if (!attr(e, p).empty()) info.pictures.insert(attr(e, p));
            for (const char* coordinate : {"xc", "yc"}) {
                const float v = e->FloatAttribute(coordinate, 0.5f);
                EXPECT_TRUE(v >= 0 && v <= 1)
                    << file << " " << kind << " " << attr(e, "name") << " " << coordinate;
            }
        }
    return info;
}

// Every text the game itself draws besides the screens' own.
const std::vector<std::string> GameTexts = {
    "Loading...", "Level Up", "Game Over", "Classic Game", "Color Blocks", "Rotated Color Blocks",
    "Classic Game without Bonuses", "Color Blocks without Bonuses", "Rotated Color Blocks without Bonuses",
    "Enter your name", "Move Left", "Move Right", "Fall Faster", "Turn", "Drop", "Pause", "D-pad Up",
    "D-pad Down", "D-pad Left", "D-pad Right", "Choose an action to give it a new key or pad button.",
    "Press the new key. Escape cancels.", "Press the new pad button. Escape cancels.",
    // A damaged screen file, a save that failed.
    "is damaged.", "Press Escape to quit.", "Press Escape to go back.", "Press Escape to go on.",
    "Settings not saved", "High scores not saved", "disk full", "no permission", "read-only disk",
    "disk error", "game folder missing", "file damaged", "write error"};

TEST(GameData, EveryFileTheGameNamesExists) {
    std::vector<std::string> files = {
        "Graphics\\glass.x",      "Graphics\\bonus.x",           "Graphics\\bonus2.x",
        "Graphics\\horizgrd.bmp", "Graphics\\back_static01.bmp", "Graphics\\font01.tga",
        "language.ini",           "Graphics\\prompt.png",        "default-config.ini"};
    for (int style = 1; style <= 5; ++style)
        for (int colour = 1; colour <= 7; ++colour)
            files.push_back("Graphics\\cell_t" + std::to_string(style) + "_" + std::to_string(colour) + ".x");
    for (int i = 1; i <= 3; ++i) {
        files.push_back("Graphics\\back_up_" + std::to_string(i) + ".bmp");
        files.push_back("Graphics\\back_down_" + std::to_string(i) + ".bmp");
    }
    for (const char* screen : ScreenFiles) files.push_back(screen);
    for (const std::string& file : files) {
        std::error_code error;
        EXPECT_TRUE(fs::is_regular_file(GamePath(file), error)) << file;
        const auto size = fs::file_size(GamePath(file), error);
        EXPECT_TRUE(!error && size > 0) << file;
    }
}

TEST(GameData, BackgroundsDecodeAtTheirSizesAndTheHorizonIsBlackAtItsEdges) {
    for (int i = 1; i <= 3; ++i)
        for (const char* plane : {"up", "down"}) {
            Image image;
            std::string error;
            const std::string name =
                std::string("Graphics\\back_") + plane + "_" + std::to_string(i) + ".bmp";
            ASSERT_TRUE(LoadImageFile(GamePath(name), image, error)) << name << ": " << error;
            EXPECT_EQ(image.width, 256);
            EXPECT_EQ(image.height, 256);
            // Seamless when tiled: opposite edges differ little.
            double step = 0;
            for (int y = 0; y < image.height; ++y)
                for (int c = 0; c < 3; ++c)
                    step += std::abs(image.rgba[(y * image.width) * 4 + c] -
                                     image.rgba[(y * image.width + image.width - 1) * 4 + c]);
            EXPECT_LT(step / (image.height * 3), 12.0) << name;
        }
    Image glow, still;
    std::string error;
    ASSERT_TRUE(LoadImageFile(GamePath("Graphics\\horizgrd.bmp"), glow, error));
    for (int c = 0; c < 3; ++c) {
        EXPECT_LE(glow.rgba[c], 2);  // top-left corner adds nothing
        EXPECT_GT(glow.rgba[((glow.height / 2) * glow.width + glow.width / 2) * 4 + c],
                  60);  // the middle glows
    }
    ASSERT_TRUE(LoadImageFile(GamePath("Graphics\\back_static01.bmp"), still, error));
    EXPECT_EQ(still.width, 800);
    EXPECT_EQ(still.height, 600);
}

TEST(GameData, ScreensHaveTheNamesAndActionsTheGameUses) {
    const std::map<std::string, std::vector<std::string>> actions = {
        {"menu-main.xml", {"procNewGame", "procHelp", "procOptions", "procHighScores", "procExit"}},
        {"menu-options.xml",
         {"procSoundMode", "procMusicMode", "procFullScreenMode", "procDynamicBack", "procBlocksType",
          "procEffectsVolume", "procMusicVolume", "procLanguage", "procControls", "procClose"}},
        {"menu-selectgame.xml",
         {"procStart1", "procStart2", "procStart3", "procStart4", "procStart5", "procStart6", "procClose"}},
        {"menu-highscores.xml", {"procClear", "procClose", "procPrevious", "procNext"}},
        {"menu-pause.xml", {"procResume", "procHelp", "procEnd"}},
        {"menu-ingame.xml", {"procPause"}},
        {"menu-help.xml", {"procClose"}},
        {"menu-confirm.xml", {"procYes", "procNo"}},
        {"menu-controls.xml",
         {"procBindKeyLeft", "procBindKeyRight", "procBindKeyDown", "procBindKeyTurn", "procBindKeyDrop",
          "procBindKeyPause", "procBindPadLeft", "procBindPadRight", "procBindPadDown", "procBindPadTurn",
          "procBindPadDrop", "procBindPadPause", "procDelayShorter", "procDelayLonger", "procIntervalShorter",
          "procIntervalLonger", "procDefaults", "procClose"}}};
    const std::map<std::string, std::vector<std::string>> names = {
        {"menu-highscores.xml", {"txtGameType"}},
        {"menu-ingame.xml", {"txtLevelNum", "txtTimeNum", "txtScoreNum", "txtLineNum"}},
        {"menu-help.xml", {"txtControlsAction", "txtControlsKey", "txtControlsPad"}},
        {"menu-options.xml", {"txtBlocksType", "txtLanguage", "sldMusicVolume", "sldEffectsVolume"}},
        {"menu-controls.xml",
         {"btnKeyLeft", "btnKeyRight", "btnKeyDown", "btnKeyTurn", "btnKeyDrop", "btnKeyPause", "btnPadLeft",
          "btnPadRight", "btnPadDown", "btnPadTurn", "btnPadDrop", "btnPadPause", "txtRepeatDelay",
          "txtRepeatInterval", "txtHint"}}};
    for (const char* file : ScreenFiles) {
        const ScreenInfo screen = ReadScreen(file);
        ASSERT_TRUE(screen.parsed) << file;
        EXPECT_EQ(screen.overSound, "Sound\\over.ogg") << file;
        EXPECT_EQ(screen.clickSound, "Sound\\click.ogg") << file;
        for (const std::string& action : actions.at(file))
            EXPECT_TRUE(screen.actions.count(action)) << file << " " << action;
        if (names.count(file)) {
            for (const std::string& name : names.at(file))
                EXPECT_TRUE(screen.names.count(name)) << file << " " << name;
        }
    }
    const ScreenInfo options = ReadScreen("menu-options.xml");
    for (const char* box : {"btnSound", "btnMusic", "btnFullScreen", "btnDynamicBack"})
        EXPECT_TRUE(options.checkable.count(box)) << box;
    const ScreenInfo ingame = ReadScreen("menu-ingame.xml");
    for (const char* label : {"Level", "Time", "Score", "Lines", "Next"})
        EXPECT_NE(std::find(ingame.texts.begin(), ingame.texts.end(), label), ingame.texts.end()) << label;
}

TEST(GameData, HudValuesStandBesideTheWellNotOnIt) {
    tinyxml2::XMLDocument doc;
    ASSERT_EQ(doc.LoadFile((GameDir() + "/menu-ingame.xml").c_str()), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement* screen = doc.FirstChildElement("Screen");
    ASSERT_NE(screen, nullptr);
    // The well with its frame covers about x 0.28..0.72 on screen.
    for (auto* e = screen->FirstChildElement("Text"); e; e = e->NextSiblingElement("Text")) {
        const float x = e->FloatAttribute("xc");
        EXPECT_TRUE(x < 0.27f || x > 0.73f) << e->Attribute("name");
    }
}

TEST(GameData, EveryPictureNamedByAScreenOrATranslationLoads) {
    std::set<std::string> pictures;
    for (const char* file : ScreenFiles) {
        const ScreenInfo screen = ReadScreen(file);
        pictures.insert(screen.pictures.begin(), screen.pictures.end());
    }
    bool someTranslationIsAPicture = false;
    for (const auto& [name, section] : ReadLanguageFile())
        for (const auto& [key, value] : section)
            if (NamesPicture(value) || value.find(".bmp") != std::string::npos) {
                pictures.insert(value);
                someTranslationIsAPicture = someTranslationIsAPicture || NamesPicture(value);
            }
    EXPECT_TRUE(someTranslationIsAPicture);
    EXPECT_GT(pictures.size(), 10u);
    for (const std::string& picture : pictures) {
        Image image;
        std::string error;
        EXPECT_TRUE(LoadImageFile(GamePath(picture), image, error)) << picture << ": " << error;
    }
}

TEST(GameData, EveryTextIsTranslatedAndDrawableInEveryLanguage) {
    const auto sections = ReadLanguageFile();
    ASSERT_TRUE(sections.count("english"));
    ASSERT_TRUE(sections.count("german"));
    std::vector<std::string> texts = GameTexts;
    for (const char* file : ScreenFiles) {
        const ScreenInfo screen = ReadScreen(file);
        texts.insert(texts.end(), screen.texts.begin(), screen.texts.end());
    }
    for (const auto& [name, section] : sections) {
        ASSERT_TRUE(section.count("symbollist")) << name;
        const std::string symbols = section.at("symbollist");
        EXPECT_LE(symbols.size(), 128u) << name;
        EXPECT_EQ(std::set<char>(symbols.begin(), symbols.end()).size(), symbols.size())
            << name << ": a symbol twice";
        auto drawable = [&](const std::string& text) {
            for (char c : text)
                if (symbols.find(c) == std::string::npos) return false;
            return true;
        };
        for (const std::string& text : texts) {
            const auto it = section.find(Lower(text));
            if (name != "english") {
                EXPECT_NE(it, section.end()) << "[" << name << "] has no '" << text << "'";
            }
            const std::string shown = (it == section.end() || it->second.empty()) ? text : it->second;
            if (!NamesPicture(shown) && text != "Loading...") {
                EXPECT_TRUE(drawable(shown)) << "[" << name << "] " << shown;
            }
        }
        for (const auto& [key, value] : section)
            if (key != "symbollist" && !NamesPicture(value) && value.find(".bmp") == std::string::npos) {
                EXPECT_TRUE(drawable(value)) << "[" << name << "] " << value;
            }
        // What the game formats itself: numbers, play time, the frame rate line, typed names.
        EXPECT_TRUE(drawable("FPS: 0123456789:_ ABCXYZabcxyz"));
        EXPECT_TRUE(drawable("menu-selectgame.xml menu-highscores.xml"));
    }
}

TEST(GameData, FontSheetCellsKeepTheirGlyphsInsideTheDrawnPart) {
    const auto sections = ReadLanguageFile();
    ASSERT_TRUE(sections.count("english"));
    const Section& english = sections.at("english");
    Image font;
    std::string error;
    ASSERT_TRUE(LoadImageFile(GamePath("Graphics\\font01.tga"), font, error)) << error;
    ASSERT_EQ(font.width % 16, 0);
    ASSERT_EQ(font.height % 8, 0);
    const int cw = font.width / 16, ch = font.height / 8;
    std::vector<float> widths;
    for (int row = 1; row <= 8; ++row) {
        const std::string key = "line0" + std::to_string(row) + "_width";
        ASSERT_TRUE(english.count(key)) << key;
        std::istringstream parts(english.at(key));
        std::string piece;
        int count = 0;
        while (std::getline(parts, piece, ',')) {
            char* end = nullptr;
            const float w = std::strtof(piece.c_str(), &end);
            EXPECT_NE(end, piece.c_str()) << key << " '" << piece << "'";
            widths.push_back(w);
            ++count;
        }
        EXPECT_EQ(count, 16) << key;
    }
    const std::string symbols = english.at("symbollist");
    auto alpha = [&](int x, int y) { return font.rgba[(static_cast<size_t>(y) * font.width + x) * 4 + 3]; };
    for (size_t cell = 0; cell < 128; ++cell) {
        const int x0 = static_cast<int>(cell % 16) * cw, y0 = static_cast<int>(cell / 16) * ch;
        int ink = 0, outside = 0;
        for (int y = 0; y < ch; ++y)
            for (int x = 0; x < cw; ++x) {
                const uint8_t a = alpha(x0 + x, y0 + y);
                if (a > 200) ++ink;
                if (a > 8 && (y < std::ceil(0.08f * ch) || x >= std::floor(0.94f * cw))) ++outside;
            }
        EXPECT_EQ(outside, 0) << "cell " << cell << " draws where text drawing cuts the cell";
        if (cell < symbols.size() && symbols[cell] != ' ') {
            EXPECT_GT(ink, 20) << "cell " << cell << " is empty";
        }
        if (cell < symbols.size()) {
            EXPECT_GT(widths[cell], 1.0f) << "cell " << cell;
        }
    }
    // Proportional: a wide letter advances more than a narrow one.
    const size_t w = symbols.find('W'), i = symbols.find('i');
    ASSERT_NE(w, std::string::npos);
    ASSERT_NE(i, std::string::npos);
    EXPECT_GT(widths[w], 1.8f * widths[i]);
}

// ---- .x files: a structural reading of the text form, independent of the game's loader.
struct XCounts {
    bool ok = false;
    size_t vertices = 0, faces = 0, normals = 0, coords = 0, materialFaces = 0, materials = 0;
};
XCounts ReadXStructure(const std::string& text) {
    XCounts counts;
    if (text.rfind("xof 0302txt 0032", 0) != 0) return counts;
    auto countAfter = [&](const std::string& block, size_t& at) -> long {
        at = text.find(block, at);
        if (at == std::string::npos) return -1;
        at = text.find('{', at);
        return at == std::string::npos ? -1 : std::strtol(text.c_str() + at + 1, nullptr, 10);
    };
    size_t at = 0;
    const long vertices = countAfter("Mesh ", at);
    if (vertices <= 0) return counts;
    // The face count follows the vertex list; every face index must name a vertex.
    size_t listEnd = text.find(";;", at);
    if (listEnd == std::string::npos) return counts;
    const long faces = std::strtol(text.c_str() + listEnd + 2, nullptr, 10);
    size_t normalsAt = at;
    const long normals = countAfter("MeshNormals", normalsAt);
    size_t coordsAt = at;
    const long coords = countAfter("MeshTextureCoords", coordsAt);
    size_t listAt = at;
    const long materials = countAfter("MeshMaterialList", listAt);
    const long materialFaces = std::strtol(text.c_str() + text.find(';', listAt) + 1, nullptr, 10);
    size_t materialBlocks = 0;
    for (size_t p = text.find("Material {", listAt); p != std::string::npos;
         p = text.find("Material {", p + 1))
        ++materialBlocks;
    counts = {true,
              static_cast<size_t>(vertices),
              static_cast<size_t>(faces),
              static_cast<size_t>(normals),
              static_cast<size_t>(coords),
              static_cast<size_t>(materialFaces),
              static_cast<size_t>(materials)};
    counts.ok = materialBlocks == counts.materials;
    return counts;
}

std::vector<std::string> MeshFiles() {
    std::vector<std::string> files = {"glass.x", "bonus.x", "bonus2.x"};
    for (int style = 1; style <= 5; ++style)
        for (int colour = 1; colour <= 7; ++colour)
            files.push_back("cell_t" + std::to_string(style) + "_" + std::to_string(colour) + ".x");
    return files;
}

TEST(GameData, EveryMeshIsWellFormedAndLoadsThroughTheGame) {
    for (const std::string& file : MeshFiles()) {
        const std::string path = GamePath("Graphics\\" + file);
        const XCounts counts = ReadXStructure(ReadAll(path));
        ASSERT_TRUE(counts.ok) << file;
        EXPECT_EQ(counts.normals, counts.vertices) << file;
        EXPECT_EQ(counts.coords, counts.vertices) << file;
        EXPECT_EQ(counts.materialFaces, counts.faces) << file;
        EXPECT_LE(counts.faces, 400u) << file << ": cells are drawn hundreds of times a frame";
        const auto mesh = Mesh::LoadFromFile(path);
        ASSERT_NE(mesh, nullptr) << file;
        size_t triangles = 0;
        for (const MeshSubset& subset : mesh->Subsets()) {
            triangles += subset.indices.size() / 3;
            for (uint32_t index : subset.indices) ASSERT_LT(index, subset.vertices.size()) << file;
        }
        EXPECT_EQ(triangles, counts.faces) << file;
    }
}

// Cells: centred on the origin, inside one unit with a gap, every triangle facing outwards: its
// corners clockwise seen from outside, so the plain cross product points away from the centre.
TEST(GameData, CellMeshesFitACellAndFaceOutwards) {
    std::set<std::string> textures;
    for (const std::string& file : MeshFiles()) {
        if (file.rfind("cell_", 0) != 0) continue;
        const auto mesh = Mesh::LoadFromFile(GamePath("Graphics\\" + file));
        ASSERT_NE(mesh, nullptr) << file;
        Vector3 lo{9, 9, 9}, hi{-9, -9, -9};
        for (const MeshSubset& subset : mesh->Subsets()) {
            if (!subset.material.textureFile.empty()) textures.insert(subset.material.textureFile);
            EXPECT_EQ(subset.material.diffuse.a, 1.0f) << file;
            for (size_t t = 0; t + 2 < subset.indices.size(); t += 3) {
                const MeshVertex& a = subset.vertices[subset.indices[t]];
                const MeshVertex& b = subset.vertices[subset.indices[t + 1]];
                const MeshVertex& c = subset.vertices[subset.indices[t + 2]];
                const Vector3 pa{a.x, a.y, a.z}, pb{b.x, b.y, b.z}, pc{c.x, c.y, c.z};
                const Vector3 n = Cross(Subtract(pb, pa), Subtract(pc, pa));
                const Vector3 centroid{(a.x + b.x + c.x) / 3, (a.y + b.y + c.y) / 3, (a.z + b.z + c.z) / 3};
                EXPECT_GT(Dot(n, centroid), 0.0f) << file << " triangle " << t / 3;
                EXPECT_GT(Dot(Vector3{a.nx, a.ny, a.nz}, centroid), 0.0f) << file << " normal";
            }
            for (const MeshVertex& v : subset.vertices) {
                lo = {std::min(lo.x, v.x), std::min(lo.y, v.y), std::min(lo.z, v.z)};
                hi = {std::max(hi.x, v.x), std::max(hi.y, v.y), std::max(hi.z, v.z)};
            }
        }
        EXPECT_NEAR(lo.x + hi.x, 0, 1e-3) << file;
        EXPECT_NEAR(lo.y + hi.y, 0, 1e-3) << file;
        EXPECT_GT(hi.x - lo.x, 0.9f) << file;
        EXPECT_LT(hi.x - lo.x, 0.97f) << file;
        EXPECT_GT(hi.y - lo.y, 0.9f) << file;
        EXPECT_LT(hi.y - lo.y, 0.97f) << file;
    }
    EXPECT_EQ(textures.size(), 7u) << "style 5 has an emblem texture per colour";
    for (const std::string& texture : textures) {
        Image image;
        std::string error;
        EXPECT_TRUE(LoadImageFile(GamePath("Graphics\\" + texture), image, error)) << texture;
    }
}

// A cell is a closed surface: every edge of every triangle is shared with exactly one other triangle,
// which runs along it the other way. An edge used once is a hole the background shows through.
TEST(GameData, CellMeshesAreClosedSurfaces) {
    using Corner = std::array<long, 3>;
    auto corner = [](const MeshVertex& v) {
        return Corner{std::lround(v.x * 1e4f), std::lround(v.y * 1e4f), std::lround(v.z * 1e4f)};
    };
    int checked = 0;
    for (const std::string& file : MeshFiles()) {
        if (file.rfind("cell_", 0) != 0) continue;
        SCOPED_TRACE(file);
        const auto mesh = Mesh::LoadFromFile(GamePath("Graphics\\" + file));
        ASSERT_NE(mesh, nullptr);
        std::map<std::pair<Corner, Corner>, int> directed;
        for (const MeshSubset& subset : mesh->Subsets())
            for (size_t t = 0; t + 2 < subset.indices.size(); t += 3) {
                const Corner c[3] = {corner(subset.vertices[subset.indices[t]]),
                                     corner(subset.vertices[subset.indices[t + 1]]),
                                     corner(subset.vertices[subset.indices[t + 2]])};
                ASSERT_TRUE(c[0] != c[1] && c[1] != c[2] && c[2] != c[0]) << "degenerate triangle " << t / 3;
                for (int k = 0; k < 3; ++k) ++directed[{c[k], c[(k + 1) % 3]}];
            }
        int open = 0, overused = 0;
        for (const auto& [edge, count] : directed) {
            const auto back = directed.find({edge.second, edge.first});
            const int reverse = back == directed.end() ? 0 : back->second;
            open += count == 1 && reverse == 0;
            overused += count > 1 || reverse > 1;
        }
        EXPECT_EQ(open, 0) << "edges with a triangle on one side only";
        EXPECT_EQ(overused, 0) << "edges shared by more than two triangles, or two facing the same way";
        ++checked;
    }
    EXPECT_EQ(checked, 35);
}

Matrix GlassWorld() {
    return MatrixRotationX(-Pi / 2) * MatrixRotationY(Pi) * MatrixTranslation(0, -0.5f, 22);
}

TEST(GameData, GlassEnclosesTheCellsUnderItsDrawTransform) {
    const auto mesh = Mesh::LoadFromFile(GamePath("Graphics\\glass.x"));
    ASSERT_NE(mesh, nullptr);
    const Matrix world = GlassWorld();
    bool leftWall = false, rightWall = false, floor = false, backPanel = false;
    for (const MeshSubset& subset : mesh->Subsets()) {
        const bool blended = subset.material.diffuse.a < 1;
        for (size_t t = 0; t + 2 < subset.indices.size(); t += 3) {
            Vector3 p[3];
            for (int k = 0; k < 3; ++k) {
                const MeshVertex& v = subset.vertices[subset.indices[t + k]];
                const Vector4 w = TransformPoint({v.x, v.y, v.z}, world);
                p[k] = {w.x, w.y, w.z};
                // Nothing reaches into the volume the cells occupy.
                const bool inside = w.x > -5.999f && w.x < 5.999f && w.y > -9.999f && w.y < 9.999f &&
                                    w.z > 21.5f && w.z < 22.5f;
                EXPECT_FALSE(inside) << "vertex at " << w.x << ", " << w.y << ", " << w.z;
            }
            const Vector3 n = Cross(Subtract(p[1], p[0]), Subtract(p[2], p[0]));
            const float minY = std::min({p[0].y, p[1].y, p[2].y}), maxY = std::max({p[0].y, p[1].y, p[2].y});
            const float minZ = std::min({p[0].z, p[1].z, p[2].z}), maxZ = std::max({p[0].z, p[1].z, p[2].z});
            auto allX = [&](float x) {
                return std::fabs(p[0].x - x) < 1e-3f && std::fabs(p[1].x - x) < 1e-3f &&
                       std::fabs(p[2].x - x) < 1e-3f;
            };
            auto allY = [&](float y) {
                return std::fabs(p[0].y - y) < 1e-3f && std::fabs(p[1].y - y) < 1e-3f &&
                       std::fabs(p[2].y - y) < 1e-3f;
            };
            // Inner faces of the walls face the cells and span the whole height and depth of the well.
            if (allX(-6) && n.x > 0 && minY <= -10 && maxY >= 10 && minZ <= 21.5f && maxZ >= 22.5f)
                leftWall = true;
            if (allX(6) && n.x < 0 && minY <= -10 && maxY >= 10 && minZ <= 21.5f && maxZ >= 22.5f)
                rightWall = true;
            if (allY(-10) && n.y > 0) floor = true;
            if (blended) {
                EXPECT_LT(n.z, 0) << "glass faces the camera";
                EXPECT_GT(minZ, 22.5f);
                EXPECT_LT(maxZ, 22.8f);
                if (std::min({p[0].x, p[1].x, p[2].x}) <= -5.99f ||
                    std::max({p[0].x, p[1].x, p[2].x}) >= 5.99f)
                    backPanel = true;
            }
        }
    }
    EXPECT_TRUE(leftWall);
    EXPECT_TRUE(rightWall);
    EXPECT_TRUE(floor);
    EXPECT_TRUE(backPanel);
}

TEST(GameData, BonusItemsAreAboutACellAndStandUpright) {
    for (const char* file : {"bonus.x", "bonus2.x"}) {
        const auto mesh = Mesh::LoadFromFile(GamePath(std::string("Graphics\\") + file));
        ASSERT_NE(mesh, nullptr) << file;
        Vector3 lo{9, 9, 9}, hi{-9, -9, -9};
        float emissive = 0;
        for (const MeshSubset& subset : mesh->Subsets()) {
            emissive = std::max({emissive, subset.material.emissive.r, subset.material.emissive.g});
            for (const MeshVertex& v : subset.vertices) {
                const Vector4 w = TransformPoint({v.x, v.y, v.z}, MatrixRotationX(-Pi / 2));
                lo = {std::min(lo.x, w.x), std::min(lo.y, w.y), std::min(lo.z, w.z)};
                hi = {std::max(hi.x, w.x), std::max(hi.y, w.y), std::max(hi.z, w.z)};
            }
        }
        EXPECT_GT(hi.y - lo.y, 0.7f) << file;
        EXPECT_LT(hi.y - lo.y, 1.2f) << file;
        EXPECT_GT(hi.x - lo.x, 0.6f) << file;
        EXPECT_LT(hi.x - lo.x, 1.2f) << file;
        EXPECT_LT(hi.z - lo.z, hi.y - lo.y) << file << ": drawn standing, its face towards the camera";
        EXPECT_GT(emissive, 0.1f) << file;
    }
}

// The program's icon in the desktop's icon-theme layout: every size a desktop asks for and a scalable
// picture, all one design. Each size is compared with the largest one scaled down to it, and the
// scalable picture's cells with the colours the largest one shows at their places.
TEST(GameData, IconsShowOneDesignAtEverySize) {
    const std::string theme = GameDir() + "/icons/hicolor/";
    auto load = [](const std::string& path) {
        Image image;
        std::string error;
        EXPECT_TRUE(LoadImageFile(path, image, error)) << path << ": " << error;
        return image;
    };
    auto at = [](const Image& image, int x, int y) {
        return &image.rgba[(static_cast<size_t>(y) * static_cast<size_t>(image.width) +
                            static_cast<size_t>(x)) *
                           4];
    };
    const Image largest = load(theme + "256x256/apps/kelvane.png");
    ASSERT_EQ(largest.width, 256);
    for (int size : {16, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        const Image icon =
            load(theme + std::to_string(size) + "x" + std::to_string(size) + "/apps/kelvane.png");
        ASSERT_EQ(icon.width, size);
        ASSERT_EQ(icon.height, size);
        EXPECT_EQ(at(icon, 0, 0)[3], 0) << "rounded corners are see-through";
        EXPECT_EQ(at(icon, size / 2, size / 2)[3], 255);
        // The largest one averaged down to this size: the mean of its pixels whose centres fall in each
        // pixel of this one, colours weighted by their cover.
        double difference = 0;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                double sum[4] = {0, 0, 0, 0};
                int count = 0;
                for (int sy = y * 256 / size; sy < (y + 1) * 256 / size; ++sy)
                    for (int sx = x * 256 / size; sx < (x + 1) * 256 / size; ++sx, ++count) {
                        const uint8_t* p = at(largest, sx, sy);
                        for (int k = 0; k < 3; ++k) sum[k] += p[k] * p[3] / 255.0;
                        sum[3] += p[3];
                    }
                const uint8_t* q = at(icon, x, y);
                for (int k = 0; k < 4; ++k) {
                    const double own = k < 3 ? q[k] * q[3] / 255.0 : q[3];
                    difference += std::fabs(own - sum[k] / count);
                }
            }
        const double meanDifference = difference / (size * size * 4);
        std::printf("icon %3d px: mean difference from the largest one scaled down %.1f / 255\n", size,
                    meanDifference);
        EXPECT_LT(meanDifference, size <= 16 ? 12 : 6);
    }
    Image sixtyFour = load(theme + "64x64/apps/kelvane.png"),
          inGraphics = load(GamePath("Graphics\\icon.png"));
    EXPECT_EQ(sixtyFour.rgba, inGraphics.rgba);

    tinyxml2::XMLDocument svg;
    ASSERT_EQ(svg.LoadFile((theme + "scalable/apps/kelvane.svg").c_str()), tinyxml2::XML_SUCCESS);
    const tinyxml2::XMLElement* root = svg.FirstChildElement("svg");
    ASSERT_NE(root, nullptr);
    ASSERT_STREQ(root->Attribute("viewBox"), "0 0 16 16");
    int cells = 0;
    for (const tinyxml2::XMLElement* rect = root->FirstChildElement("rect"); rect;
         rect = rect->NextSiblingElement("rect")) {
        const std::string fill = rect->Attribute("fill") ? rect->Attribute("fill") : "";
        if (fill.rfind("url(#cell", 0) != 0) continue;
        ++cells;
        // The cell's colour is named in its gradient; the middle of the cell is lit to three quarters.
        const unsigned long colour = std::stoul(fill.substr(9, 6), nullptr, 16);
        const float scale = 256.0f / 16;
        const int x =
            static_cast<int>((rect->FloatAttribute("x") + rect->FloatAttribute("width") / 2) * scale);
        const int y =
            static_cast<int>((rect->FloatAttribute("y") + rect->FloatAttribute("height") / 2) * scale);
        const uint8_t* p = at(largest, x, y);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(p[k], 0.75 * ((colour >> (16 - 8 * k)) & 0xFF), 6) << fill << " at " << x << "," << y;
    }
    EXPECT_EQ(cells, 5) << "a T piece and one falling cell";
}

TEST(GameData, RegeneratingGivesTheSameBytes) {
    const fs::path again = fs::temp_directory_path() / ("kelvane-assets-" + std::to_string(::getpid()));
    fs::remove_all(again);
    const std::string command = std::string("\"") + KELVANE_ASSETGEN + "\" \"" + again.string() + "\" \"" +
                                SourceDir() + "/data\" > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    size_t compared = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again)) {
        if (!entry.is_regular_file()) continue;
        const fs::path relative = fs::relative(entry.path(), again);
        if (*relative.begin() == "Sound") continue;  // the sound group checks its own files
        EXPECT_EQ(ReadAll(entry.path().string()), ReadAll((fs::path(GameDir()) / relative).string()))
            << relative;
        ++compared;
    }
    EXPECT_GT(compared, 60u);
    fs::remove_all(again);
}
}  // namespace

// The options screen shows each language by its own name, and a first run finds it by its code.
TEST(GameData, EveryLanguageNamesItselfAndHasItsOwnCode) {
    std::set<std::string> codes, names;
    for (const auto& [section, keys] : ReadLanguageFile()) {
        ASSERT_TRUE(keys.count("languagename") && keys.count("languagecode")) << section;
        EXPECT_FALSE(keys.at("languagename").empty()) << section;
        EXPECT_EQ(keys.at("languagecode").size(), 2u) << section;
        codes.insert(keys.at("languagecode"));
        names.insert(keys.at("languagename"));
    }
    EXPECT_EQ(codes.size(), ReadLanguageFile().size());
    EXPECT_EQ(names.size(), ReadLanguageFile().size());
    EXPECT_TRUE(codes.count("en") && codes.count("de"));
}
