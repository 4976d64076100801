// The bitmap font: all text of the game is drawn from one texture of 16 x 8 glyph cells, a symbol
// list that says which byte sits in which cell and a width per glyph for proportional spacing, both
// from the current language's section of language.ini. Every string is first translated; a string
// that names a .png or .tga picture is drawn as that picture instead of letters (except text drawn
// literally, such as the names players type).
//  - Cell i lies in column i mod 16, row i div 16; only cells 0..127 exist.
//  - The symbol list and the font texture are refreshed at every device creation; the widths are
//    read once per run.
//  - The font texture belongs to the texture registry; after the registry is emptied the font has
//    no texture until LoadSymbolWidths runs again.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/device.h"
#include "ui/texture_registry.h"

constexpr uint32_t TEXT_CENTRE = 1;         // x is the horizontal centre of the text
constexpr uint32_t TEXT_RIGHT = 2;          // x is the right edge; wins over TEXT_CENTRE
constexpr uint32_t TEXT_PIXEL_SIZE = 0x10;  // pictures only: the picture keeps its own pixel size
constexpr uint32_t TEXT_LITERAL = 0x20;     // the letters as given: not translated, never a picture

constexpr int GlyphCells = 128;
constexpr int GlyphColumns = 16;
constexpr int GlyphRows = 8;

// The widths of one row of cells as read from a "LineNN_Width" value.
struct WidthRow {
    std::array<float, GlyphColumns> widths{};  // in fractions of a cell (the file gives sixteenths)
    int count = 0;                             // pieces read before the end or a bad piece
    bool bad = false;                          // a piece did not read as a number
};

// Up to 16 comma-separated decimal numbers (leading blanks allowed, read like strtod; a piece without
// a number, or one that is not finite, is bad and ends the row). Further pieces are ignored.
WidthRow ParseWidthRow(std::string_view value);

// One glyph of a laid-out string: its byte's cell (-1 for a byte the symbol list lacks) and the
// horizontal centre relative to the text's left edge, as a fraction of the client width.
struct GlyphPlacement {
    int cell = -1;
    float centre = 0;
    float width = 0;
};

class BitmapFont {
public:
    // Reads the symbol list and looks up the font texture (fontPath, "Graphics\font01.tga" in the
    // game); on the first call of the run also the glyph widths.
    void LoadSymbolWidths(const std::string& fontPath);

    // The first cell whose symbol is this byte; -1 when the symbol list lacks it.
    int GlyphIndex(unsigned char symbol) const;

    // Draws text (or the picture it names) at (x, y): y is the line's vertical centre, x its anchor
    // after flags; size is the line height as a fraction of the client height. Returns 0.
    int DrawText(float x, float y, float size, ColourArgb colour, uint32_t flags, const std::string& text);

    // The width, as a fraction of the client width, that DrawText would give the text (0 for a picture
    // or before the font is loaded).
    float TextWidth(float size, uint32_t flags, const std::string& text);

    // The proportional layout of an already translated string with a cell cellW wide; returns the
    // total width. Unlisted bytes take one cellW of room and draw nothing.
    float Layout(std::string_view text, float cellW, std::vector<GlyphPlacement>& glyphs) const;

    // The font texture while it is valid (nullptr before loading, after the registry was emptied, or
    // when it failed to load).
    Texture* FontTexture() const;
    const std::string& SymbolList() const { return symbolList; }
    float GlyphWidth(int cell) const { return cell >= 0 && cell < GlyphCells ? glyphWidths[cell] : 0.0f; }
    bool WidthsLoaded() const { return widthsLoaded; }

    // Forgets everything as at program start (tests run many "runs" in one process).
    void Reset();

private:
    int DrawPicture(float x, float y, float size, ColourArgb colour, uint32_t flags, const std::string& name);
    void BuildGlyphIndex();

    std::string symbolList;
    std::array<int16_t, 256> cellOfByte{};  // first cell of every byte, -1 for none
    std::array<float, GlyphCells> glyphWidths{};
    bool widthsLoaded = false;
    bool symbolListMissingTold = false;
    std::string fontPath;
    Texture* fontTexture = nullptr;
    uint64_t fontGeneration = 0;
    std::vector<GlyphPlacement> glyphs;  // scratch, kept to avoid an allocation per string
    std::vector<QuadPlacement> quads;
};

extern BitmapFont bitmapFont;
