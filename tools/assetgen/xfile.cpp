#include "xfile.h"

#include <cstdio>

uint32_t XMesh::AddVertex(const Vector3& position, const Vector3& normal, float tu, float tv) {
    positions.push_back(position);
    normals.push_back(Normalize(normal));
    u.push_back(tu);
    v.push_back(tv);
    return static_cast<uint32_t>(positions.size() - 1);
}

void XMesh::AddFace(uint32_t a, uint32_t b, uint32_t c, uint32_t material) {
    faces.push_back({a, b, c, material});
}

void XMesh::AddFlatTriangle(const Vector3& a, const Vector3& b, const Vector3& c, uint32_t material) {
    const Vector3 n = Normalize(Cross(Subtract(b, a), Subtract(c, a)));
    const uint32_t i = AddVertex(a, n), j = AddVertex(b, n), k = AddVertex(c, n);
    AddFace(i, j, k, material);
}

void XMesh::AddFlatQuad(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d,
                        uint32_t material, const float* uv) {
    Vector3 n = Cross(Subtract(b, a), Subtract(c, a));
    const Vector3 n2 = Cross(Subtract(c, a), Subtract(d, a));
    n = Normalize({n.x + n2.x, n.y + n2.y, n.z + n2.z});
    const uint32_t i = AddVertex(a, n, uv ? uv[0] : 0, uv ? uv[1] : 0);
    const uint32_t j = AddVertex(b, n, uv ? uv[2] : 0, uv ? uv[3] : 0);
    const uint32_t k = AddVertex(c, n, uv ? uv[4] : 0, uv ? uv[5] : 0);
    const uint32_t l = AddVertex(d, n, uv ? uv[6] : 0, uv ? uv[7] : 0);
    AddFace(i, j, k, material);
    AddFace(i, k, l, material);
}

void XMesh::Append(const XMesh& other) {
    const uint32_t base = static_cast<uint32_t>(positions.size());
    const uint32_t materialBase = static_cast<uint32_t>(materials.size());
    positions.insert(positions.end(), other.positions.begin(), other.positions.end());
    normals.insert(normals.end(), other.normals.begin(), other.normals.end());
    u.insert(u.end(), other.u.begin(), other.u.end());
    v.insert(v.end(), other.v.begin(), other.v.end());
    for (const XFace& f : other.faces)
        faces.push_back({f.a + base, f.b + base, f.c + base, f.material + materialBase});
    materials.insert(materials.end(), other.materials.begin(), other.materials.end());
}

void XMesh::Transform(const Matrix& m) {
    for (Vector3& p : positions) {
        const Vector4 t = TransformPoint(p, m);
        p = {t.x, t.y, t.z};
    }
    Matrix rotation = m;
    rotation.m[3][0] = rotation.m[3][1] = rotation.m[3][2] = 0;
    for (Vector3& n : normals) {
        const Vector4 t = TransformPoint(n, rotation);
        n = Normalize({t.x, t.y, t.z});
    }
}

namespace {
void Append(std::string& out, const char* format, double a) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, a);
    out += buffer;
}

// Six decimals; a negative zero is written as zero so that equal geometry gives equal bytes.
std::string Number(float value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.6f", static_cast<double>(value));
    std::string s = buffer;
    if (s == "-0.000000") s = "0.000000";
    return s;
}
}  // namespace

std::string FormatXFile(const XMesh& mesh, const std::string& meshName) {
    std::string out = "xof 0302txt 0032\n\n";
    out += "Mesh " + meshName + " {\n";
    const size_t nv = mesh.positions.size(), nf = mesh.faces.size();
    Append(out, " %.0f;\n", static_cast<double>(nv));
    for (size_t i = 0; i < nv; ++i) {
        const Vector3& p = mesh.positions[i];
        out += " " + Number(p.x) + ";" + Number(p.y) + ";" + Number(p.z) + ";" + (i + 1 < nv ? ",\n" : ";\n");
    }
    Append(out, " %.0f;\n", static_cast<double>(nf));
    auto faceList = [&](std::string& text) {
        for (size_t i = 0; i < nf; ++i) {
            const XFace& f = mesh.faces[i];
            text += "  3;" + std::to_string(f.a) + "," + std::to_string(f.b) + "," + std::to_string(f.c) +
                    ";" + (i + 1 < nf ? ",\n" : ";\n");
        }
    };
    faceList(out);

    out += "\n MeshNormals {\n";
    Append(out, "  %.0f;\n", static_cast<double>(nv));
    for (size_t i = 0; i < nv; ++i) {
        const Vector3& n = mesh.normals[i];
        out +=
            "  " + Number(n.x) + ";" + Number(n.y) + ";" + Number(n.z) + ";" + (i + 1 < nv ? ",\n" : ";\n");
    }
    Append(out, "  %.0f;\n", static_cast<double>(nf));
    faceList(out);
    out += " }\n";

    out += "\n MeshTextureCoords {\n";
    Append(out, "  %.0f;\n", static_cast<double>(nv));
    for (size_t i = 0; i < nv; ++i)
        out += "  " + Number(mesh.u[i]) + ";" + Number(mesh.v[i]) + ";" + (i + 1 < nv ? ",\n" : ";\n");
    out += " }\n";

    out += "\n MeshMaterialList {\n";
    Append(out, "  %.0f;\n", static_cast<double>(mesh.materials.size()));
    Append(out, "  %.0f;\n", static_cast<double>(nf));
    for (size_t i = 0; i < nf; ++i)
        out += "  " + std::to_string(mesh.faces[i].material) + (i + 1 < nf ? ",\n" : ";\n");
    for (const XMaterial& m : mesh.materials) {
        out += "\n  Material {\n";
        out += "   " + Number(m.diffuse[0]) + ";" + Number(m.diffuse[1]) + ";" + Number(m.diffuse[2]) + ";" +
               Number(m.diffuse[3]) + ";;\n";
        out += "   " + Number(m.power) + ";\n";
        out += "   " + Number(m.specular[0]) + ";" + Number(m.specular[1]) + ";" + Number(m.specular[2]) +
               ";;\n";
        out += "   " + Number(m.emissive[0]) + ";" + Number(m.emissive[1]) + ";" + Number(m.emissive[2]) +
               ";;\n";
        if (!m.texture.empty()) out += "\n   TextureFilename {\n    \"" + m.texture + "\";\n   }\n";
        out += "  }\n";
    }
    out += " }\n}\n";
    return out;
}
