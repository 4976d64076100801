// A small software raster for the generated pictures: float RGBA images (straight alpha, 0..1),
// anti-aliased shapes drawn from signed distances, compositing, periodic noise for seamless tiles,
// and the exact file formats the game reads (24-bit BMP bottom-up, 32-bit TGA bottom-up, PNG).
// Everything is deterministic: no clock, and the only random source is the seeded generator below.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct Colour {
    float r = 0, g = 0, b = 0, a = 1;
};

Colour Mix(const Colour& a, const Colour& b, float t);
Colour Scale(const Colour& c, float k);  // scales r, g, b; keeps alpha
Colour FromHex(uint32_t rgb, float alpha = 1);

struct Canvas {
    int width = 0, height = 0;
    std::vector<Colour> pixels;  // top row first

    Canvas() = default;
    Canvas(int w, int h, Colour fill = {0, 0, 0, 0});
    Colour& At(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    const Colour& At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    // Wrapping bilinear sample at pixel coordinates (pixel centres at +0.5).
    Colour SampleWrap(float x, float y) const;
    Colour SampleClamp(float x, float y) const;
};

// "Source over" with coverage scaling the source's alpha.
void BlendOver(Colour& dst, const Colour& src, float coverage = 1);
// Adds the source's colour times coverage (glows); alpha becomes the larger of both.
void BlendAdd(Colour& dst, const Colour& src, float coverage = 1);

// Coverage of a pixel from a signed distance in pixels (negative inside), one-pixel soft edge.
float CoverageFromDistance(float distance);
float SmoothStep(float edge0, float edge1, float x);
float Clamp01(float x);

// Signed distances in pixels (negative inside).
float DistanceRoundedBox(float px, float py, float cx, float cy, float halfW, float halfH, float radius);
float DistanceCircle(float px, float py, float cx, float cy, float radius);
struct Point2 {
    float x = 0, y = 0;
};
float DistancePolygon(float px, float py, const std::vector<Point2>& polygon);
float DistanceSegment(float px, float py, Point2 a, Point2 b);

// Shades every pixel from its signed distance to a shape: shader(distance, x, y) returns the colour
// and the coverage is taken from its alpha; pixels outside maxOutside are skipped for speed.
using DistanceFunction = std::function<float(float x, float y)>;
using DistanceShader = std::function<Colour(float distance, float x, float y)>;
void ShadeShape(Canvas& image, const DistanceFunction& distance, const DistanceShader& shader, int x0, int y0,
                int x1, int y1);

// Deterministic generator (xorshift32) for sprinkles and jitter.
class SeededRandom {
public:
    explicit SeededRandom(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next();
    float Uniform();  // [0, 1)
    float Range(float lo, float hi) { return lo + (hi - lo) * Uniform(); }

private:
    uint32_t state;
};

// Value noise that repeats every `period` lattice cells in x and y (seamless when tiled), 0..1.
float PeriodicNoise(float x, float y, int period, uint32_t seed);
// Sum of octaves, each with twice the lattice and half the weight; the first has `period` cells.
float PeriodicFbm(float x, float y, int period, int octaves, uint32_t seed);

// Pixels as bytes, rounded: RGBA 8 bits each, top row first.
std::vector<uint8_t> ToRgba8(const Canvas& image);
bool WriteBmp24(const std::string& nativePath, const Canvas& image);
bool WriteTga32(const std::string& nativePath, const Canvas& image);
bool WritePngImage(const std::string& nativePath, const Canvas& image);

// File bytes of the same formats, for tests and for writing.
std::vector<uint8_t> EncodeBmp24(const Canvas& image);
std::vector<uint8_t> EncodeTga32(const Canvas& image);
bool WriteBytes(const std::string& nativePath, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& nativePath, const std::string& text);

// Scales an image with box filtering (down) or bilinear (up) to the given size.
Canvas Resize(const Canvas& image, int width, int height);
// Pastes src into dst with its top-left corner at (x, y), source over.
void Paste(Canvas& dst, const Canvas& src, int x, int y);
