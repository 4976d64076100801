// The "pictures" group: the scene's backgrounds (three themes of scrolling ceiling and floor tiles,
// seamless because they repeat four times across each plane), the additive horizon glow, the static
// background, the emblem textures of block style 5, and the menu pictures of menu_art.cpp.
// Backgrounds stay dark and calm so the well and its cells read clearly in front of them.
#include <algorithm>
#include <cmath>

#include "graphics_assets.h"

namespace {
constexpr float Pi = 3.14159265358979f;
constexpr int Tile = 256;

float Wave(float x, int cycles) {
    return std::sin(2 * Pi * cycles * x / Tile);
}

// Distance in pixels to the nearest line of a grid with the given spacing (a divisor of the tile).
float GridDistance(float x, float y, float spacing) {
    const float gx = std::fabs(std::fmod(x + spacing * 0.5f, spacing) - spacing * 0.5f);
    const float gy = std::fabs(std::fmod(y + spacing * 0.5f, spacing) - spacing * 0.5f);
    return std::min(gx, gy);
}

float Noise(float x, float y, int period, int octaves, uint32_t seed) {
    return PeriodicFbm(x * period / Tile, y * period / Tile, period, octaves, seed);
}

Canvas MakeTile(const std::function<Colour(float, float)>& shade) {
    Canvas image(Tile, Tile);
    for (int y = 0; y < Tile; ++y)
        for (int x = 0; x < Tile; ++x) image.At(x, y) = shade(x + 0.5f, y + 0.5f);
    return image;
}

// Theme 1, midnight: a deep blue floor with a glowing cyan grid; a ceiling of faint circuitry and stars.
Canvas FloorMidnight() {
    return MakeTile([](float x, float y) {
        const float n = Noise(x, y, 4, 4, 11);
        Colour c = Mix(FromHex(0x060B22), FromHex(0x0C1A3E), n);
        const float d = GridDistance(x, y, 64);
        const float line = std::exp(-d * d / 2.0f), glow = std::exp(-d / 7.0f);
        c = Mix(c, FromHex(0x2A7FD0), 0.35f * glow);
        c = Mix(c, FromHex(0x8FE3FF), 0.65f * line);
        const float fine = GridDistance(x, y, 16);
        c = Mix(c, FromHex(0x1E4C8C), 0.25f * std::exp(-fine * fine / 0.8f));
        return c;
    });
}

Canvas CeilingMidnight() {
    SeededRandom random(1234);
    Canvas image = MakeTile([](float x, float y) {
        const float n = Noise(x, y, 8, 4, 21);
        Colour c = Mix(FromHex(0x03061A), FromHex(0x0A1236), n);
        const float d = GridDistance(x + 32, y + 32, 128);
        c = Mix(c, FromHex(0x25407A), 0.45f * std::exp(-d * d / 3.0f));
        return c;
    });
    for (int i = 0; i < 40; ++i) {
        const float sx = random.Range(0, Tile), sy = random.Range(0, Tile), b = random.Range(0.3f, 1.0f);
        for (int dy = -3; dy <= 3; ++dy)
            for (int dx = -3; dx <= 3; ++dx) {
                const int px = (static_cast<int>(sx) + dx + Tile) % Tile,
                          py = (static_cast<int>(sy) + dy + Tile) % Tile;
                const float r2 = dx * dx + dy * dy;
                BlendAdd(image.At(px, py), Scale(FromHex(0xBFD8FF), b), std::exp(-r2 / 1.2f) * 0.8f);
            }
    }
    return image;
}

// Theme 2, dusk: plum floor tiles with warm amber seams; a ceiling of soft violet clouds.
Canvas FloorDusk() {
    return MakeTile([](float x, float y) {
        const float n = Noise(x, y, 4, 4, 31);
        const float local = std::fmod(x, 64.0f), localY = std::fmod(y, 64.0f);
        const float d = DistanceRoundedBox(local, localY, 32, 32, 29, 29, 9);
        Colour tile = Mix(FromHex(0x2A0E2E), FromHex(0x3E1842), n);
        // Each tile catches the light a little at its upper left.
        tile = Mix(tile, FromHex(0x5A2A55), 0.35f * Clamp01((64 - local - localY) / 64.0f) * Clamp01(-d / 6));
        const Colour seam = FromHex(0x160612);
        Colour c = Mix(seam, tile, SmoothStep(-1.5f, 1.0f, -d));
        c = Mix(c, FromHex(0xE08A3A), 0.30f * std::exp(-std::fabs(d) / 2.5f));
        return c;
    });
}

Canvas CeilingDusk() {
    return MakeTile([](float x, float y) {
        const float n = Noise(x, y, 4, 5, 41);
        const float m = Noise(x + 37, y + 11, 8, 3, 43);
        Colour c = Mix(FromHex(0x12061E), FromHex(0x3A1648), SmoothStep(0.35f, 0.8f, n));
        c = Mix(c, FromHex(0x7A3A5C), 0.25f * SmoothStep(0.55f, 0.9f, m));
        return c;
    });
}

// Theme 3, lagoon: a teal floor of gentle ripples and caustic light; a ceiling of dark green-blue water.
Canvas FloorLagoon() {
    return MakeTile([](float x, float y) {
        const float n = Noise(x, y, 4, 4, 51);
        const float ripple = Wave(x + 9 * Wave(y, 2), 3) * Wave(y + 9 * Wave(x, 1), 4);
        Colour c = Mix(FromHex(0x032524), FromHex(0x0B4744), n);
        const float caustic = std::pow(Clamp01(1 - std::fabs(ripple)), 10.0f);
        c = Mix(c, FromHex(0x5EE6C8), 0.35f * caustic);
        return c;
    });
}

Canvas CeilingLagoon() {
    return MakeTile([](float x, float y) {
        const float n = Noise(x, y, 4, 5, 61);
        const float band = 0.5f + 0.5f * Wave(y + 20 * (n - 0.5f), 4);
        Colour c = Mix(FromHex(0x021414), FromHex(0x0A3234), n);
        c = Mix(c, FromHex(0x1B5A58), 0.3f * band * n);
        return c;
    });
}

// Blended with one / inverse source colour: black changes nothing, the glow only brightens.
Canvas HorizonGlow() {
    Canvas image(256, 32);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const float dy = (y + 0.5f - 16) / 5.5f;
            const float across = std::pow(std::sin(Pi * (x + 0.5f) / image.width), 0.8f);
            const float k = std::exp(-dy * dy) * across;
            image.At(x, y) = {0.55f * k, 0.68f * k, 0.95f * k, 1};
        }
    return image;
}

// The static background: a night-blue gradient, soft out-of-focus lights, a faint floor grid in
// perspective and a vignette, darkest where the well stands.
Canvas StaticBackground() {
    Canvas image(800, 600);
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const float t = y / 599.0f;
            Colour c = Mix(FromHex(0x050A24), FromHex(0x1A0E30), t);
            const float n = PeriodicFbm(x / 160.0f, y / 160.0f, 64, 4, 71);
            c = Mix(c, FromHex(0x1C2E66), 0.35f * SmoothStep(0.45f, 0.85f, n));
            image.At(x, y) = c;
        }
    SeededRandom random(2024);
    for (int i = 0; i < 34; ++i) {
        const float cx = random.Range(0, 800), cy = random.Range(0, 600), r = random.Range(14, 60);
        const Colour tint = Mix(FromHex(0x3A6FD8), FromHex(0xB05AC8), random.Uniform());
        const float strength = random.Range(0.05f, 0.18f);
        ShadeShape(
            image, [&](float x, float y) { return DistanceCircle(x, y, cx, cy, r); },
            [&](float d, float, float) {
                Colour c = tint;
                c.a = strength * (SmoothStep(1.5f, -1.5f, d) * 0.7f + 0.3f * std::exp(-std::fabs(d) / 2.0f));
                return c;
            },
            static_cast<int>(cx - r - 8), static_cast<int>(cy - r - 8), static_cast<int>(cx + r + 8),
            static_cast<int>(cy + r + 8));
    }
    // Floor grid below the horizon at y = 430, lines converging on the centre.
    for (int y = 431; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const float depth = 60.0f / (y - 430);
            const float wx = (x - 400) * depth / 60.0f;
            const float gx = std::fabs(std::fmod(std::fabs(wx) + 0.5f, 1.0f) - 0.5f) / (depth / 60.0f);
            const float gz =
                std::fabs(std::fmod(depth * 4 + 0.5f, 1.0f) - 0.5f) / (depth * 4 / (y - 430.0f) + 1e-3f);
            const float line = std::exp(-gx * gx / 1.2f) + 0.7f * std::exp(-gz * gz / 1.2f);
            const float fade = Clamp01((y - 430) / 120.0f);
            BlendAdd(image.At(x, y), FromHex(0x3A7AE0), 0.22f * std::min(line, 1.0f) * fade);
        }
    for (int x = 0; x < 800; ++x)
        for (int y = 410; y < 450; ++y) {
            const float d = (y - 430) / 7.0f;
            BlendAdd(image.At(x, y), FromHex(0x6F8FE0), 0.25f * std::exp(-d * d) * std::sin(Pi * x / 800));
        }
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x) {
            const float dx = (x - 400) / 400.0f, dy = (y - 300) / 300.0f;
            const float vignette = 1 - 0.45f * Clamp01(dx * dx * 0.8f + dy * dy * 0.6f);
            // A calmer band where the well stands.
            const float well = 1 - 0.3f * std::exp(-dx * dx / 0.09f);
            image.At(x, y) = Scale(image.At(x, y), vignette * well);
        }
    return image;
}
}  // namespace

namespace {
// Emblems of block style 5, one per colour: circle, triangle, square, diamond, star, cross, ring.
// The texture is multiplied by the cell's colour: a pale face keeps the colour, the dark emblem
// shows in every colour, and a thin bright rim parts the two.
float EmblemDistance(int emblem, float x, float y, float size) {
    const float c = size / 2, s = size;
    switch (emblem) {
        case 0:
            return DistanceCircle(x, y, c, c, 0.30f * s);
        case 1:
            return DistancePolygon(x, y, {{c, 0.17f * s}, {0.84f * s, 0.78f * s}, {0.16f * s, 0.78f * s}});
        case 2:
            return DistanceRoundedBox(x, y, c, c, 0.27f * s, 0.27f * s, 0.04f * s);
        case 3:
            return DistancePolygon(x, y, {{c, 0.15f * s}, {0.85f * s, c}, {c, 0.85f * s}, {0.15f * s, c}});
        case 4: {
            std::vector<Point2> star;
            for (int k = 0; k < 10; ++k) {
                const float phi = -Pi / 2 + Pi * k / 5, r = (k % 2 ? 0.15f : 0.36f) * s;
                star.push_back({c + r * std::cos(phi), c + 0.04f * s + r * std::sin(phi)});
            }
            return DistancePolygon(x, y, star);
        }
        case 5:
            return std::min(DistanceRoundedBox(x, y, c, c, 0.33f * s, 0.1f * s, 0.02f * s),
                            DistanceRoundedBox(x, y, c, c, 0.1f * s, 0.33f * s, 0.02f * s));
        default:
            return std::fabs(DistanceCircle(x, y, c, c, 0.25f * s)) - 0.08f * s;
    }
}

Canvas EmblemTexture(int emblem) {
    const int size = 128;
    Canvas image(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const float r = std::hypot(fx - 64, fy - 64) / 90.0f;
            Colour face = Scale({1, 1, 1, 1}, 1.0f - 0.16f * r * r);
            const float d = EmblemDistance(emblem, fx, fy, static_cast<float>(size));
            face = Mix(face, {1, 1, 1, 1}, 0.9f * Clamp01(1 - std::fabs(d - 5) / 3));
            face = Mix(face, FromHex(0x14161C), CoverageFromDistance(d));
            image.At(x, y) = face;
        }
    return image;
}
}  // namespace

std::string JoinGamePath(const std::string& gameDir, const std::string& gamePath) {
    std::string path = gameDir + "/";
    for (char c : gamePath) path.push_back(c == '\\' ? '/' : c);
    return path;
}

bool WritePicture(const std::string& gameDir, const NamedPicture& picture) {
    const std::string path = JoinGamePath(gameDir, picture.gamePath);
    const std::string ext = picture.gamePath.substr(picture.gamePath.size() - 4);
    if (ext == ".bmp") return WriteBmp24(path, picture.image);
    if (ext == ".tga") return WriteTga32(path, picture.image);
    return WritePngImage(path, picture.image);
}

std::vector<NamedPicture> BuildScenePictures() {
    std::vector<NamedPicture> pictures;
    pictures.push_back({"Graphics\\back_up_1.bmp", CeilingMidnight()});
    pictures.push_back({"Graphics\\back_down_1.bmp", FloorMidnight()});
    pictures.push_back({"Graphics\\back_up_2.bmp", CeilingDusk()});
    pictures.push_back({"Graphics\\back_down_2.bmp", FloorDusk()});
    pictures.push_back({"Graphics\\back_up_3.bmp", CeilingLagoon()});
    pictures.push_back({"Graphics\\back_down_3.bmp", FloorLagoon()});
    pictures.push_back({"Graphics\\horizgrd.bmp", HorizonGlow()});
    pictures.push_back({"Graphics\\back_static01.bmp", StaticBackground()});
    for (int i = 0; i < 7; ++i)
        pictures.push_back({"Graphics\\emblem_" + std::to_string(i + 1) + ".bmp", EmblemTexture(i)});
    return pictures;
}

namespace {
bool WritePictures(const AssetContext& context) {
    bool ok = true;
    for (const NamedPicture& picture : BuildScenePictures())
        ok = WritePicture(context.gameDir, picture) && ok;
    for (const NamedPicture& picture : BuildMenuPictures()) ok = WritePicture(context.gameDir, picture) && ok;
    return ok;
}

AssetGroup pictureGroup("pictures", WritePictures);
}  // namespace
