#include "truetype.h"

#include <stb_truetype.h>

#include <cstdio>

#include "base/paths.h"

struct TrueTypeFont::Impl {
    std::vector<unsigned char> bytes;
    stbtt_fontinfo info{};
    bool loaded = false;
};

TrueTypeFont::TrueTypeFont() : impl(std::make_unique<Impl>()) {}
TrueTypeFont::~TrueTypeFont() = default;

bool TrueTypeFont::LoadFromFile(const std::string& nativePath) {
    impl->loaded = false;
    impl->bytes.clear();
    std::FILE* file = OpenRegularFile(nativePath);
    if (!file) return false;
    constexpr size_t MaxFontBytes = 64u << 20;  // fonts are a few hundred KiB; refuse anything absurd
    unsigned char buffer[65536];
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        impl->bytes.insert(impl->bytes.end(), buffer, buffer + got);
        if (impl->bytes.size() > MaxFontBytes) break;
    }
    std::fclose(file);
    if (impl->bytes.size() < 12 || impl->bytes.size() > MaxFontBytes) return false;
    const int offset = stbtt_GetFontOffsetForIndex(impl->bytes.data(), 0);
    if (offset < 0 || !stbtt_InitFont(&impl->info, impl->bytes.data(), offset)) return false;
    impl->loaded = true;
    return true;
}

bool TrueTypeFont::Loaded() const {
    return impl->loaded;
}

float TrueTypeFont::ScaleForPixelHeight(float pixels) const {
    return impl->loaded ? stbtt_ScaleForPixelHeight(&impl->info, pixels) : 0.0f;
}

FontVerticalMetrics TrueTypeFont::VerticalMetrics(float scale) const {
    if (!impl->loaded) return {};
    int ascent = 0, descent = 0, lineGap = 0;
    stbtt_GetFontVMetrics(&impl->info, &ascent, &descent, &lineGap);
    return {ascent * scale, descent * scale, lineGap * scale};
}

bool TrueTypeFont::HasGlyph(uint32_t codepoint) const {
    return impl->loaded && stbtt_FindGlyphIndex(&impl->info, static_cast<int>(codepoint)) != 0;
}

float TrueTypeFont::AdvanceWidth(uint32_t codepoint, float scale) const {
    if (!impl->loaded) return 0;
    int advance = 0, bearing = 0;
    stbtt_GetCodepointHMetrics(&impl->info, static_cast<int>(codepoint), &advance, &bearing);
    return advance * scale;
}

float TrueTypeFont::Kerning(uint32_t first, uint32_t second, float scale) const {
    if (!impl->loaded) return 0;
    return stbtt_GetCodepointKernAdvance(&impl->info, static_cast<int>(first), static_cast<int>(second)) *
           scale;
}

GlyphBitmap TrueTypeFont::Rasterise(uint32_t codepoint, float scale, float shiftX, float shiftY) const {
    GlyphBitmap glyph;
    if (!impl->loaded || scale <= 0) return glyph;
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    stbtt_GetCodepointBitmapBoxSubpixel(&impl->info, static_cast<int>(codepoint), scale, scale, shiftX,
                                        shiftY, &x0, &y0, &x1, &y1);
    if (x1 <= x0 || y1 <= y0 || x1 - x0 > 4096 || y1 - y0 > 4096) return glyph;
    glyph.width = x1 - x0;
    glyph.height = y1 - y0;
    glyph.left = x0;
    glyph.top = y0;
    glyph.coverage.assign(static_cast<size_t>(glyph.width) * glyph.height, 0);
    stbtt_MakeCodepointBitmapSubpixel(&impl->info, glyph.coverage.data(), glyph.width, glyph.height,
                                      glyph.width, scale, scale, shiftX, shiftY, static_cast<int>(codepoint));
    return glyph;
}
