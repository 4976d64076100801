// The .x check in front of the mesh importer: every mesh the game ships passes and loads; damaged and
// hostile files (among them the ones that once took the importer down) are refused without a crash;
// material references paint the faces with the material they name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/mesh.h"
#include "device/xfile_check.h"

// The system's mesh importer leaks the partly built scene when it gives up on a file (inside the library).
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libassimp.so\n";
}
#endif

namespace {

namespace fs = std::filesystem;

std::span<const uint8_t> Bytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

bool Passes(const std::string& text) {
    std::string reason;
    return CheckXFile(Bytes(text), reason);
}

std::string Reason(const std::string& text) {
    std::string reason;
    EXPECT_FALSE(CheckXFile(Bytes(text), reason)) << text;
    return reason;
}

fs::path GameDir() {
    const char* dir = std::getenv("KELVANE_GAME_DIR");
    return dir && *dir ? dir : KELVANE_GAME_DIR_DEFAULT;
}

// Two materials, a quad of two triangles: face 0 in the first material, face 1 in the second.
const std::string Materials = R"(xof 0303txt 0032
// two plain materials
Material Red { 1.0;0.0;0.0;1.0;; 10.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; }
Material Glass { 0.0;0.0;1.0;0.5;; 5.0; 1.0;1.0;1.0;; 0.0;0.0;0.0;; TextureFilename { "glass.bmp"; } }
)";
const std::string Quad = R"(Mesh Quad {
 4;
 0.0;0.0;0.0;,
 1.0;0.0;0.0;,
 0.0;1.0;0.0;,
 1.0;1.0;0.0;;
 2;
 3;0,1,2;,
 3;1,3,2;;
)";

std::string QuadWith(const std::string& members) {
    return Materials + Quad + members + "}\n";
}

TEST(XFileCheck, EveryShippedMeshPassesAndLoads) {
    const fs::path graphics = GameDir() / "Graphics";
    ASSERT_TRUE(fs::is_directory(graphics)) << graphics;
    int count = 0;
    for (const auto& entry : fs::directory_iterator(graphics)) {
        if (entry.path().extension() != ".x") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::string reason;
        EXPECT_TRUE(CheckXFile(Bytes(text), reason)) << reason;
        auto mesh = Mesh::LoadFromFile(entry.path().string());
        ASSERT_NE(mesh, nullptr);
        EXPECT_FALSE(mesh->Subsets().empty());
        ++count;
    }
    EXPECT_GT(count, 10);
}

TEST(XFileCheck, AcceptsTheShapesTheLoaderUses) {
    EXPECT_TRUE(Passes("xof 0302txt 0064\r\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }"));
    EXPECT_TRUE(Passes(QuadWith("")));
    EXPECT_TRUE(Passes(
        QuadWith(" MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"
                 " MeshTextureCoords { 4; 0.0;0.0;, 1.0;0.0;, 0.0;1.0;, 1.0;1.0;; }\n"
                 " MeshMaterialList { 2; 2; 0,1;; { Red } Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } }\n")));
    // Templates are read past; frames nest, carry one matrix and may hold meshes.
    EXPECT_TRUE(
        Passes("xof 0303txt 0032\ntemplate Vector { <3D82AB5E-62DA-11cf-AB39-0020AF71E433> FLOAT x; "
               "FLOAT y; FLOAT z; }\nFrame A { FrameTransformMatrix { 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, "
               "2.0,0.0,0.0,1;; }\n"
               " Frame B { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 4;0,1,2,1;; } } }"));
}

TEST(XFileCheck, RefusesWhatTheImporterMishandles) {
    // An unknown object inside a material once made the importer lose its material list and read through
    // a null pointer (found by fuzzing; the same with a material list shorter than its stated count).
    const std::string unknownInMaterial = QuadWith(
        " MeshMaterialList { 2; 2; 0,1; Material { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; Foo { } } { Red } }\n");
    EXPECT_NE(Reason(unknownInMaterial).find("unknown object in a material"), std::string::npos);
    EXPECT_EQ(Mesh::LoadFromMemory(Bytes(unknownInMaterial)), nullptr);
    const std::string noMaterials = QuadWith(" MeshMaterialList { 2; 2; 0,1; }\n");
    Reason(noMaterials);
    EXPECT_EQ(Mesh::LoadFromMemory(Bytes(noMaterials)), nullptr);
    const std::string fewerMaterials = QuadWith(" MeshMaterialList { 2; 2; 0,1; { Red } }\n");
    Reason(fewerMaterials);
    EXPECT_EQ(Mesh::LoadFromMemory(Bytes(fewerMaterials)), nullptr);

    // Indices outside their lists, counts that disagree with what follows, counts beyond the file.
    const std::string bad[] = {
        QuadWith(" MeshMaterialList { 2; 2; 0,4; { Red } { Glass } }\n"),
        QuadWith(" MeshMaterialList { 1; 2; 0,0; { Nobody } }\n"),
        QuadWith(" MeshMaterialList { 1; 1; 0; { Red } }\n"),
        QuadWith(" MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 2;0,0;; }\n"),
        QuadWith(" MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,5,0;; }\n"),
        QuadWith(" MeshNormals { 1; 0;0;1;; 1; 3;0,0,0;; }\n"),
        QuadWith(" MeshTextureCoords { 3; 0;0;, 1;0;, 0;1;; }\n"),
        QuadWith(" MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; }\n MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, "
                 "3;0,0,0;; }\n"),
        QuadWith(" VertexDuplicationIndices { 4; 4; 0, 1, 2, 3; }\n"),
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,3;; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 2;0,1;; }",
        "xof 0303txt 0032\nMesh { 4000000000; 1.0; }",
        "xof 0303txt 0032\nMesh { 900; 0;0;0;; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 0; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1e99;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1.#IND00;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, nan;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0; 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }",
        "xof 0303txt 0032\nFrame { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }",
        "xof 0303txt 0032\nHeader { 1; 0; 1; }\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032 Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303bin 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303tzip0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\nMaterial M { 1;0;0;1;; 1; 0;0;0;; 0;0;0;; TextureFilename { \"a\nb\"; } }",
        "xof 0303txt 0032\ntemplate T { }\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\n",
        // The importer reads "0,1" as one number, 0.1, and the rest of the vertex list shifted by one.
        "xof 0303txt 0032\nMesh { 3; 0,1;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }",
        "xof 0303txt 0032\nFrame A { FrameTransformMatrix { 1,0,0,0,0,1,0,0,0,0,1,0,2,0,0,1;; }\n"
        " Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }",
    };
    for (const std::string& text : bad) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(Reason(text).empty());
        EXPECT_EQ(Mesh::LoadFromMemory(Bytes(text)), nullptr);
    }

    // Frames nested beyond the limit, as a few bytes would otherwise run the importer's recursion deep.
    std::string deep = "xof 0303txt 0032\n";
    for (int i = 0; i <= MaxXFrameDepth; ++i) deep += "Frame F" + std::to_string(i) + " {";
    deep += "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }" + std::string(size_t(MaxXFrameDepth + 1), '}');
    EXPECT_NE(Reason(deep).find("deep"), std::string::npos);
    deep.erase(17, deep.find('{') + 1 - 17);
    deep.pop_back();
    EXPECT_TRUE(Passes(deep));
}

TEST(XFileCheck, EveryTruncationIsRefusedOrLoadsWholeTriangles) {
    const std::string full = QuadWith(
        " MeshNormals { 1; 0.0;0.0;-1.0;; 2; 3;0,0,0;, 3;0,0,0;; }\n"
        " MeshMaterialList { 2; 2; 0,1;; { Glass } { Red } }\n");
    ASSERT_NE(Mesh::LoadFromMemory(Bytes(full)), nullptr);
    int loaded = 0;
    for (size_t length = 0; length < full.size(); ++length) {
        const std::string cut = full.substr(0, length);
        auto mesh = Mesh::LoadFromMemory(Bytes(cut));
        if (!mesh) continue;
        ++loaded;
        for (const MeshSubset& subset : static_cast<const Mesh&>(*mesh).Subsets()) {
            ASSERT_EQ(subset.indices.size() % 3, 0u);
            for (uint32_t index : subset.indices) ASSERT_LT(index, subset.vertices.size());
        }
    }
    // Only the file without its final newline is still whole; nothing shorter loads.
    EXPECT_EQ(loaded, 1);
}

TEST(XFileCheck, ReferencesPaintTheFacesWithTheMaterialTheyName) {
    // The references are listed in the other order than the file defines the materials.
    const std::string swapped = QuadWith(" MeshMaterialList { 2; 2; 0,1; { Glass } { Red } }\n");
    auto mesh = Mesh::LoadFromMemory(Bytes(swapped));
    ASSERT_NE(mesh, nullptr);
    const auto& subsets = mesh->Subsets();
    ASSERT_EQ(subsets.size(), 2u);
    // Face 0 (vertices 0,1,2) is glass: blue, half transparent, textured.
    EXPECT_FLOAT_EQ(subsets[0].material.diffuse.b, 1);
    EXPECT_FLOAT_EQ(subsets[0].material.diffuse.a, 0.5f);
    EXPECT_EQ(subsets[0].material.textureFile, "glass.bmp");
    ASSERT_EQ(subsets[0].indices.size(), 3u);
    EXPECT_FLOAT_EQ(subsets[0].vertices[subsets[0].indices[1]].x, 1);
    EXPECT_FLOAT_EQ(subsets[0].vertices[subsets[0].indices[2]].y, 1);
    // Face 1 (vertices 1,3,2) is red.
    EXPECT_FLOAT_EQ(subsets[1].material.diffuse.r, 1);
    EXPECT_FLOAT_EQ(subsets[1].material.power, 10);
    EXPECT_EQ(subsets[1].material.textureFile, "");
    ASSERT_EQ(subsets[1].indices.size(), 3u);
    EXPECT_FLOAT_EQ(subsets[1].vertices[subsets[1].indices[1]].x, 1);
    EXPECT_FLOAT_EQ(subsets[1].vertices[subsets[1].indices[1]].y, 1);

    // A reference mixed with an inline material keeps its own material too (subsets follow the list).
    auto mixed = Mesh::LoadFromMemory(Bytes(
        QuadWith(" MeshMaterialList { 2; 2; 1,0; Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } { Red } }\n")));
    ASSERT_NE(mixed, nullptr);
    ASSERT_EQ(mixed->Subsets().size(), 2u);
    EXPECT_FLOAT_EQ(mixed->Subsets()[0].material.diffuse.g, 1);  // the inline green, on face 1
    EXPECT_FLOAT_EQ(mixed->Subsets()[0].vertices[mixed->Subsets()[0].indices[1]].y, 1);
    EXPECT_FLOAT_EQ(mixed->Subsets()[1].material.diffuse.r, 1);  // Red, on face 0
    EXPECT_FLOAT_EQ(mixed->Subsets()[1].material.power, 10);
    EXPECT_FLOAT_EQ(mixed->Subsets()[1].vertices[mixed->Subsets()[1].indices[2]].y, 1);
}

}  // namespace
