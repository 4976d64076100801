// The "meshes" group: the 35 cell meshes (five styles in seven colours), the well's glass and the
// two bonus items, written as text .x files into Graphics\.
//
// Cells: origin at the cell's centre, 0.94 units wide so neighbours show a thin gap. The seven colours
// were searched for so that every pair stays clearly apart as drawn, for normal colour vision and for
// the three full colour-vision deficiencies: on the front faces, which the scene lights to between
// three quarters (ambient 0.55 plus the key light from the upper right front) and all of the file's
// colour (the gem's glow), each pair differs by CIEDE2000 29 or more, 14 or more for a colour-blind
// viewer. Lightness carries much of that: the set runs from the deep red to the pale pearl. Style 5
// adds an emblem per colour on the front and the back (pieces in the preview are shown turned over
// about X, so the back's emblem is mapped to read upright then).
#include <array>
#include <cmath>
#include <cstdio>
#include <map>

#include "graphics_assets.h"

namespace {
constexpr float Pi = 3.14159265358979f;
constexpr float CellHalf = 0.47f;

// Red, orange, yellow, jade, azure, magenta, pearl.
const float Palette[7][3] = {{0.97f, 0.03f, 0.09f}, {1.00f, 0.60f, 0.00f}, {1.00f, 1.00f, 0.00f},
                             {0.08f, 0.84f, 0.63f}, {0.07f, 0.54f, 1.00f}, {0.91f, 0.04f, 0.66f},
                             {0.89f, 0.89f, 1.00f}};

Vector3 Add(const Vector3& a, const Vector3& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vector3 Mul(const Vector3& a, float k) {
    return {a.x * k, a.y * k, a.z * k};
}

// A triangle whose corners are put in clockwise order as seen from the side `outward` points to.
void AddOriented(XMesh& mesh, Vector3 a, Vector3 b, Vector3 c, Vector3 na, Vector3 nb, Vector3 nc,
                 const float* uv, uint32_t material, const Vector3& outward) {
    float uvs[6] = {0, 0, 0, 0, 0, 0};
    if (uv)
        for (int i = 0; i < 6; ++i) uvs[i] = uv[i];
    if (Dot(Cross(Subtract(b, a), Subtract(c, a)), outward) < 0) {
        std::swap(b, c);
        std::swap(nb, nc);
        std::swap(uvs[2], uvs[4]);
        std::swap(uvs[3], uvs[5]);
    }
    const uint32_t i = mesh.AddVertex(a, na, uvs[0], uvs[1]);
    const uint32_t j = mesh.AddVertex(b, nb, uvs[2], uvs[3]);
    const uint32_t k = mesh.AddVertex(c, nc, uvs[4], uvs[5]);
    mesh.AddFace(i, j, k, material);
}

// A flat convex polygon (corners in cycle order), facing away from `inside`.
void AddConvexFlat(XMesh& mesh, const std::vector<Vector3>& points, uint32_t material, const Vector3& inside,
                   const std::vector<float>& uv = {}) {
    Vector3 centroid{};
    for (const Vector3& p : points) centroid = Add(centroid, Mul(p, 1.0f / points.size()));
    Vector3 normal = Normalize(Cross(Subtract(points[1], points[0]), Subtract(points[2], points[0])));
    if (Dot(normal, Subtract(centroid, inside)) < 0) normal = Mul(normal, -1);
    for (size_t i = 1; i + 1 < points.size(); ++i) {
        float tri[6] = {0, 0, 0, 0, 0, 0};
        if (!uv.empty()) {
            tri[0] = uv[0], tri[1] = uv[1];
            tri[2] = uv[2 * i], tri[3] = uv[2 * i + 1];
            tri[4] = uv[2 * i + 2], tri[5] = uv[2 * i + 3];
        }
        AddOriented(mesh, points[0], points[i], points[i + 1], normal, normal, normal,
                    uv.empty() ? nullptr : tri, material, normal);
    }
}

// An axis-aligned box, every face outwards.
void AddBox(XMesh& mesh, Vector3 lo, Vector3 hi, uint32_t material) {
    const Vector3 centre = Mul(Add(lo, hi), 0.5f);
    auto p = [&](int i) {
        return Vector3{(i & 1) ? hi.x : lo.x, (i & 2) ? hi.y : lo.y, (i & 4) ? hi.z : lo.z};
    };
    const int faces[6][4] = {{0, 2, 6, 4}, {1, 3, 7, 5}, {0, 1, 5, 4},
                             {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 5, 7, 6}};
    for (const auto& f : faces) AddConvexFlat(mesh, {p(f[0]), p(f[1]), p(f[2]), p(f[3])}, material, centre);
}

XMaterial MakeMaterial(const float rgb[3], float alpha, float power, float specular, float emissive,
                       const std::string& texture = "") {
    XMaterial m;
    for (int i = 0; i < 3; ++i) {
        m.diffuse[i] = std::fmin(1.0f, rgb[i]);
        m.specular[i] = specular;
        m.emissive[i] = rgb[i] * emissive;
    }
    m.diffuse[3] = alpha;
    m.power = power;
    m.texture = texture;
    return m;
}

Vector3 Axis(int axis, float value) {
    Vector3 v{};
    (axis == 0 ? v.x : axis == 1 ? v.y : v.z) = value;
    return v;
}

// A cube of half size h with its edges cut by b: 6 faces, 12 edge strips, 8 corner triangles.
// The faces towards -Z and +Z take `capMaterial` with texture coordinates over the face.
void AddChamferedCube(XMesh& mesh, float h, float b, uint32_t material, uint32_t capMaterial) {
    const float in = h - b;
    const Vector3 origin{};
    for (int axis = 0; axis < 3; ++axis)
        for (int sign = -1; sign <= 1; sign += 2) {
            const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
            std::vector<Vector3> points;
            const float corners[4][2] = {{-1, -1}, {1, -1}, {1, 1}, {-1, 1}};
            for (const auto& c : corners)
                points.push_back(Add(Add(Axis(axis, sign * h), Axis(a1, c[0] * in)), Axis(a2, c[1] * in)));
            std::vector<float> uv;
            uint32_t m = material;
            if (axis == 2) {
                m = capMaterial;
                for (const Vector3& p : points) {
                    uv.push_back((p.x + in) / (2 * in));
                    // Front: texture top at the top. Back: mapped so it reads upright when turned over about
                    // X.
                    uv.push_back(sign < 0 ? (in - p.y) / (2 * in) : (p.y + in) / (2 * in));
                }
            }
            AddConvexFlat(mesh, points, m, origin, uv);
        }
    for (int axis = 0; axis < 3; ++axis) {
        const int other = (axis + 1) % 3, third = (axis + 2) % 3;
        for (int sa = -1; sa <= 1; sa += 2)
            for (int so = -1; so <= 1; so += 2) {
                auto point = [&](float ca, float co, float ct) {
                    return Add(Add(Axis(axis, sa * ca), Axis(other, so * co)), Axis(third, ct));
                };
                AddConvexFlat(mesh,
                              {point(h, in, -in), point(h, in, in), point(in, h, in), point(in, h, -in)},
                              material, origin);
            }
    }
    for (int sx = -1; sx <= 1; sx += 2)
        for (int sy = -1; sy <= 1; sy += 2)
            for (int sz = -1; sz <= 1; sz += 2)
                AddConvexFlat(
                    mesh,
                    {{sx * h, sy * in, sz * in}, {sx * in, sy * h, sz * in}, {sx * in, sy * in, sz * h}},
                    material, origin);
}

XMesh FlatCube(int colour) {
    XMesh mesh;
    mesh.materials.push_back(MakeMaterial(Palette[colour], 1, 6, 0.12f, 0.06f));
    AddBox(mesh, {-CellHalf, -CellHalf, -CellHalf}, {CellHalf, CellHalf, CellHalf}, 0);
    return mesh;
}

XMesh BevelledCube(int colour) {
    XMesh mesh;
    mesh.materials.push_back(MakeMaterial(Palette[colour], 1, 18, 0.35f, 0.06f));
    AddChamferedCube(mesh, CellHalf, 0.09f, 0, 0);
    return mesh;
}

// A rounded cube: each face a 3 x 3 grid whose outer rows wrap round the edges, smooth normals. One
// segment per quarter of the rounding is enough at the size cells are seen, and the well draws 240 of
// them: on a software renderer every triangle counts.
XMesh RoundedCube(int colour) {
    XMesh mesh;
    mesh.materials.push_back(MakeMaterial(Palette[colour], 1, 40, 0.85f, 0.05f));
    const float h = CellHalf, r = 0.13f, core = h - r;
    constexpr int GridPoints = 4;
    const float grid[GridPoints] = {-h, -core, core, h};
    auto project = [&](const Vector3& p, Vector3& normal) {
        const Vector3 inner{std::fmax(-core, std::fmin(core, p.x)), std::fmax(-core, std::fmin(core, p.y)),
                            std::fmax(-core, std::fmin(core, p.z))};
        const Vector3 d = Subtract(p, inner);
        normal = Normalize(d);
        return Add(inner, Mul(normal, r));
    };
    // Neighbouring faces meet in the middle of each rounding with the same point and normal: they share
    // those vertices (56 in all instead of 96), as every vertex is lit once per cell drawn.
    std::map<std::array<long, 3>, uint32_t> vertexAt;
    auto shared = [&](const Vector3& p, const Vector3& normal) {
        const std::array<long, 3> key{std::lround(p.x * 1e5f), std::lround(p.y * 1e5f),
                                      std::lround(p.z * 1e5f)};
        auto [entry, added] = vertexAt.try_emplace(key, 0);
        if (added) entry->second = mesh.AddVertex(p, normal, 0, 0);
        return entry->second;
    };
    for (int axis = 0; axis < 3; ++axis)
        for (int sign = -1; sign <= 1; sign += 2) {
            const int a1 = (axis + 1) % 3, a2 = (axis + 2) % 3;
            const Vector3 outward = Axis(axis, static_cast<float>(sign));
            uint32_t index[GridPoints][GridPoints];
            for (int i = 0; i < GridPoints; ++i)
                for (int j = 0; j < GridPoints; ++j) {
                    Vector3 normal;
                    const Vector3 p =
                        project(Add(Add(Axis(axis, sign * h), Axis(a1, grid[i])), Axis(a2, grid[j])), normal);
                    index[i][j] = shared(p, normal);
                }
            for (int i = 0; i + 1 < GridPoints; ++i)
                for (int j = 0; j + 1 < GridPoints; ++j) {
                    uint32_t q[4] = {index[i][j], index[i + 1][j], index[i + 1][j + 1], index[i][j + 1]};
                    const Vector3 a = mesh.positions[q[0]], b = mesh.positions[q[1]],
                                  c = mesh.positions[q[2]];
                    if (Dot(Cross(Subtract(b, a), Subtract(c, a)), outward) < 0) std::swap(q[1], q[3]);
                    mesh.AddFace(q[0], q[1], q[2], 0);
                    mesh.AddFace(q[0], q[2], q[3], 0);
                }
        }
    return mesh;
}

// A cut gem seen face on: an octagonal girdle, sloping crown facets and a flat table, the same on both sides.
XMesh CutGem(int colour) {
    XMesh mesh;
    mesh.materials.push_back(MakeMaterial(Palette[colour], 1, 70, 1.0f, 0.22f));
    const float outer = CellHalf, corner = 0.25f, girdle = 0.10f, table = 0.40f, tableScale = 0.52f;
    std::vector<Vector3> ring;
    const float xy[8][2] = {{-corner, outer}, {corner, outer},   {outer, corner},   {outer, -corner},
                            {corner, -outer}, {-corner, -outer}, {-outer, -corner}, {-outer, corner}};
    for (const auto& p : xy) ring.push_back({p[0], p[1], 0});
    const Vector3 origin{};
    // Each crown facet is split at its outer edge's middle, raised a little, so it catches two lights.
    auto raisedMiddle = [&](int i, int side) {
        const int j = (i + 1) % 8;
        return Vector3{(ring[i].x + ring[j].x) * 0.5f, (ring[i].y + ring[j].y) * 0.5f,
                       side * (girdle + 0.05f)};
    };
    for (int side = -1; side <= 1; side += 2) {
        std::vector<Vector3> top;
        top.reserve(ring.size());
        for (const Vector3& p : ring) top.push_back({p.x * tableScale, p.y * tableScale, side * table});
        AddConvexFlat(mesh, top, 0, origin);
        for (int i = 0; i < 8; ++i) {
            const int j = (i + 1) % 8;
            const Vector3 a{ring[i].x, ring[i].y, side * girdle}, b{ring[j].x, ring[j].y, side * girdle};
            const Vector3 mid = raisedMiddle(i, side);
            AddConvexFlat(mesh, {a, mid, top[i]}, 0, origin);
            AddConvexFlat(mesh, {mid, b, top[j]}, 0, origin);
            AddConvexFlat(mesh, {mid, top[j], top[i]}, 0, origin);
        }
    }
    // The girdle band reaches up to the raised middles on both sides, so it meets the crown edge for
    // edge and leaves no gap.
    for (int i = 0; i < 8; ++i) {
        const int j = (i + 1) % 8;
        AddConvexFlat(mesh,
                      {{ring[i].x, ring[i].y, -girdle},
                       raisedMiddle(i, -1),
                       {ring[j].x, ring[j].y, -girdle},
                       {ring[j].x, ring[j].y, girdle},
                       raisedMiddle(i, 1),
                       {ring[i].x, ring[i].y, girdle}},
                      0, origin);
    }
    return mesh;
}

XMesh EmblemCube(int colour) {
    XMesh mesh;
    mesh.materials.push_back(MakeMaterial(Palette[colour], 1, 18, 0.35f, 0.06f));
    char texture[32];
    std::snprintf(texture, sizeof texture, "emblem_%d.bmp", colour + 1);
    mesh.materials.push_back(MakeMaterial(Palette[colour], 1, 18, 0.35f, 0.06f, texture));
    AddChamferedCube(mesh, CellHalf, 0.07f, 0, 1);
    return mesh;
}

// The glass in the frame the scene draws it with: world = Rx(-pi/2) x Ry(pi) x T(0, -0.5, 22), which
// takes a model point (x, y, z) to (-x, z - 0.5, y + 22). The parts are laid out in world coordinates
// around the cell volume (X -6..6, Y -10..10, Z 21.5..22.5) and taken back through the inverse.
XMesh Glass() {
    XMesh mesh;
    const float steel[3] = {0.20f, 0.26f, 0.44f}, trim[3] = {0.55f, 0.63f, 0.82f};
    const float glass[3] = {0.35f, 0.50f, 0.80f}, guide[3] = {0.75f, 0.85f, 1.0f};
    mesh.materials.push_back(MakeMaterial(steel, 1, 30, 0.55f, 0.10f));
    mesh.materials.push_back(MakeMaterial(trim, 1, 50, 0.9f, 0.15f));
    mesh.materials.push_back(MakeMaterial(glass, 0.35f, 60, 0.8f, 0.10f));
    mesh.materials.push_back(MakeMaterial(guide, 0.16f, 10, 0.2f, 0.3f));
    const float wall = 0.4f, front = 21.35f, back = 22.7f, top = 10.25f;
    AddBox(mesh, {-6 - wall, -10 - wall, front}, {-6, top, back}, 0);
    AddBox(mesh, {6, -10 - wall, front}, {6 + wall, top, back}, 0);
    AddBox(mesh, {-6, -10 - wall, front}, {6, -10, back}, 0);
    // Bright trim on the front edges and caps on the walls.
    AddBox(mesh, {-6 - wall - 0.05f, -10 - wall - 0.05f, front - 0.06f}, {-6 + 0.0f, top + 0.05f, front}, 1);
    AddBox(mesh, {6, -10 - wall - 0.05f, front - 0.06f}, {6 + wall + 0.05f, top + 0.05f, front}, 1);
    AddBox(mesh, {-6, -10 - wall - 0.05f, front - 0.06f}, {6, -10, front}, 1);
    AddBox(mesh, {-6 - wall - 0.05f, top, front - 0.06f}, {-6, top + 0.12f, back}, 1);
    AddBox(mesh, {6, top, front - 0.06f}, {6 + wall + 0.05f, top + 0.12f, back}, 1);
    // The tinted back panel and faint column guides on it, facing the camera.
    const float panel = 22.6f;
    AddConvexFlat(mesh, {{-6, -10, panel}, {6, -10, panel}, {6, 10, panel}, {-6, 10, panel}}, 2, {0, 0, 30});
    for (int column = 1; column < 12; ++column) {
        const float x = -6.0f + column, w = 0.025f;
        AddConvexFlat(mesh,
                      {{x - w, -10, panel - 0.01f},
                       {x + w, -10, panel - 0.01f},
                       {x + w, 10, panel - 0.01f},
                       {x - w, 10, panel - 0.01f}},
                      3, {0, 0, 30});
    }
    const Matrix toModel = MatrixTranslation(0, 0.5f, -22) * MatrixRotationY(-Pi) * MatrixRotationX(Pi / 2);
    mesh.Transform(toModel);
    return mesh;
}

// Smooth sphere of latitude rings, triangles facing away from its centre.
void AddSphere(XMesh& mesh, const Vector3& centre, float radius, int segments, int rings, uint32_t material) {
    auto point = [&](int ring, int segment, Vector3& normal) {
        const float theta = Pi * ring / rings, phi = 2 * Pi * segment / segments;
        normal = {std::sin(theta) * std::cos(phi), std::cos(theta), std::sin(theta) * std::sin(phi)};
        return Add(centre, Mul(normal, radius));
    };
    for (int ring = 0; ring < rings; ++ring)
        for (int segment = 0; segment < segments; ++segment) {
            Vector3 n[4];
            const Vector3 p0 = point(ring, segment, n[0]), p1 = point(ring, segment + 1, n[1]);
            const Vector3 p2 = point(ring + 1, segment + 1, n[2]), p3 = point(ring + 1, segment, n[3]);
            const Vector3 mid = Normalize(Add(Add(n[0], n[1]), Add(n[2], n[3])));
            if (ring > 0) AddOriented(mesh, p0, p1, p2, n[0], n[1], n[2], nullptr, material, mid);
            if (ring + 1 < rings) AddOriented(mesh, p0, p2, p3, n[0], n[2], n[3], nullptr, material, mid);
        }
}

// Closed cylinder along Y, smooth sides.
void AddCylinder(XMesh& mesh, float x, float z, float y0, float y1, float radius, int segments,
                 uint32_t material) {
    std::vector<Vector3> bottom, top;
    for (int i = 0; i < segments; ++i) {
        const float phi = 2 * Pi * i / segments;
        bottom.push_back({x + radius * std::cos(phi), y0, z + radius * std::sin(phi)});
        top.push_back({x + radius * std::cos(phi), y1, z + radius * std::sin(phi)});
    }
    const Vector3 centre{x, (y0 + y1) / 2, z};
    AddConvexFlat(mesh, bottom, material, centre);
    AddConvexFlat(mesh, top, material, centre);
    for (int i = 0; i < segments; ++i) {
        const int j = (i + 1) % segments;
        const Vector3 ni = Normalize({bottom[i].x - x, 0, bottom[i].z - z}),
                      nj = Normalize({bottom[j].x - x, 0, bottom[j].z - z});
        AddOriented(mesh, bottom[i], bottom[j], top[j], ni, nj, nj, nullptr, material, Add(ni, nj));
        AddOriented(mesh, bottom[i], top[j], top[i], ni, nj, ni, nullptr, material, Add(ni, nj));
    }
}

// Bonus items are drawn with Rx(-pi/2) before their spin about Y: they are modelled upright, facing
// the camera, and turned by the inverse Rx(pi/2) so that the draw transform stands them up again.
void StandUpForDrawing(XMesh& mesh) {
    mesh.Transform(MatrixRotationX(Pi / 2));
}

XMesh PointsBonus() {
    XMesh mesh;
    const float gold[3] = {1.0f, 0.74f, 0.16f}, star[3] = {1.0f, 0.93f, 0.50f};
    mesh.materials.push_back(MakeMaterial(gold, 1, 40, 1.0f, 0.25f));
    mesh.materials.push_back(MakeMaterial(star, 1, 60, 1.0f, 0.40f));
    const int segments = 28;
    const float radius = 0.44f, faceRadius = 0.38f, half = 0.06f, bevel = 0.03f;
    const Vector3 origin{};
    std::vector<Vector3> rim[4];
    for (int i = 0; i < segments; ++i) {
        const float phi = 2 * Pi * i / segments;
        const float c = std::cos(phi), s = std::sin(phi);
        rim[0].push_back({faceRadius * c, faceRadius * s, -half});
        rim[1].push_back({radius * c, radius * s, -half + bevel});
        rim[2].push_back({radius * c, radius * s, half - bevel});
        rim[3].push_back({faceRadius * c, faceRadius * s, half});
    }
    AddConvexFlat(mesh, rim[0], 0, origin);
    AddConvexFlat(mesh, rim[3], 0, origin);
    for (int band = 0; band < 3; ++band)
        for (int i = 0; i < segments; ++i) {
            const int j = (i + 1) % segments;
            AddConvexFlat(mesh, {rim[band][i], rim[band][j], rim[band + 1][j], rim[band + 1][i]}, 0, origin);
        }
    // A raised five-pointed star on each face.
    for (int side = -1; side <= 1; side += 2) {
        const Vector3 tip{0, 0, side * (half + 0.07f)};
        std::vector<Vector3> outline;
        for (int k = 0; k < 10; ++k) {
            const float phi = Pi / 2 + Pi * k / 5, r = (k % 2) ? 0.12f : 0.30f;
            outline.push_back(
                {r * std::cos(phi), r * std::sin(phi), side * (half + ((k % 2) ? 0.02f : 0.004f))});
        }
        for (int k = 0; k < 10; ++k) {
            const Vector3 a = outline[k], b = outline[(k + 1) % 10];
            const Vector3 n = Normalize(Cross(Subtract(b, a), Subtract(tip, a)));
            const Vector3 outward{0, 0, static_cast<float>(side)};
            const Vector3 facing = Dot(n, outward) < 0 ? Mul(n, -1) : n;
            AddOriented(mesh, a, b, tip, facing, facing, facing, nullptr, 1, outward);
        }
    }
    StandUpForDrawing(mesh);
    return mesh;
}

XMesh ClearBonus() {
    XMesh mesh;
    const float body[3] = {0.80f, 0.12f, 0.16f}, brass[3] = {0.90f, 0.70f, 0.30f};
    const float fuse[3] = {0.95f, 0.88f, 0.70f}, spark[3] = {1.0f, 0.86f, 0.30f};
    mesh.materials.push_back(MakeMaterial(body, 1, 50, 1.0f, 0.25f));
    mesh.materials.push_back(MakeMaterial(brass, 1, 40, 0.9f, 0.2f));
    mesh.materials.push_back(MakeMaterial(fuse, 1, 5, 0.1f, 0.2f));
    mesh.materials.push_back(MakeMaterial(spark, 1, 10, 1.0f, 0.9f));
    AddSphere(mesh, {0, -0.08f, 0}, 0.36f, 14, 9, 0);
    AddCylinder(mesh, 0, 0, 0.22f, 0.36f, 0.12f, 10, 1);
    // The fuse: three short links bending to the right, then a burst of spikes at its end.
    const Vector3 links[4] = {{0, 0.36f, 0}, {0.02f, 0.44f, 0}, {0.07f, 0.50f, 0}, {0.14f, 0.53f, 0}};
    for (int i = 0; i < 3; ++i) {
        const Vector3 a = links[i], b = links[i + 1];
        const float w = 0.025f;
        AddBox(mesh, {std::fmin(a.x, b.x) - w, std::fmin(a.y, b.y) - w * 0.5f, -w},
               {std::fmax(a.x, b.x) + w, std::fmax(a.y, b.y) + w * 0.5f, w}, 2);
    }
    const Vector3 centre{0.16f, 0.54f, 0};
    const Vector3 spikes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
    const Vector3 diagonals[4] = {{0.7f, 0.7f, 0}, {-0.7f, 0.7f, 0}, {0.7f, -0.7f, 0}, {-0.7f, -0.7f, 0}};
    auto addSpike = [&](const Vector3& dir, float length) {
        const Vector3 tip = Add(centre, Mul(dir, length));
        Vector3 side1 = std::fabs(dir.y) < 0.9f ? Normalize(Cross(dir, {0, 1, 0})) : Vector3{1, 0, 0};
        Vector3 side2 = Normalize(Cross(dir, side1));
        const float w = 0.035f;
        const Vector3 base[4] = {Add(centre, Mul(side1, w)), Add(centre, Mul(side2, w)),
                                 Add(centre, Mul(side1, -w)), Add(centre, Mul(side2, -w))};
        for (int k = 0; k < 4; ++k) AddConvexFlat(mesh, {base[k], base[(k + 1) % 4], tip}, 3, centre);
    };
    for (const Vector3& d : spikes) addSpike(d, 0.12f);
    for (const Vector3& d : diagonals) addSpike(d, 0.08f);
    StandUpForDrawing(mesh);
    return mesh;
}

bool WriteMeshes(const AssetContext& context) {
    bool ok = true;
    for (const NamedMesh& named : BuildAllMeshes()) {
        const std::string name = named.fileName.substr(0, named.fileName.find('.'));
        ok = WriteText(context.gameDir + "/Graphics/" + named.fileName, FormatXFile(named.mesh, name)) && ok;
    }
    return ok;
}

AssetGroup meshGroup("meshes", WriteMeshes);
}  // namespace

std::vector<NamedMesh> BuildAllMeshes() {
    std::vector<NamedMesh> meshes;
    XMesh (*const styles[5])(int) = {FlatCube, BevelledCube, RoundedCube, CutGem, EmblemCube};
    for (int style = 0; style < 5; ++style)
        for (int colour = 0; colour < 7; ++colour) {
            char name[32];
            std::snprintf(name, sizeof name, "cell_t%d_%d.x", style + 1, colour + 1);
            meshes.push_back({name, styles[style](colour)});
        }
    meshes.push_back({"glass.x", Glass()});
    meshes.push_back({"bonus.x", PointsBonus()});
    meshes.push_back({"bonus2.x", ClearBonus()});
    return meshes;
}
