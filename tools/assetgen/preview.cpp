// The "preview" group (only with --preview DIR): contact sheets of the 2D pictures, the font sheet
// with sample lines laid out the way the game lays out text, and a software rendering of the meshes
// in the game's camera and light: the glass, rows of every cell style, a preview piece and both bonus
// items over the static background.
#include <algorithm>
#include <cmath>
#include <cstdio>

#include "graphics_assets.h"

namespace {
constexpr float Pi = 3.14159265358979f;

Canvas Checkerboard(int width, int height) {
    Canvas image(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.At(x, y) =
                ((x / 16 + y / 16) % 2) ? Colour{0.30f, 0.30f, 0.34f, 1} : Colour{0.22f, 0.22f, 0.26f, 1};
    return image;
}

Canvas ContactSheet(const std::vector<NamedPicture>& pictures, int cell) {
    const int columns = 4, rows = static_cast<int>((pictures.size() + columns - 1) / columns);
    Canvas sheet = Checkerboard(columns * cell, std::max(1, rows) * cell);
    for (size_t i = 0; i < pictures.size(); ++i) {
        const Canvas& src = pictures[i].image;
        const float k =
            std::min(static_cast<float>(cell - 8) / src.width, static_cast<float>(cell - 8) / src.height);
        const int w = std::max(1, static_cast<int>(src.width * k)),
                  h = std::max(1, static_cast<int>(src.height * k));
        const Canvas thumb = Resize(src, w, h);
        const int x = static_cast<int>(i % columns) * cell + (cell - w) / 2,
                  y = static_cast<int>(i / columns) * cell + (cell - h) / 2;
        Paste(sheet, thumb, x, y);
    }
    return sheet;
}

// Lays out text as the game does: glyph quads one cell wide, centred on their places, spaced by the
// glyph widths, showing the cell without its top 0.08 and right 0.06.
void DrawSampleText(Canvas& target, const FontSheet& font, const std::u32string& text, float left,
                    float centreY, float size) {
    float pen = left;
    for (char32_t ch : text) {
        int cell = -1;
        for (size_t i = 0; i < font.codepoints.size(); ++i)
            if (font.codepoints[i] == ch) {
                cell = static_cast<int>(i);
                break;
            }
        const float width = cell >= 0 ? size * font.widths16[cell] / 16 : size;
        if (cell >= 0) {
            const float cx = pen + width / 2;
            const int column = cell % 16, row = cell / 16;
            const float u0 = column * 64.0f, v0 = row * 64.0f + 0.08f * 64;
            const float su = 0.94f * 64, sv = 0.92f * 64;
            for (int y = static_cast<int>(centreY - size / 2); y < static_cast<int>(centreY + size / 2); ++y)
                for (int x = static_cast<int>(cx - size / 2); x < static_cast<int>(cx + size / 2); ++x) {
                    if (x < 0 || y < 0 || x >= target.width || y >= target.height) continue;
                    const float fu = (x + 0.5f - (cx - size / 2)) / size,
                                fv = (y + 0.5f - (centreY - size / 2)) / size;
                    BlendOver(target.At(x, y), font.image.SampleClamp(u0 + fu * su, v0 + fv * sv));
                }
        }
        pen += width;
    }
}

// --- a small rasteriser with the scene's camera and light --------------------------------------

struct Raster {
    Canvas colour;
    std::vector<float> depth;
    Matrix viewProjection;
};

struct LitVertex {
    float sx = 0, sy = 0, z = 0, invW = 0;
    Colour colour;
    float u = 0, v = 0;
};

Colour Light(const XMaterial& m, const Vector3& normal, const Vector3& position, float intensity) {
    const Vector3 toLight = Normalize({1, 2, -1});
    const float diffuse = std::max(0.0f, Dot(normal, toLight)) * intensity;
    const Vector3 toEye = Normalize(Subtract({0, 0, -5}, position));
    const Vector3 half = Normalize({toLight.x + toEye.x, toLight.y + toEye.y, toLight.z + toEye.z});
    const float highlight = m.power > 0 ? std::pow(std::max(0.0f, Dot(normal, half)), m.power) : 0;
    const float ambient = intensity;  // ambient grey equals the light's intensity
    return {m.diffuse[0] * (ambient + diffuse) + m.emissive[0] + m.specular[0] * highlight,
            m.diffuse[1] * (ambient + diffuse) + m.emissive[1] + m.specular[1] * highlight,
            m.diffuse[2] * (ambient + diffuse) + m.emissive[2] + m.specular[2] * highlight, m.diffuse[3]};
}

void DrawMesh(Raster& r, const XMesh& mesh, const Matrix& world, float intensity, bool blendedPass,
              const std::vector<NamedPicture>& textures) {
    const int w = r.colour.width, h = r.colour.height;
    for (const XFace& face : mesh.faces) {
        const XMaterial& m = mesh.materials[face.material];
        if ((m.diffuse[3] < 1) != blendedPass) continue;
        const Canvas* texture = nullptr;
        for (const NamedPicture& p : textures)
            if (!m.texture.empty() && p.gamePath == "Graphics\\" + m.texture) texture = &p.image;
        LitVertex v[3];
        const uint32_t idx[3] = {face.a, face.b, face.c};
        for (int k = 0; k < 3; ++k) {
            const Vector4 wp = TransformPoint(mesh.positions[idx[k]], world);
            Matrix rotation = world;
            rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0;
            const Vector4 wn = TransformPoint(mesh.normals[idx[k]], rotation);
            const Vector4 clip = TransformPoint({wp.x, wp.y, wp.z}, r.viewProjection);
            v[k].invW = 1 / clip.w;
            v[k].sx = (clip.x * v[k].invW + 1) * 0.5f * w;
            v[k].sy = (1 - clip.y * v[k].invW) * 0.5f * h;
            v[k].z = clip.z * v[k].invW;
            v[k].colour = Light(m, Normalize({wn.x, wn.y, wn.z}), {wp.x, wp.y, wp.z}, intensity);
            v[k].u = mesh.u[idx[k]];
            v[k].v = mesh.v[idx[k]];
        }
        // Screen y runs down, so a clockwise front face has a positive area here.
        const float area =
            (v[1].sx - v[0].sx) * (v[2].sy - v[0].sy) - (v[2].sx - v[0].sx) * (v[1].sy - v[0].sy);
        if (area <= 0) continue;
        const int x0 = std::max(0, static_cast<int>(std::floor(std::min({v[0].sx, v[1].sx, v[2].sx}))));
        const int x1 = std::min(w - 1, static_cast<int>(std::ceil(std::max({v[0].sx, v[1].sx, v[2].sx}))));
        const int y0 = std::max(0, static_cast<int>(std::floor(std::min({v[0].sy, v[1].sy, v[2].sy}))));
        const int y1 = std::min(h - 1, static_cast<int>(std::ceil(std::max({v[0].sy, v[1].sy, v[2].sy}))));
        for (int y = y0; y <= y1; ++y)
            for (int x = x0; x <= x1; ++x) {
                const float px = x + 0.5f, py = y + 0.5f;
                float b[3];
                for (int k = 0; k < 3; ++k) {
                    const LitVertex& a = v[(k + 1) % 3];
                    const LitVertex& c = v[(k + 2) % 3];
                    b[k] = ((c.sx - a.sx) * (py - a.sy) - (px - a.sx) * (c.sy - a.sy)) / area;
                }
                if (b[0] < 0 || b[1] < 0 || b[2] < 0) continue;
                const float z = b[0] * v[0].z + b[1] * v[1].z + b[2] * v[2].z;
                float& stored = r.depth[static_cast<size_t>(y) * w + x];
                if (z > stored) continue;
                const float iw = b[0] * v[0].invW + b[1] * v[1].invW + b[2] * v[2].invW;
                Colour c{0, 0, 0, 0};
                float u = 0, tv = 0;
                for (int k = 0; k < 3; ++k) {
                    const float wk = b[k] * v[k].invW / iw;
                    c.r += v[k].colour.r * wk;
                    c.g += v[k].colour.g * wk;
                    c.b += v[k].colour.b * wk;
                    c.a += v[k].colour.a * wk;
                    u += v[k].u * wk;
                    tv += v[k].v * wk;
                }
                if (texture) {
                    const Colour t = texture->SampleClamp(u * texture->width, tv * texture->height);
                    c.r *= t.r, c.g *= t.g, c.b *= t.b;
                }
                c.r = Clamp01(c.r), c.g = Clamp01(c.g), c.b = Clamp01(c.b);
                if (blendedPass) {
                    BlendOver(r.colour.At(x, y), c);
                } else {
                    r.colour.At(x, y) = {c.r, c.g, c.b, 1};
                    stored = z;
                }
            }
    }
}

Canvas RenderMeshes(const std::vector<NamedMesh>& meshes, const std::vector<NamedPicture>& scene) {
    Raster r;
    r.colour = Canvas(800, 600);
    for (const NamedPicture& p : scene)
        if (p.gamePath == "Graphics\\back_static01.bmp") r.colour = p.image;
    r.depth.assign(size_t{800} * 600, 1.0f);
    const float c = 1 / std::tan(Pi / 8), q = 100.0f / 99.0f;
    Matrix projection;
    projection.m[0][0] = 0.75f * c;
    projection.m[1][1] = c;
    projection.m[2][2] = q;
    projection.m[2][3] = 1;
    projection.m[3][2] = -q;
    r.viewProjection = MatrixLookAtLH({0, 0, -5}, {0, 0, 22}, {0, 1, 0}) * projection;
    auto find = [&](const std::string& name) -> const XMesh* {
        for (const NamedMesh& m : meshes)
            if (m.fileName == name) return &m.mesh;
        return nullptr;
    };
    struct Draw {
        const XMesh* mesh;
        Matrix world;
        float intensity;
    };
    std::vector<Draw> draws;
    if (const XMesh* glass = find("glass.x"))
        draws.push_back(
            {glass, MatrixRotationX(-Pi / 2) * MatrixRotationY(Pi) * MatrixTranslation(0, -0.5f, 22), 0.55f});
    for (int style = 0; style < 5; ++style)
        for (int colour = 0; colour < 7; ++colour) {
            char name[32];
            std::snprintf(name, sizeof name, "cell_t%d_%d.x", style + 1, colour + 1);
            const int column = 3 + colour, row = 20 - 2 * style;
            if (const XMesh* cell = find(name))
                draws.push_back({cell, MatrixTranslation(column - 6.5f, 10.5f - row, 22), 0.55f});
        }
    // The next-piece preview: a T piece of style 5 turned over about X, as the game shows it.
    const int tOffsets[4][2] = {{0, 0}, {0, -1}, {-1, 0}, {1, 0}};
    for (const auto& o : tOffsets)
        if (const XMesh* cell = find("cell_t5_5.x"))
            draws.push_back({cell,
                             MatrixTranslation(static_cast<float>(o[0]), static_cast<float>(o[1]), 0) *
                                 MatrixRotationX(Pi) * MatrixRotationY(0.3f) * MatrixTranslation(10, 1, 22),
                             0.55f});
    if (const XMesh* bonus = find("bonus.x"))
        draws.push_back(
            {bonus,
             MatrixRotationX(-Pi / 2) * MatrixRotationY(0.5f) * MatrixTranslation(4 - 6.5f, 11.05f - 6, 22),
             1.0f});
    if (const XMesh* bonus = find("bonus2.x"))
        draws.push_back(
            {bonus,
             MatrixRotationX(-Pi / 2) * MatrixRotationY(0.4f) * MatrixTranslation(9 - 6.5f, 11.05f - 6, 22),
             1.0f});
    for (const Draw& d : draws) DrawMesh(r, *d.mesh, d.world, d.intensity, false, scene);
    for (const Draw& d : draws) DrawMesh(r, *d.mesh, d.world, d.intensity, true, scene);
    return r.colour;
}

}  // namespace

Canvas RenderMeshPicture(const XMesh& mesh, float turn, int size) {
    // Drawn three times larger and boxed down, for smooth edges; the camera stands 1.6 units in front
    // of the mesh, whose own half size is about half a unit.
    constexpr int Oversample = 3;
    const int large = size * Oversample;
    Raster r;
    r.colour = Canvas(large, large, {0, 0, 0, 0});
    r.depth.assign(static_cast<size_t>(large) * large, 1.0f);
    const float c = 1 / std::tan(Pi / 8), q = 100.0f / 99.0f;
    Matrix projection;
    projection.m[0][0] = c;
    projection.m[1][1] = c;
    projection.m[2][2] = q;
    projection.m[2][3] = 1;
    projection.m[3][2] = -q;
    r.viewProjection = MatrixLookAtLH({0, 0, -1.6f}, {0, 0, 0}, {0, 1, 0}) * projection;
    const Matrix world = MatrixRotationX(-Pi / 2) * MatrixRotationY(turn);
    DrawMesh(r, mesh, world, 1.0f, false, {});
    DrawMesh(r, mesh, world, 1.0f, true, {});
    return Resize(r.colour, size, size);
}

namespace {

bool WritePreviewGroup(const AssetContext& context) {
    if (context.previewDir.empty()) return true;
    const FontSheet font = BuildFontSheet();
    const std::vector<NamedPicture> scene = BuildScenePictures();
    const std::vector<NamedPicture> menu = BuildMenuPictures();
    const std::vector<NamedMesh> meshes = BuildAllMeshes();
    return WritePreviews(context, font, scene, menu, meshes);
}

AssetGroup previewGroup("preview", WritePreviewGroup);
}  // namespace

bool WritePreviews(const AssetContext& context, const FontSheet& font, const std::vector<NamedPicture>& scene,
                   const std::vector<NamedPicture>& menu, const std::vector<NamedMesh>& meshes) {
    const std::string dir = context.previewDir + "/";
    Canvas fontSheet = Checkerboard(1024, 512 + 260);
    Paste(fontSheet, font.image, 0, 0);
    DrawSampleText(fontSheet, font, U"Level 12   Score 48250   Time 3:07", 12, 512 + 40, 40);
    DrawSampleText(fontSheet, font, U"Farbblöcke · Größe · Übung · Äpfel", 12, 512 + 100, 40);
    DrawSampleText(fontSheet, font, U"Game Over", 12, 512 + 190, 110);
    bool ok = WritePngImage(dir + "font.png", fontSheet);
    ok = WritePngImage(dir + "scene_pictures.png", ContactSheet(scene, 256)) && ok;
    ok = WritePngImage(dir + "menu_pictures.png", ContactSheet(menu, 256)) && ok;
    ok = WritePngImage(dir + "meshes.png", RenderMeshes(meshes, scene)) && ok;
    return ok;
}
