// The program's icon: a T piece resting in a dark well with one more cell falling towards it, in the
// cells' own orange and azure. One design, kept as shapes on a 16-unit square, is drawn at every size
// a desktop asks for and written as a scalable picture too, so every size shows the same picture.
// The sizes go to icons/hicolor/<size>x<size>/apps/kelvane.png below the game directory and the
// scalable one to icons/hicolor/scalable/apps/kelvane.svg, laid out as the desktop's icon theme wants
// them; Graphics\icon.png keeps the 64-pixel one.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <utility>

#include "graphics_assets.h"

namespace {

constexpr float DesignSize = 16;

// The well: a rounded square with a top-to-bottom gradient and a thin light rim just inside its edge.
constexpr float WellCentre = 8, WellHalf = 7.5f, WellRadius = 2.5f;
constexpr uint32_t WellTop = 0x101C48, WellBottom = 0x050A24, RimColour = 0x8DB8FF;
constexpr float RimInset = 0.375f, RimWidth = 0.3f;

// The cells, lit from the top left as the scene's light falls on them: full colour on the top-left
// quarter of the diagonal, down to a quarter at the bottom-right corner.
constexpr float CellHalf = 1.6f, CellRadius = 0.4f;
struct IconCell {
    float x, y;
    uint32_t colour;
};
constexpr uint32_t Orange = 0xFF9900, Azure = 0x1289FF;
constexpr IconCell Cells[] = {
    {4, 11.5f, Orange}, {8, 11.5f, Orange}, {12, 11.5f, Orange}, {8, 7.5f, Orange}, {8, 3, Azure}};

float CellLight(const IconCell& cell, float x, float y) {
    return Clamp01(0.75f + 0.5f * ((cell.x - x) + (cell.y - y)) / (2 * CellHalf));
}

std::string Hex(uint32_t rgb) {
    char text[8];
    std::snprintf(text, sizeof text, "#%06X", rgb & 0xFFFFFF);
    return text;
}

std::string Number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

bool WriteIcons(const AssetContext& context) {
    namespace fs = std::filesystem;
    bool ok = true;
    const std::string theme = context.gameDir + "/icons/hicolor";
    for (int size : IconSizes) {
        const std::string folder = theme + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        std::error_code error;
        fs::create_directories(folder, error);
        ok = WritePngImage(folder + "/kelvane.png", RenderIcon(size)) && ok;
    }
    std::error_code error;
    fs::create_directories(theme + "/scalable/apps", error);
    return WriteText(theme + "/scalable/apps/kelvane.svg", IconSvg()) && ok;
}

AssetGroup iconGroup("icons", WriteIcons);

}  // namespace

Canvas RenderIcon(int size) {
    const float s = static_cast<float>(size) / DesignSize;  // pixels per design unit
    Canvas image(size, size, {0, 0, 0, 0});
    ShadeShape(
        image,
        [&](float x, float y) {
            return DistanceRoundedBox(x, y, WellCentre * s, WellCentre * s, WellHalf * s, WellHalf * s,
                                      WellRadius * s);
        },
        [&](float d, float, float y) {
            Colour c = Mix(FromHex(WellTop), FromHex(WellBottom), Clamp01(y / static_cast<float>(size)));
            c = Mix(c, FromHex(RimColour), Clamp01(std::exp(-std::fabs(d + RimInset * s) / (RimWidth * s))));
            c.a = CoverageFromDistance(d);
            return c;
        },
        0, 0, size, size);
    for (const IconCell& cell : Cells) {
        ShadeShape(
            image,
            [&](float x, float y) {
                return DistanceRoundedBox(x, y, cell.x * s, cell.y * s, CellHalf * s, CellHalf * s,
                                          CellRadius * s);
            },
            [&](float d, float x, float y) {
                Colour c = Scale(FromHex(cell.colour), CellLight(cell, x / s, y / s));
                c.a = CoverageFromDistance(d);
                return c;
            },
            0, 0, size, size);
    }
    return image;
}

std::string IconSvg() {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" viewBox=\"0 0 16 16\">\n";
    svg += "  <defs>\n";
    svg += "    <linearGradient id=\"well\" x1=\"0\" y1=\"0\" x2=\"0\" y2=\"1\">\n";
    svg += "      <stop offset=\"0\" stop-color=\"" + Hex(WellTop) + "\"/>\n";
    svg += "      <stop offset=\"1\" stop-color=\"" + Hex(WellBottom) + "\"/>\n";
    svg += "    </linearGradient>\n";
    for (uint32_t colour : {Orange, Azure}) {
        // Full colour up to a quarter of the diagonal, then down to a quarter of it at the far corner.
        const Colour lit = FromHex(colour), dark = Scale(lit, 0.25f);
        const uint32_t darkHex = (static_cast<uint32_t>(std::lround(dark.r * 255)) << 16) |
                                 (static_cast<uint32_t>(std::lround(dark.g * 255)) << 8) |
                                 static_cast<uint32_t>(std::lround(dark.b * 255));
        svg += "    <linearGradient id=\"cell" + Hex(colour).substr(1) +
               "\" x1=\"0\" y1=\"0\" x2=\"1\" y2=\"1\">\n";
        svg += "      <stop offset=\"0.25\" stop-color=\"" + Hex(colour) + "\"/>\n";
        svg += "      <stop offset=\"1\" stop-color=\"" + Hex(darkHex) + "\"/>\n";
        svg += "    </linearGradient>\n";
    }
    svg += "  </defs>\n";
    const float wellEdge = WellCentre - WellHalf;
    svg += "  <rect x=\"" + Number(wellEdge) + "\" y=\"" + Number(wellEdge) + "\" width=\"" +
           Number(2 * WellHalf) + "\" height=\"" + Number(2 * WellHalf) + "\" rx=\"" + Number(WellRadius) +
           "\" fill=\"url(#well)\"/>\n";
    // The rim's glow, falling off to either side of its line: a faint wide band under a brighter narrow one.
    const float rimEdge = wellEdge + RimInset;
    for (const auto& [width, opacity] : {std::pair{2.5f * RimWidth, 0.35f}, std::pair{0.8f * RimWidth, 0.8f}})
        svg += "  <rect x=\"" + Number(rimEdge) + "\" y=\"" + Number(rimEdge) + "\" width=\"" +
               Number(2 * (WellHalf - RimInset)) + "\" height=\"" + Number(2 * (WellHalf - RimInset)) +
               "\" rx=\"" + Number(WellRadius - RimInset) + "\" fill=\"none\" stroke=\"" + Hex(RimColour) +
               "\" stroke-width=\"" + Number(width) + "\" stroke-opacity=\"" + Number(opacity) + "\"/>\n";
    for (const IconCell& cell : Cells)
        svg += "  <rect x=\"" + Number(cell.x - CellHalf) + "\" y=\"" + Number(cell.y - CellHalf) +
               "\" width=\"" + Number(2 * CellHalf) + "\" height=\"" + Number(2 * CellHalf) + "\" rx=\"" +
               Number(CellRadius) + "\" fill=\"url(#cell" + Hex(cell.colour).substr(1) + ")\"/>\n";
    svg += "</svg>\n";
    return svg;
}
