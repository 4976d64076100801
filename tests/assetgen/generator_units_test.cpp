// The generator's building blocks: the picture encoders read back by the game's own decoder, the
// text conversion that language.ini depends on, seamless noise, and the .x writer read back by the
// game's mesh loader.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "device/image_loader.h"
#include "device/mesh.h"
#include "graphics_assets.h"

namespace {
Canvas TestPattern(int width, int height) {
    Canvas canvas(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            canvas.At(x, y) = {x / float(width), y / float(height), (x + y) % 2 ? 1.0f : 0.0f,
                               (x * 7 + y * 3) % 11 / 10.0f};
    return canvas;
}

TEST(PictureEncoding, BmpAndTgaReadBackExactlyTopRowFirst) {
    // An odd width makes the BMP rows need padding.
    for (int width : {5, 8}) {
        const Canvas canvas = TestPattern(width, 3);
        const std::vector<uint8_t> expected = ToRgba8(canvas);
        Image bmp, tga;
        std::string error;
        ASSERT_TRUE(DecodeImage(EncodeBmp24(canvas), bmp, error)) << error;
        ASSERT_TRUE(DecodeImage(EncodeTga32(canvas), tga, error)) << error;
        ASSERT_EQ(bmp.width, width);
        ASSERT_EQ(bmp.height, 3);
        ASSERT_EQ(tga.width, width);
        ASSERT_EQ(tga.rgba.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(tga.rgba[i], expected[i]) << "tga byte " << i;
            if (i % 4 != 3) {
                EXPECT_EQ(bmp.rgba[i], expected[i]) << "bmp byte " << i;
            }
        }
    }
}

TEST(TextConversion, Utf8ToWindows1252) {
    std::u32string decoded;
    ASSERT_TRUE(DecodeUtf8("Fa\xC3\x9F \xE2\x82\xAC", decoded));
    EXPECT_EQ(decoded, U"Faß €");
    EXPECT_EQ(Cp1252Byte(U'ß'), 0xDF);
    EXPECT_EQ(Cp1252Byte(U'€'), 0x80);
    EXPECT_EQ(Cp1252Byte(U'Ä'), 0xC4);
    EXPECT_EQ(Cp1252Byte(0x4E00), -1);
    EXPECT_EQ(Cp1252Byte(0x81), -1);  // a hole of the code page, not the control character
    // Truncated, overlong and stray continuation bytes are refused.
    EXPECT_FALSE(DecodeUtf8("abc\xC3", decoded));
    EXPECT_FALSE(DecodeUtf8("\xC0\xAF", decoded));
    EXPECT_FALSE(DecodeUtf8("\x80", decoded));
    EXPECT_FALSE(DecodeUtf8("\xED\xA0\x80", decoded));
}

TEST(TextConversion, FontCharactersFitTheSheetAndTheCodePage) {
    const std::vector<uint32_t>& characters = FontCharacters();
    EXPECT_LE(characters.size(), 128u);
    EXPECT_EQ(characters.front(), U' ');
    std::set<int> bytes;
    for (uint32_t c : characters) {
        const int byte = Cp1252Byte(c);
        EXPECT_GE(byte, 0x20) << c;
        bytes.insert(byte);
    }
    EXPECT_EQ(bytes.size(), characters.size());
    for (char32_t c : std::u32string(U"ÄÖÜäöüß"))
        EXPECT_TRUE(bytes.count(Cp1252Byte(c))) << static_cast<uint32_t>(c);
}

TEST(SeamlessNoise, RepeatsAtItsPeriodAndStaysInRange) {
    for (float y : {0.25f, 3.5f})
        for (float x : {0.0f, 1.7f, 5.2f}) {
            const float a = PeriodicFbm(x, y, 8, 4, 7);
            EXPECT_NEAR(a, PeriodicFbm(x + 8, y, 8, 4, 7), 1e-5f);
            EXPECT_NEAR(a, PeriodicFbm(x, y + 8, 8, 4, 7), 1e-5f);
            EXPECT_GE(a, 0.0f);
            EXPECT_LE(a, 1.0f);
        }
    EXPECT_NE(PeriodicNoise(0.5f, 0.5f, 8, 1), PeriodicNoise(0.5f, 0.5f, 8, 2));
}

TEST(XFileWriter, WrittenMeshLoadsWithItsPositionsWindingAndMaterials) {
    XMesh mesh;
    XMaterial plain, textured;
    plain.diffuse[0] = 0.25f;
    plain.power = 12;
    textured.diffuse[3] = 0.5f;
    textured.texture = "emblem_1.bmp";
    mesh.materials = {plain, textured};
    const float uv[8] = {0, 0, 1, 0, 1, 1, 0, 1};
    // A quad facing the camera (-Z): clockwise seen from the front.
    mesh.AddFlatQuad({-1, 1, 0}, {1, 1, 0}, {1, -1, 0}, {-1, -1, 0}, 0, uv);
    mesh.AddFlatTriangle({0, 0, 1}, {0, 1, 1}, {1, 0, 1}, 1);
    mesh.positions[0].x = -0.0f * 1;  // written as zero either way
    mesh.positions[0].x = -1;
    EXPECT_LT(mesh.normals[0].z, 0);
    const std::string text = FormatXFile(mesh, "test");
    EXPECT_EQ(text.rfind("xof 0302txt 0032", 0), 0u);
    EXPECT_EQ(text.find("-0.000000"), std::string::npos);
    const auto loaded = Mesh::LoadFromMemory(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    ASSERT_NE(loaded, nullptr);
    ASSERT_EQ(loaded->Subsets().size(), 2u);
    size_t triangles = 0;
    for (const MeshSubset& subset : loaded->Subsets()) {
        triangles += subset.indices.size() / 3;
        const bool isTextured = subset.material.textureFile == "emblem_1.bmp";
        EXPECT_FLOAT_EQ(subset.material.diffuse.a, isTextured ? 0.5f : 1.0f);
        if (!isTextured) {
            EXPECT_FLOAT_EQ(subset.material.diffuse.r, 0.25f);
        }
        for (size_t t = 0; t + 2 < subset.indices.size(); t += 3) {
            const MeshVertex& a = subset.vertices[subset.indices[t]];
            const MeshVertex& b = subset.vertices[subset.indices[t + 1]];
            const MeshVertex& c = subset.vertices[subset.indices[t + 2]];
            const Vector3 n =
                Cross(Subtract({b.x, b.y, b.z}, {a.x, a.y, a.z}), Subtract({c.x, c.y, c.z}, {a.x, a.y, a.z}));
            // The winding survives loading: the cross product agrees with the stored normal.
            EXPECT_GT(Dot(n, {a.nx, a.ny, a.nz}), 0);
        }
    }
    EXPECT_EQ(triangles, 3u);
}

TEST(XFileWriter, TransformKeepsNormalsWithTheGeometry) {
    XMesh mesh;
    mesh.materials.resize(1);
    mesh.AddFlatTriangle({0, 0, 0}, {0, 1, 0}, {1, 0, 0}, 0);  // faces -Z
    mesh.Transform(MatrixRotationX(3.14159265f / 2) * MatrixTranslation(0, 0, 5));
    const Vector3 n =
        Cross(Subtract(mesh.positions[1], mesh.positions[0]), Subtract(mesh.positions[2], mesh.positions[0]));
    EXPECT_GT(Dot(Normalize(n), mesh.normals[0]), 0.99f);
    EXPECT_NEAR(mesh.positions[0].z, 5, 1e-5f);
}

TEST(Lettering, TextMaskHasInkAndGrowsWithTheText) {
    if (!LetteringFont()) GTEST_SKIP() << "font package not installed";
    const Canvas one = TextMask(U"A", 40, 2), three = TextMask(U"AAA", 40, 2);
    EXPECT_GT(three.width, 2 * one.width);
    float ink = 0;
    for (const Colour& c : one.pixels) ink += c.a;
    EXPECT_GT(ink, 100);
}
}  // namespace
