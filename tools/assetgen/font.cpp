// The game's bitmap font and the lettering of the menu pictures, both from one bold sans face.
// Text drawing centres each glyph quad on the glyph's place and shows the cell without its top 0.08
// and its right 0.06, stretched over the quad; so each glyph's advance box is centred on the middle
// of that visible part, and ink, outline and shadow stay inside it.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "graphics_assets.h"
#include "truetype.h"

const TrueTypeFont* LetteringFont() {
    static TrueTypeFont font;
    static const bool loaded = font.LoadFromFile(LetteringFontPath);
    return loaded ? &font : nullptr;
}

const std::vector<uint32_t>& FontCharacters() {
    static const std::vector<uint32_t> characters = [] {
        std::vector<uint32_t> list;
        for (uint32_t c = 0x20; c < 0x7F; ++c) list.push_back(c);  // printable ASCII, the space first
        // German first, then the letters of the other western languages a translation is likely to need.
        const std::u32string extra = U"ÄÖÜäöüßéèêëàâçîïôûùÉÈÀÇñÑ¿¡«»€©°·";
        list.insert(list.end(), extra.begin(), extra.end());
        return list;
    }();
    return characters;
}

namespace {
constexpr float VisibleRight = FontCellPixels * (1 - 0.06f);  // 60.16: the drawn part of a cell
constexpr float VisibleTop = FontCellPixels * 0.08f;          // 5.12
constexpr float OutlineRadius = 3.0f;
constexpr float ShadowX = 1.5f, ShadowY = 2.0f;
constexpr float Padding = OutlineRadius + 2.5f;  // room for the outline's soft edge and the shadow
constexpr float LetterSpacing = 2.0f;  // pixels added to each advance so outlines do not overlap ink

struct PlacedGlyph {
    GlyphBitmap bitmap;
    float penX = 0, baseline = 0, advance = 0;
};

// Places every glyph at the given pixel height; false if one would leave the cell's visible area.
bool PlaceGlyphs(const TrueTypeFont& font, float pixelHeight, std::vector<PlacedGlyph>& placed) {
    const float scale = font.ScaleForPixelHeight(pixelHeight);
    const FontVerticalMetrics vm = font.VerticalMetrics(scale);
    const float centreX = VisibleRight / 2, centreY = (VisibleTop + FontCellPixels) / 2;
    const float baseline = std::round(centreY + (vm.ascent + vm.descent) / 2);
    placed.clear();
    for (uint32_t c : FontCharacters()) {
        PlacedGlyph g;
        g.advance = font.AdvanceWidth(c, scale) + LetterSpacing;
        g.penX = std::round(centreX - g.advance / 2 + LetterSpacing / 2);
        g.baseline = baseline;
        g.bitmap = font.Rasterise(c, scale);
        if (g.bitmap.width > 0) {
            const float x0 = g.penX + g.bitmap.left - Padding,
                        x1 = g.penX + g.bitmap.left + g.bitmap.width + Padding;
            const float y0 = baseline + g.bitmap.top - Padding,
                        y1 = baseline + g.bitmap.top + g.bitmap.height + Padding;
            if (x0 < 0.5f || x1 > VisibleRight - 0.5f || y0 < VisibleTop + 0.5f || y1 > FontCellPixels - 0.5f)
                return false;
        }
        placed.push_back(std::move(g));
    }
    return true;
}

// Coverage of one cell as floats, with the glyph pasted at its place.
std::vector<float> CellCoverage(const PlacedGlyph& g) {
    std::vector<float> cell(size_t{FontCellPixels} * FontCellPixels, 0.0f);
    const int ox = static_cast<int>(g.penX) + g.bitmap.left, oy = static_cast<int>(g.baseline) + g.bitmap.top;
    for (int y = 0; y < g.bitmap.height; ++y)
        for (int x = 0; x < g.bitmap.width; ++x) {
            const int cx = ox + x, cy = oy + y;
            if (cx < 0 || cy < 0 || cx >= FontCellPixels || cy >= FontCellPixels) continue;
            cell[cy * FontCellPixels + cx] =
                g.bitmap.coverage[static_cast<size_t>(y) * g.bitmap.width + x] / 255.0f;
        }
    return cell;
}

// Soft dilation: each pixel takes the strongest nearby coverage, fading over the last pixel of the radius.
std::vector<float> Dilate(const std::vector<float>& coverage, float radius) {
    std::vector<float> out(coverage.size(), 0.0f);
    const int r = static_cast<int>(std::ceil(radius));
    const int n = FontCellPixels;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float best = 0;
            for (int dy = -r; dy <= r; ++dy)
                for (int dx = -r; dx <= r; ++dx) {
                    const int sx = x + dx, sy = y + dy;
                    if (sx < 0 || sy < 0 || sx >= n || sy >= n) continue;
                    const float c = coverage[sy * n + sx];
                    if (c <= best) continue;
                    const float falloff =
                        Clamp01(radius + 0.5f - std::sqrt(static_cast<float>(dx * dx + dy * dy)));
                    best = std::max(best, c * falloff);
                }
            out[y * n + x] = best;
        }
    return out;
}

float SampleShifted(const std::vector<float>& m, float x, float y) {
    const int n = FontCellPixels;
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    const float fx = x - ix, fy = y - iy;
    auto at = [&](int u, int v) { return (u < 0 || v < 0 || u >= n || v >= n) ? 0.0f : m[v * n + u]; };
    return (at(ix, iy) * (1 - fx) + at(ix + 1, iy) * fx) * (1 - fy) +
           (at(ix, iy + 1) * (1 - fx) + at(ix + 1, iy + 1) * fx) * fy;
}
}  // namespace

FontSheet BuildFontSheet() {
    FontSheet sheet;
    sheet.image = Canvas(FontColumns * FontCellPixels, FontRows * FontCellPixels, {0, 0, 0, 0});
    const TrueTypeFont* font = LetteringFont();
    if (!font) {
        std::fprintf(stderr, "assetgen: cannot read the font %s\n", LetteringFontPath);
        return sheet;
    }
    std::vector<PlacedGlyph> placed;
    float pixelHeight = 56;
    while (pixelHeight > 20 && !PlaceGlyphs(*font, pixelHeight, placed)) pixelHeight -= 0.5f;
    if (placed.size() != FontCharacters().size()) return sheet;

    for (size_t i = 0; i < placed.size(); ++i) {
        const PlacedGlyph& g = placed[i];
        sheet.codepoints.push_back(FontCharacters()[i]);
        sheet.widths16[i] = 16.0f * g.advance / VisibleRight;
        const std::vector<float> ink = CellCoverage(g);
        const std::vector<float> outline = Dilate(ink, OutlineRadius);
        const int cellX = static_cast<int>(i % FontColumns) * FontCellPixels;
        const int cellY = static_cast<int>(i / FontColumns) * FontCellPixels;
        for (int y = 0; y < FontCellPixels; ++y)
            for (int x = 0; x < FontCellPixels; ++x) {
                Colour c{0, 0, 0, 0};
                const float shadow = SampleShifted(outline, x - ShadowX, y - ShadowY);
                BlendOver(c, {0, 0, 0, 1}, 0.45f * shadow);
                BlendOver(c, {0.04f, 0.05f, 0.12f, 1}, 0.92f * outline[y * FontCellPixels + x]);
                // A faint cool tint towards the foot of the letters gives the white some body.
                const float t = Clamp01((y - (g.baseline - 30)) / 34.0f);
                BlendOver(c, Mix({1, 1, 1, 1}, {0.82f, 0.88f, 1.0f, 1}, t), ink[y * FontCellPixels + x]);
                sheet.image.At(cellX + x, cellY + y) = c;
            }
    }
    sheet.ok = true;
    return sheet;
}

Canvas TextMask(const std::u32string& text, float pixelHeight, int margin, int* baselineY) {
    const TrueTypeFont* font = LetteringFont();
    if (!font || text.empty()) return Canvas(1, 1);
    const float scale = font->ScaleForPixelHeight(pixelHeight);
    const FontVerticalMetrics vm = font->VerticalMetrics(scale);
    float width = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        width += font->AdvanceWidth(text[i], scale);
        if (i + 1 < text.size()) width += font->Kerning(text[i], text[i + 1], scale);
    }
    const int w = static_cast<int>(std::ceil(width)) + 2 * margin;
    const int h = static_cast<int>(std::ceil(vm.ascent - vm.descent)) + 2 * margin;
    Canvas image(w, h, {1, 1, 1, 0});
    const int baseline = margin + static_cast<int>(std::round(vm.ascent));
    float pen = static_cast<float>(margin);
    for (size_t i = 0; i < text.size(); ++i) {
        const float shift = pen - std::floor(pen);
        const GlyphBitmap g = font->Rasterise(text[i], scale, shift, 0);
        const int ox = static_cast<int>(std::floor(pen)) + g.left, oy = baseline + g.top;
        for (int y = 0; y < g.height; ++y)
            for (int x = 0; x < g.width; ++x) {
                const int px = ox + x, py = oy + y;
                if (px < 0 || py < 0 || px >= w || py >= h) continue;
                Colour& c = image.At(px, py);
                c.a = std::min(1.0f, c.a + g.coverage[static_cast<size_t>(y) * g.width + x] / 255.0f);
            }
        pen += font->AdvanceWidth(text[i], scale);
        if (i + 1 < text.size()) pen += font->Kerning(text[i], text[i + 1], scale);
    }
    if (baselineY) *baselineY = baseline;
    return image;
}

bool DecodeUtf8(const std::string& utf8, std::u32string& out) {
    out.clear();
    for (size_t i = 0; i < utf8.size();) {
        const auto b0 = static_cast<unsigned char>(utf8[i]);
        int extra = 0;
        uint32_t c = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            c = b0 & 0x1F;
            extra = 1;
        } else if ((b0 & 0xF0) == 0xE0) {
            c = b0 & 0x0F;
            extra = 2;
        } else if ((b0 & 0xF8) == 0xF0) {
            c = b0 & 0x07;
            extra = 3;
        } else {
            return false;
        }
        if (i + extra >= utf8.size() && extra > 0) return false;
        for (int k = 1; k <= extra; ++k) {
            const auto b = static_cast<unsigned char>(utf8[i + k]);
            if ((b & 0xC0) != 0x80) return false;
            c = (c << 6) | (b & 0x3F);
        }
        const uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
        if (c < minimum[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        out.push_back(c);
        i += 1 + extra;
    }
    return true;
}

int Cp1252Byte(uint32_t codepoint) {
    if (codepoint < 0x80 || (codepoint >= 0xA0 && codepoint <= 0xFF)) return static_cast<int>(codepoint);
    // The code page's own letters and signs in 0x80..0x9F.
    static const uint32_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    for (int i = 0; i < 32; ++i)
        if (high[i] != 0 && high[i] == codepoint) return 0x80 + i;
    return -1;
}
