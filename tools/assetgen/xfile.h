// Meshes as the game's .x files hold them: triangle lists with per-vertex normals and texture
// coordinates and a material per face, in the game's left-handed coordinates. A triangle is
// front-facing when its corners run clockwise as seen from outside, so the builders below take the
// corners in that order (the plain cross product (b - a) x (c - a) then points outwards).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/math3d.h"

struct XMaterial {
    float diffuse[4] = {1, 1, 1, 1};  // RGBA; alpha below 1 makes the subset drawn blended
    float power = 0;
    float specular[3] = {0, 0, 0};
    float emissive[3] = {0, 0, 0};
    std::string texture;  // bare file name in Graphics\, "" for none
};

struct XFace {
    uint32_t a = 0, b = 0, c = 0;
    uint32_t material = 0;
};

struct XMesh {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;  // one per position
    std::vector<float> u, v;       // one per position
    std::vector<XFace> faces;
    std::vector<XMaterial> materials;

    uint32_t AddVertex(const Vector3& position, const Vector3& normal, float tu = 0, float tv = 0);
    void AddFace(uint32_t a, uint32_t b, uint32_t c, uint32_t material);
    // A flat triangle or quad (corners clockwise from outside); texture coordinates optional.
    void AddFlatTriangle(const Vector3& a, const Vector3& b, const Vector3& c, uint32_t material);
    void AddFlatQuad(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d,
                     uint32_t material,
                     const float* uv = nullptr);  // uv: 8 floats, u and v per corner
    // Appends another mesh, its materials after ours.
    void Append(const XMesh& other);
    void Transform(const Matrix& m);  // positions and normals (rotations and translations only)
};

// The text form "xof 0302txt 0032" with one frame-less Mesh holding MeshNormals, MeshTextureCoords
// and MeshMaterialList with its Materials inline. Numbers use six decimals, so output is byte-stable.
std::string FormatXFile(const XMesh& mesh, const std::string& meshName);
