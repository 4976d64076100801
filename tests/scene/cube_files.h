// Writing small text .x meshes for the tests: a unit cube centred on its origin with one material, the
// way a cell mesh is laid out (left-handed, front faces clockwise seen from outside).
#pragma once

#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

struct CubeLook {
    float r, g, b, a = 1.0f;
    float power = 20.0f;
    float specular = 0.3f;
    float size = 1.0f;  // edge length
};

inline std::string CubeXFile(const CubeLook& look) {
    // Six faces: outward normal and the two in-plane axes.
    const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    std::ostringstream positions, faceList, normalList;
    const float h = look.size / 2;
    for (int f = 0; f < 6; ++f) {
        const float* n = normals[f];
        // Two axes perpendicular to the normal.
        const float a[3] = {std::fabs(n[0]) > 0 ? 0.0f : 1.0f, std::fabs(n[0]) > 0 ? 1.0f : 0.0f, 0};
        const float b[3] = {n[1] * a[2] - n[2] * a[1], n[2] * a[0] - n[0] * a[2], n[0] * a[1] - n[1] * a[0]};
        const float sa[4] = {-1, -1, 1, 1}, sb[4] = {-1, 1, 1, -1};
        std::array<std::array<float, 3>, 4> corner{};
        for (int k = 0; k < 4; ++k)
            for (int c = 0; c < 3; ++c) corner[k][c] = h * (n[c] + sa[k] * a[c] + sb[k] * b[c]);
        // Clockwise seen from outside in a left-handed frame: (c1 - c0) x (c2 - c0) points outwards.
        const float e1[3] = {corner[1][0] - corner[0][0], corner[1][1] - corner[0][1],
                             corner[1][2] - corner[0][2]};
        const float e2[3] = {corner[2][0] - corner[0][0], corner[2][1] - corner[0][1],
                             corner[2][2] - corner[0][2]};
        const float cr[3] = {e1[1] * e2[2] - e1[2] * e2[1], e1[2] * e2[0] - e1[0] * e2[2],
                             e1[0] * e2[1] - e1[1] * e2[0]};
        const bool outward = cr[0] * n[0] + cr[1] * n[1] + cr[2] * n[2] > 0;
        const int order[4] = {0, outward ? 1 : 3, 2, outward ? 3 : 1};
        for (int k = 0; k < 4; ++k) {
            const auto& p = corner[static_cast<size_t>(order[k])];
            positions << p[0] << ";" << p[1] << ";" << p[2] << ";" << (f == 5 && k == 3 ? ";\n" : ",\n");
            normalList << n[0] << ";" << n[1] << ";" << n[2] << ";" << (f == 5 && k == 3 ? ";\n" : ",\n");
        }
        const int v = f * 4;
        faceList << "3;" << v << "," << v + 1 << "," << v + 2 << ";,\n";
        faceList << "3;" << v << "," << v + 2 << "," << v + 3 << ";" << (f == 5 ? ";\n" : ",\n");
    }
    std::ostringstream out;
    out << "xof 0303txt 0032\n";
    out << "Material Look {\n " << look.r << ";" << look.g << ";" << look.b << ";" << look.a << ";;\n "
        << look.power << ";\n " << look.specular << ";" << look.specular << ";" << look.specular
        << ";;\n 0.0;0.0;0.0;;\n}\n";
    out << "Mesh Cube {\n24;\n" << positions.str() << "12;\n" << faceList.str();
    out << "MeshMaterialList {\n1;\n12;\n";
    for (int i = 0; i < 12; ++i) out << "0" << (i == 11 ? ";;\n" : ",\n");
    out << "{Look}\n}\n";
    out << "MeshNormals {\n24;\n" << normalList.str() << "12;\n" << faceList.str() << "}\n}\n";
    return out.str();
}

inline bool WriteTextFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary);
    file << text;
    return static_cast<bool>(file);
}

// The seven colours the tests give their cell meshes (clearly apart in hue).
inline constexpr std::array<std::array<float, 3>, 7> TestCellColours{{{0.9f, 0.1f, 0.1f},
                                                                      {0.1f, 0.9f, 0.1f},
                                                                      {0.1f, 0.2f, 0.9f},
                                                                      {0.9f, 0.9f, 0.1f},
                                                                      {0.9f, 0.1f, 0.9f},
                                                                      {0.1f, 0.9f, 0.9f},
                                                                      {0.9f, 0.5f, 0.1f}}};
