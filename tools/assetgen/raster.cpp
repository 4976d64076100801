#include "raster.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "device/image_write.h"

Colour Mix(const Colour& a, const Colour& b, float t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t, a.a + (b.a - a.a) * t};
}

Colour Scale(const Colour& c, float k) {
    return {c.r * k, c.g * k, c.b * k, c.a};
}

Colour FromHex(uint32_t rgb, float alpha) {
    return {((rgb >> 16) & 255) / 255.0f, ((rgb >> 8) & 255) / 255.0f, (rgb & 255) / 255.0f, alpha};
}

Canvas::Canvas(int w, int h, Colour fill) : width(w), height(h), pixels(static_cast<size_t>(w) * h, fill) {}

namespace {
Colour Lerp4(const Colour& c00, const Colour& c10, const Colour& c01, const Colour& c11, float fx, float fy) {
    return Mix(Mix(c00, c10, fx), Mix(c01, c11, fx), fy);
}

int Wrap(int v, int n) {
    v %= n;
    return v < 0 ? v + n : v;
}
}  // namespace

Colour Canvas::SampleWrap(float x, float y) const {
    const float sx = x - 0.5f, sy = y - 0.5f;
    const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
    const float fx = sx - ix, fy = sy - iy;
    const int x0 = Wrap(ix, width), x1 = Wrap(ix + 1, width), y0 = Wrap(iy, height),
              y1 = Wrap(iy + 1, height);
    return Lerp4(At(x0, y0), At(x1, y0), At(x0, y1), At(x1, y1), fx, fy);
}

Colour Canvas::SampleClamp(float x, float y) const {
    const float sx = x - 0.5f, sy = y - 0.5f;
    const int ix = static_cast<int>(std::floor(sx)), iy = static_cast<int>(std::floor(sy));
    const float fx = sx - ix, fy = sy - iy;
    auto cx = [&](int v) { return std::clamp(v, 0, width - 1); };
    auto cy = [&](int v) { return std::clamp(v, 0, height - 1); };
    return Lerp4(At(cx(ix), cy(iy)), At(cx(ix + 1), cy(iy)), At(cx(ix), cy(iy + 1)),
                 At(cx(ix + 1), cy(iy + 1)), fx, fy);
}

void BlendOver(Colour& dst, const Colour& src, float coverage) {
    const float sa = Clamp01(src.a * coverage);
    if (sa <= 0) return;
    const float outA = sa + dst.a * (1 - sa);
    if (outA <= 0) {
        dst = {0, 0, 0, 0};
        return;
    }
    dst.r = (src.r * sa + dst.r * dst.a * (1 - sa)) / outA;
    dst.g = (src.g * sa + dst.g * dst.a * (1 - sa)) / outA;
    dst.b = (src.b * sa + dst.b * dst.a * (1 - sa)) / outA;
    dst.a = outA;
}

void BlendAdd(Colour& dst, const Colour& src, float coverage) {
    const float k = src.a * coverage;
    dst.r += src.r * k;
    dst.g += src.g * k;
    dst.b += src.b * k;
    dst.a = std::max(dst.a, Clamp01(k));
}

float Clamp01(float x) {
    return x < 0 ? 0 : (x > 1 ? 1 : x);
}

float CoverageFromDistance(float distance) {
    return Clamp01(0.5f - distance);
}

float SmoothStep(float edge0, float edge1, float x) {
    const float t = Clamp01((x - edge0) / (edge1 - edge0));
    return t * t * (3 - 2 * t);
}

float DistanceRoundedBox(float px, float py, float cx, float cy, float halfW, float halfH, float radius) {
    const float qx = std::fabs(px - cx) - (halfW - radius);
    const float qy = std::fabs(py - cy) - (halfH - radius);
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

float DistanceCircle(float px, float py, float cx, float cy, float radius) {
    return std::hypot(px - cx, py - cy) - radius;
}

float DistanceSegment(float px, float py, Point2 a, Point2 b) {
    const float abx = b.x - a.x, aby = b.y - a.y;
    const float lengthSquared = abx * abx + aby * aby;
    float t = lengthSquared > 0 ? ((px - a.x) * abx + (py - a.y) * aby) / lengthSquared : 0;
    t = Clamp01(t);
    return std::hypot(px - (a.x + abx * t), py - (a.y + aby * t));
}

float DistancePolygon(float px, float py, const std::vector<Point2>& polygon) {
    if (polygon.size() < 3) return 1e9f;
    float best = 1e9f;
    bool inside = false;
    for (size_t i = 0, j = polygon.size() - 1; i < polygon.size(); j = i++) {
        const Point2 a = polygon[j], b = polygon[i];
        best = std::min(best, DistanceSegment(px, py, a, b));
        if ((b.y > py) != (a.y > py) && px < (a.x - b.x) * (py - b.y) / (a.y - b.y) + b.x) inside = !inside;
    }
    return inside ? -best : best;
}

void ShadeShape(Canvas& image, const DistanceFunction& distance, const DistanceShader& shader, int x0, int y0,
                int x1, int y1) {
    x0 = std::max(x0, 0);
    y0 = std::max(y0, 0);
    x1 = std::min(x1, image.width);
    y1 = std::min(y1, image.height);
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const float fx = x + 0.5f, fy = y + 0.5f;
            const Colour c = shader(distance(fx, fy), fx, fy);
            if (c.a > 0) BlendOver(image.At(x, y), c);
        }
}

uint32_t SeededRandom::Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

float SeededRandom::Uniform() {
    return (Next() >> 8) * (1.0f / 16777216.0f);
}

namespace {
float LatticeValue(int x, int y, uint32_t seed) {
    uint32_t h =
        static_cast<uint32_t>(x) * 374761393u + static_cast<uint32_t>(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return (h & 0xFFFFFF) / 16777215.0f;
}
}  // namespace

float PeriodicNoise(float x, float y, int period, uint32_t seed) {
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    float fx = x - ix, fy = y - iy;
    fx = fx * fx * (3 - 2 * fx);
    fy = fy * fy * (3 - 2 * fy);
    const int x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period), y0 = Wrap(iy, period),
              y1 = Wrap(iy + 1, period);
    const float a = LatticeValue(x0, y0, seed), b = LatticeValue(x1, y0, seed);
    const float c = LatticeValue(x0, y1, seed), d = LatticeValue(x1, y1, seed);
    return (a + (b - a) * fx) + ((c + (d - c) * fx) - (a + (b - a) * fx)) * fy;
}

float PeriodicFbm(float x, float y, int period, int octaves, uint32_t seed) {
    float sum = 0, weight = 0.5f, total = 0;
    for (int o = 0; o < octaves; ++o) {
        sum += weight * PeriodicNoise(x, y, period, seed + o * 101u);
        total += weight;
        x *= 2;
        y *= 2;
        period *= 2;
        weight *= 0.5f;
    }
    return sum / total;
}

namespace {
uint8_t ToByte(float v) {
    return static_cast<uint8_t>(std::lround(Clamp01(v) * 255.0f));
}

void Put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}
}  // namespace

std::vector<uint8_t> ToRgba8(const Canvas& image) {
    std::vector<uint8_t> out;
    out.reserve(image.pixels.size() * 4);
    for (const Colour& c : image.pixels) {
        out.push_back(ToByte(c.r));
        out.push_back(ToByte(c.g));
        out.push_back(ToByte(c.b));
        out.push_back(ToByte(c.a));
    }
    return out;
}

std::vector<uint8_t> EncodeBmp24(const Canvas& image) {
    const uint32_t rowBytes = (static_cast<uint32_t>(image.width) * 3 + 3) & ~3u;
    const uint32_t dataBytes = rowBytes * image.height;
    std::vector<uint8_t> out;
    out.reserve(54 + dataBytes);
    out.push_back('B');
    out.push_back('M');
    Put32(out, 54 + dataBytes);
    Put32(out, 0);
    Put32(out, 54);
    Put32(out, 40);
    Put32(out, image.width);
    Put32(out, image.height);  // positive: rows stored bottom-up
    Put16(out, 1);
    Put16(out, 24);
    Put32(out, 0);  // no compression
    Put32(out, dataBytes);
    Put32(out, 2835);  // 72 dpi
    Put32(out, 2835);
    Put32(out, 0);
    Put32(out, 0);
    for (int y = image.height - 1; y >= 0; --y) {
        for (int x = 0; x < image.width; ++x) {
            const Colour& c = image.At(x, y);
            out.push_back(ToByte(c.b));
            out.push_back(ToByte(c.g));
            out.push_back(ToByte(c.r));
        }
        for (uint32_t pad = image.width * 3; pad < rowBytes; ++pad) out.push_back(0);
    }
    return out;
}

std::vector<uint8_t> EncodeTga32(const Canvas& image) {
    std::vector<uint8_t> out;
    out.reserve(18 + image.pixels.size() * 4);
    out.push_back(0);  // no image id
    out.push_back(0);  // no colour map
    out.push_back(2);  // uncompressed true colour
    for (int i = 0; i < 5; ++i) out.push_back(0);
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, image.width);
    Put16(out, image.height);
    out.push_back(32);
    out.push_back(8);  // 8 alpha bits, origin bottom-left: rows stored bottom-up
    for (int y = image.height - 1; y >= 0; --y)
        for (int x = 0; x < image.width; ++x) {
            const Colour& c = image.At(x, y);
            out.push_back(ToByte(c.b));
            out.push_back(ToByte(c.g));
            out.push_back(ToByte(c.r));
            out.push_back(ToByte(c.a));
        }
    return out;
}

bool WriteBytes(const std::string& nativePath, const std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(nativePath.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && ok;
}

bool WriteText(const std::string& nativePath, const std::string& text) {
    return WriteBytes(nativePath, std::vector<uint8_t>(text.begin(), text.end()));
}

bool WriteBmp24(const std::string& nativePath, const Canvas& image) {
    return WriteBytes(nativePath, EncodeBmp24(image));
}
bool WriteTga32(const std::string& nativePath, const Canvas& image) {
    return WriteBytes(nativePath, EncodeTga32(image));
}

bool WritePngImage(const std::string& nativePath, const Canvas& image) {
    const std::vector<uint8_t> rgba = ToRgba8(image);
    return WritePng(nativePath, image.width, image.height, rgba);
}

Canvas Resize(const Canvas& image, int width, int height) {
    Canvas out(width, height);
    const float sx = static_cast<float>(image.width) / width, sy = static_cast<float>(image.height) / height;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            if (sx <= 1 && sy <= 1) {
                out.At(x, y) = image.SampleClamp((x + 0.5f) * sx, (y + 0.5f) * sy);
                continue;
            }
            // Box filter over the source footprint, weighting colours by alpha.
            const int x0 = static_cast<int>(x * sx), x1 = std::max(x0 + 1, static_cast<int>((x + 1) * sx));
            const int y0 = static_cast<int>(y * sy), y1 = std::max(y0 + 1, static_cast<int>((y + 1) * sy));
            Colour sum{0, 0, 0, 0};
            int n = 0;
            for (int v = y0; v < y1 && v < image.height; ++v)
                for (int u = x0; u < x1 && u < image.width; ++u) {
                    const Colour& c = image.At(u, v);
                    sum.r += c.r * c.a;
                    sum.g += c.g * c.a;
                    sum.b += c.b * c.a;
                    sum.a += c.a;
                    ++n;
                }
            if (n == 0) continue;
            out.At(x, y) = sum.a > 0 ? Colour{sum.r / sum.a, sum.g / sum.a, sum.b / sum.a, sum.a / n}
                                     : Colour{0, 0, 0, 0};
        }
    return out;
}

void Paste(Canvas& dst, const Canvas& src, int x, int y) {
    for (int v = 0; v < src.height; ++v)
        for (int u = 0; u < src.width; ++u) {
            const int tx = x + u, ty = y + v;
            if (tx < 0 || ty < 0 || tx >= dst.width || ty >= dst.height) continue;
            BlendOver(dst.At(tx, ty), src.At(u, v));
        }
}
