// TrueType glyphs rasterised to 8-bit coverage, for the asset generator's bitmap font and lettering.
// The font file is read whole into memory; glyph bitmaps are plain byte rows owned by the caller. A file
// that is missing, too short or not a font fails to load and every later query answers zero sizes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct GlyphBitmap {
    int width = 0, height = 0;
    int left = 0, top = 0;  // offset of the bitmap's top-left pixel from the pen on the baseline (y down)
    std::vector<uint8_t> coverage;  // width x height, top row first, 0..255
};

struct FontVerticalMetrics {
    float ascent = 0, descent = 0, lineGap = 0;  // in pixels at the given scale; descent is negative
};

class TrueTypeFont {
public:
    TrueTypeFont();
    ~TrueTypeFont();
    TrueTypeFont(const TrueTypeFont&) = delete;
    TrueTypeFont& operator=(const TrueTypeFont&) = delete;

    bool LoadFromFile(const std::string& nativePath);
    bool Loaded() const;

    // The scale that maps the font's ascent-to-descent span to the given height in pixels.
    float ScaleForPixelHeight(float pixels) const;
    FontVerticalMetrics VerticalMetrics(float scale) const;
    bool HasGlyph(uint32_t codepoint) const;
    float AdvanceWidth(uint32_t codepoint, float scale) const;
    float Kerning(uint32_t first, uint32_t second, float scale) const;
    // Rasterises at the given scale with a sub-pixel shift of the pen (0..1 in each axis).
    GlyphBitmap Rasterise(uint32_t codepoint, float scale, float shiftX = 0, float shiftY = 0) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};
