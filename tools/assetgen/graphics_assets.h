// The graphics side of the asset generator: what its parts share. The font sheet and its metrics
// (font.cpp), lettering for the menu pictures, the Windows-1252 conversion of the game's texts, and
// the writers of each group (meshes.cpp, pictures.cpp, menu_art.cpp, text_assets.cpp, preview.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "assetgen.h"
#include "raster.h"
#include "xfile.h"

class TrueTypeFont;

// The one font every picture with lettering uses (a DejaVu face from the system's font package).
constexpr const char* LetteringFontPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
const TrueTypeFont* LetteringFont();  // nullptr when the font file cannot be read

// The bitmap font: 128 cells in 16 columns by 8 rows, a cell per character of the symbol list.
constexpr int FontColumns = 16, FontRows = 8, FontCellPixels = 64;
struct FontSheet {
    Canvas image;                          // 1024 x 512, white glyphs with a dark outline, alpha
    std::vector<uint32_t> codepoints;      // the character of each used cell, in cell order
    std::array<float, 128> widths16 = {};  // advance of each cell in sixteenths of the drawn cell width
    bool ok = false;
};
FontSheet BuildFontSheet();
// The characters of the font in cell order, as Unicode code points.
const std::vector<uint32_t>& FontCharacters();

// Lettering: a single line of text as a coverage mask (white, alpha = coverage) with a margin
// around it, the baseline at baselineY.
Canvas TextMask(const std::u32string& text, float pixelHeight, int margin, int* baselineY = nullptr);

// UTF-8 to code points; false on a malformed sequence.
bool DecodeUtf8(const std::string& utf8, std::u32string& out);
// Code point to its Windows-1252 byte; -1 when the code page has none.
int Cp1252Byte(uint32_t codepoint);

// Every mesh of the game, built in memory (the file name as the game finds it and its content).
struct NamedMesh {
    std::string fileName;
    XMesh mesh;
};
std::vector<NamedMesh> BuildAllMeshes();

// Every picture the generator writes, by game path ("Graphics\back_up_1.bmp"), in the order written.
struct NamedPicture {
    std::string gamePath;
    Canvas image;
};
std::vector<NamedPicture> BuildScenePictures();  // backgrounds, horizon strip, mesh textures
std::vector<NamedPicture> BuildMenuPictures();   // logo, panels, buttons, check boxes, arrows, splash

// The program's icon, one design at every size: a picture of size x size pixels, and the scalable
// picture (SVG) of the same shapes.
constexpr int IconSizes[] = {16, 32, 48, 64, 128, 256};
Canvas RenderIcon(int size);
std::string IconSvg();

// A mesh as a picture with a transparent background, size x size pixels, lit as the game lights the
// bonus items and turned by `turn` radians about its upright axis.
Canvas RenderMeshPicture(const XMesh& mesh, float turn, int size);

// Writes a picture by the extension of its game path (.bmp, .tga or .png) below the game directory.
bool WritePicture(const std::string& gameDir, const NamedPicture& picture);
std::string JoinGamePath(const std::string& gameDir, const std::string& gamePath);

// Contact sheets and a software-rendered look at the meshes in the game's camera and light.
bool WritePreviews(const AssetContext& context, const FontSheet& font, const std::vector<NamedPicture>& scene,
                   const std::vector<NamedPicture>& menu, const std::vector<NamedMesh>& meshes);
