#include "ui/bitmap_font.h"

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "headless/trace.h"
#include "persist/config.h"
#include "persist/log.h"

BitmapFont bitmapFont;

WidthRow ParseWidthRow(std::string_view value) {
    WidthRow row;
    size_t start = 0;
    while (row.count < GlyphColumns) {
        const size_t comma = value.find(',', start);
        const std::string piece(
            value.substr(start, comma == std::string_view::npos ? std::string_view::npos : comma - start));
        char* end = nullptr;
        const double number = std::strtod(piece.c_str(), &end);
        // A width must be a finite float too: 1e93 is a finite double but no float.
        if (end == piece.c_str() || !std::isfinite(number) || std::fabs(number / 16.0) > FLT_MAX) {
            row.bad = true;
            break;
        }
        row.widths[row.count++] = static_cast<float>(number / 16.0);
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    return row;
}

void BitmapFont::Reset() {
    *this = BitmapFont();
}

void BitmapFont::BuildGlyphIndex() {
    cellOfByte.fill(-1);
    for (size_t i = symbolList.size(); i-- > 0;)
        cellOfByte[static_cast<unsigned char>(symbolList[i])] = static_cast<int16_t>(i);
}

void BitmapFont::LoadSymbolWidths(const std::string& path) {
    symbolList = Translate("SymbolList");
    if (symbolList.size() > MaxTextureNameLength) symbolList.resize(MaxTextureNameLength);
    BuildGlyphIndex();
    // Without a symbol list no letter can be drawn: every text of the game is invisible. Said once a run.
    if (symbolList.empty() && !symbolListMissingTold) {
        symbolListMissingTold = true;
        WriteLog("Can't load the symbol list from 'language.ini' (" + LanguageFileProblem() +
                     "); no text can be drawn",
                 LogTimeStamp | LogWarning);
    }

    fontPath = path;
    fontTexture = textureRegistry.GetTexture(path);
    fontGeneration = textureRegistry.Generation();

    if (widthsLoaded) return;
    for (int n = 1; n <= GlyphRows; ++n) {
        char key[32];
        std::snprintf(key, sizeof key, "Line0%d_Width", n);
        const std::string value = Translate(key);
        if (value.empty()) continue;  // a missing row keeps its widths at 0
        const WidthRow row = ParseWidthRow(value);
        for (int k = 0; k < row.count; ++k) glyphWidths[(n - 1) * GlyphColumns + k] = row.widths[k];
        if (row.bad) WriteLog("Can't load symbol width from 'language.ini'", LogTimeStamp);
    }
    widthsLoaded = true;
}

int BitmapFont::GlyphIndex(unsigned char symbol) const {
    // Before the first load the table is all zeros; the symbol list is empty then.
    if (symbolList.empty()) return -1;
    return cellOfByte[symbol];
}

Texture* BitmapFont::FontTexture() const {
    return fontGeneration == textureRegistry.Generation() ? fontTexture : nullptr;
}

float BitmapFont::Layout(std::string_view text, float cellW, std::vector<GlyphPlacement>& out) const {
    out.clear();
    float total = 0, centre = 0, previousWidth = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        GlyphPlacement glyph;
        glyph.cell = GlyphIndex(static_cast<unsigned char>(text[i]));
        // An unlisted byte counts as a glyph one cell wide, so the laid-out text is exactly as wide
        // as its measure and the next glyph sits right after the gap.
        glyph.width = glyph.cell < 0 ? cellW : cellW * GlyphWidth(glyph.cell);
        // Each centre lies half of the previous and half of its own width after the previous one,
        // so glyph outlines abut.
        centre = i == 0 ? glyph.width / 2 : centre + (previousWidth + glyph.width) / 2;
        glyph.centre = centre;
        previousWidth = glyph.width;
        total += glyph.width;
        out.push_back(glyph);
    }
    return total;
}

int BitmapFont::DrawPicture(float x, float y, float size, ColourArgb colour, uint32_t flags,
                            const std::string& name) {
    Texture* texture = textureRegistry.GetTexture(name);
    const PixelSize own = TextureRegistry::GetTextureSize(texture);
    const PixelSize client = textureRegistry.GetClientSize();
    // A picture that does not load has no size: nothing to draw.
    if (!texture || own.width <= 0 || own.height <= 0 || client.width <= 0 || client.height <= 0) return 0;
    const float tw = static_cast<float>(own.width), th = static_cast<float>(own.height);
    const float clientW = static_cast<float>(client.width), clientH = static_cast<float>(client.height);

    float height = size;
    float width = size * (tw / th) * (clientH / clientW);  // keeps the picture's aspect ratio
    if (flags & TEXT_PIXEL_SIZE) {
        width = tw / clientW;
        height = th / clientH;
    }
    float centre = x + width / 2;
    if (flags & TEXT_RIGHT)
        centre = x - width / 2;
    else if (flags & TEXT_CENTRE)
        centre = x;
    textureRegistry.DrawQuad(texture, centre, y, width, height, 0, 0, 1, 1, colour, QUAD_ALPHA_BLEND);
    return 0;
}

namespace {
// One "text" line of the trace: what was asked for, what is shown (the translation, or the picture it
// names), where and how large.
void TraceText(float x, float y, float size, uint32_t flags, const std::string& text,
               const std::string& shown) {
    const char* anchor = (flags & TEXT_RIGHT) ? "right" : (flags & TEXT_CENTRE) ? "centre" : "left";
    Json fields = {{"text", CodePageText(text)}};
    if (shown != text) fields["shown"] = CodePageText(shown);
    fields["x"] = TraceNumber(x);
    fields["y"] = TraceNumber(y);
    fields["size"] = TraceNumber(size);
    fields["anchor"] = anchor;
    TraceEvent("text", fields);
}
}  // namespace

float BitmapFont::TextWidth(float size, uint32_t flags, const std::string& text) {
    std::string shown = text;
    if (!(flags & TEXT_LITERAL)) {
        shown = Translate(text);
        if (shown.empty()) shown = text;
        if (shown.find(".png") != std::string::npos || shown.find(".tga") != std::string::npos) return 0;
    }
    const PixelSize own = TextureRegistry::GetTextureSize(FontTexture());
    const PixelSize client = textureRegistry.GetClientSize();
    if (own.width <= 0 || own.height <= 0 || client.width <= 0 || client.height <= 0) return 0;
    const float cellPixelW = static_cast<float>(own.width) / GlyphColumns;
    const float cellPixelH = static_cast<float>(own.height) / GlyphRows;
    const float cellW = size * (cellPixelW / static_cast<float>(client.width)) /
                        (cellPixelH / static_cast<float>(client.height));
    return Layout(shown, cellW, glyphs);
}

int BitmapFont::DrawText(float x, float y, float size, ColourArgb colour, uint32_t flags,
                         const std::string& text) {
    if (text.empty()) return 0;
    std::string shown = text;
    if (!(flags & TEXT_LITERAL)) {
        shown = Translate(text);
        if (shown.empty()) shown = text;
    }
    if (IsTextTraced()) TraceText(x, y, size, flags, text, shown);
    if (!(flags & TEXT_LITERAL) &&
        (shown.find(".png") != std::string::npos || shown.find(".tga") != std::string::npos)) {
        return DrawPicture(x, y, size, colour, flags, shown);
    }

    Texture* texture = FontTexture();
    GraphicsDevice* device = textureRegistry.Device();
    const PixelSize own = TextureRegistry::GetTextureSize(texture);
    const PixelSize client = textureRegistry.GetClientSize();
    if (!texture || !device || own.width <= 0 || own.height <= 0 || client.width <= 0 || client.height <= 0)
        return 0;

    // A cell keeps its pixel aspect ratio whatever the window's shape.
    const float cellPixelW = static_cast<float>(own.width) / GlyphColumns;
    const float cellPixelH = static_cast<float>(own.height) / GlyphRows;
    const float cellW = size * (cellPixelW / static_cast<float>(client.width)) /
                        (cellPixelH / static_cast<float>(client.height));

    const float total = Layout(shown, cellW, glyphs);
    float left = x;
    if (flags & TEXT_RIGHT)
        left = x - total;
    else if (flags & TEXT_CENTRE)
        left = x - total / 2;

    // Every glyph quad is one whole cell wide and centred on its place; the narrower glyph width only
    // sets the spacing. The texture rectangle leaves out the cell's right 0.06 and top 0.08.
    quads.clear();
    for (const GlyphPlacement& glyph : glyphs) {
        if (glyph.cell < 0 || glyph.cell >= GlyphCells) continue;
        const int column = glyph.cell % GlyphColumns, row = glyph.cell / GlyphColumns;
        const float c = static_cast<float>(column), r = static_cast<float>(row);
        quads.push_back({left + glyph.centre, y, cellW, size, c / 16, (r + 0.08f) / 8, (c + 1 - 0.06f) / 16,
                         (r + 1) / 8});
    }
    if (quads.empty()) return 0;

    // The glyphs share one picture and one set of states, so they go to the device as one batch:
    // blending on, texture x diffuse, the quads in order, blending off again.
    SetBlendedModulate(*device);
    textureRegistry.DrawQuads(texture, quads, colour, 0);
    device->SetRenderState(RenderState::AlphaBlendEnable, 0);
    return 0;
}
