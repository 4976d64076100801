// Picture files and .x meshes: what loads, exactly how, and what is refused; the mesh renderer's draw
// order, state restoration and GPU copies.
#include <stb_image_write.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "device/image_loader.h"
#include "device/mesh.h"
#include "gfx_test_support.h"

// The system's mesh importer leaks the partly built mesh when it gives up on a malformed .x file (about
// a kilobyte per refused file, inside the library). Only that library's leaks are excused here.
#if defined(__SANITIZE_ADDRESS__)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libassimp.so\n";
}
#endif

namespace {

namespace fs = std::filesystem;

fs::path TempDir() {
    const fs::path dir = fs::temp_directory_path() / ("kelvane-gfx-" + std::to_string(getpid()));
    fs::create_directories(dir);
    return dir;
}

std::vector<uint8_t> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteBytes(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// 5 x 3 pixels, all different, with varied alpha.
std::vector<uint8_t> Picture() {
    std::vector<uint8_t> rgba;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            for (int value : {x * 50 + 3, y * 100 + 7, (x + y) * 30 + 11, 255 - x * 20 - y * 5})
                rgba.push_back(uint8_t(value));
    return rgba;
}

std::vector<uint8_t> Opaque(std::vector<uint8_t> rgba) {
    for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = 255;
    return rgba;
}

// An uncompressed 32-bit TGA written by hand, rows top-down or bottom-up as its header says.
std::vector<uint8_t> HandTga(const std::vector<uint8_t>& rgba, int width, int height, bool topDown) {
    std::vector<uint8_t> bytes = {0,
                                  0,
                                  2,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  0,
                                  uint8_t(width),
                                  0,
                                  uint8_t(height),
                                  0,
                                  32,
                                  uint8_t(8 | (topDown ? 0x20 : 0))};
    for (int row = 0; row < height; ++row) {
        const int y = topDown ? row : height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = &rgba[size_t(y * width + x) * 4];
            bytes.insert(bytes.end(), {p[2], p[1], p[0], p[3]});  // stored as BGRA
        }
    }
    return bytes;
}

TEST(ImageLoading, BmpTgaPngDecodeExactlyTopRowFirst) {
    const fs::path dir = TempDir();
    const std::vector<uint8_t> picture = Picture();
    ASSERT_TRUE(stbi_write_png((dir / "p.png").c_str(), 5, 3, 4, picture.data(), 5 * 4));
    std::vector<uint8_t> rgb;
    for (size_t i = 0; i < picture.size(); i += 4)
        rgb.insert(rgb.end(), {picture[i], picture[i + 1], picture[i + 2]});
    ASSERT_TRUE(stbi_write_bmp((dir / "p.bmp").c_str(), 5, 3, 3, rgb.data()));
    stbi_write_tga_with_rle = 1;
    ASSERT_TRUE(stbi_write_tga((dir / "rle.tga").c_str(), 5, 3, 4, picture.data()));
    WriteBytes(dir / "top.tga", HandTga(picture, 5, 3, true));
    WriteBytes(dir / "bottom.tga", HandTga(picture, 5, 3, false));

    const std::pair<const char*, std::vector<uint8_t>> cases[] = {{"p.png", picture},
                                                                  {"p.bmp", Opaque(picture)},
                                                                  {"rle.tga", picture},
                                                                  {"top.tga", picture},
                                                                  {"bottom.tga", picture}};
    for (const auto& [name, expected] : cases) {
        SCOPED_TRACE(name);
        Image image;
        std::string error;
        ASSERT_TRUE(LoadImageFile((dir / name).string(), image, error)) << error;
        EXPECT_EQ(image.width, 5);
        EXPECT_EQ(image.height, 3);
        EXPECT_EQ(image.rgba, expected);
        EXPECT_EQ(image.warning, "");

        // Cut short: the formats that decode what is there say the rest is missing; PNG refuses.
        std::vector<uint8_t> cut = ReadBytes(dir / name);
        cut.resize(cut.size() - 12);
        Image partial;
        if (DecodeImage(cut, partial, error))
            EXPECT_EQ(partial.warning, "cut short: the rest of the picture is black");
        else
            EXPECT_EQ(std::string(name), "p.png") << error;
    }

    // JPEG is lossy: the size and the rough colours survive.
    std::vector<uint8_t> flat(16 * 16 * 3, 0);
    for (size_t i = 0; i < flat.size(); i += 3) flat[i] = 200;
    ASSERT_TRUE(stbi_write_jpg((dir / "p.jpg").c_str(), 16, 16, 3, flat.data(), 95));
    Image jpeg;
    std::string error;
    ASSERT_TRUE(LoadImageFile((dir / "p.jpg").string(), jpeg, error)) << error;
    EXPECT_EQ(jpeg.width, 16);
    EXPECT_NEAR(jpeg.rgba[0], 200, 6);
    EXPECT_NEAR(jpeg.rgba[1], 0, 6);
    EXPECT_EQ(jpeg.rgba[3], 255);
    fs::remove_all(dir);
}

TEST(ImageLoading, RefusesGarbageTruncatedEmptyAndOversizedFiles) {
    const fs::path dir = TempDir();
    const std::vector<uint8_t> picture = Picture();
    ASSERT_TRUE(stbi_write_png((dir / "p.png").c_str(), 5, 3, 4, picture.data(), 5 * 4));
    std::vector<uint8_t> png = ReadBytes(dir / "p.png");
    Image image;
    std::string error;

    EXPECT_FALSE(DecodeImage({}, image, error));
    const std::vector<uint8_t> garbage = {'h', 'e', 'l', 'l', 'o', ' ', 'w', 'o', 'r', 'l', 'd', 0, 1, 2, 3};
    EXPECT_FALSE(DecodeImage(garbage, image, error));
    const std::vector<uint8_t> truncated(png.begin(), png.begin() + long(png.size() / 2));
    EXPECT_FALSE(DecodeImage(truncated, image, error));
    EXPECT_TRUE(image.rgba.empty());

    // A PNG chunk that claims far more bytes than the file holds is refused before the decoder reserves them.
    std::vector<uint8_t> greedy = png;
    const size_t idat = size_t(
        std::search(greedy.begin(), greedy.end(), std::begin("IDAT"), std::end("IDAT") - 1) - greedy.begin());
    ASSERT_LT(idat, greedy.size());
    greedy[idat - 4] = 0x4E;
    greedy[idat - 3] = 0x47;
    EXPECT_FALSE(DecodeImage(greedy, image, error));
    EXPECT_NE(error.find("more bytes"), std::string::npos) << error;

    // A TGA header that claims 9000 x 10 pixels is refused before anything is decoded.
    std::vector<uint8_t> huge = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x28, 0x23, 10, 0, 32, 8};
    huge.resize(huge.size() + 64, 0);
    EXPECT_FALSE(DecodeImage(huge, image, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
    // A short file that claims the largest picture is refused, not decoded into 256 MB of nothing;
    // pictures that compress as well as pictures can still load.
    std::vector<uint8_t> hollow = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x20, 0x00, 0x20, 32, 8};
    hollow.resize(hollow.size() + 64, 0);
    EXPECT_FALSE(DecodeImage(hollow, image, error));
    EXPECT_NE(error.find("8192 x 8192 pixels cannot come from a file of 82 bytes"), std::string::npos)
        << error;
    const std::vector<uint8_t> plain(1024 * 1024 * 4, 0x55);
    ASSERT_TRUE(stbi_write_png((dir / "plain.png").c_str(), 1024, 1024, 4, plain.data(), 1024 * 4));
    const std::vector<uint8_t> plainPng = ReadBytes(dir / "plain.png");
    ASSERT_TRUE(DecodeImage(plainPng, image, error)) << error << " (" << plainPng.size() << " bytes)";
    EXPECT_EQ(image.rgba, plain);
    // 1024 x 1024 pixels of one colour in 222 bytes: a one-bit palette PNG, as image optimisers write
    // a plain fill (about 19,000 bytes of pixels per byte of file).
    const std::vector<uint8_t> palettePng = {
        0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
        0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x04, 0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x45, 0xd3, 0xb9,
        0xc0, 0x00, 0x00, 0x00, 0x03, 0x50, 0x4c, 0x54, 0x45, 0x20, 0x40, 0x80, 0x82, 0xf6, 0xb7, 0x1f,
        0x00, 0x00, 0x00, 0x96, 0x49, 0x44, 0x41, 0x54, 0x78, 0xda, 0xed, 0xc1, 0x01, 0x01, 0x00, 0x00,
        0x00, 0x82, 0x20, 0xff, 0xaf, 0x6e, 0x48, 0x40, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xef, 0x06, 0x04, 0x1e, 0x00, 0x01, 0x0d, 0xde,
        0x38, 0x64, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
    ASSERT_TRUE(DecodeImage(palettePng, image, error)) << error;
    ASSERT_EQ(image.rgba.size(), size_t(1024) * 1024 * 4);
    EXPECT_EQ(image.rgba[0], 0x20);
    EXPECT_EQ(image.rgba[image.rgba.size() - 2], 0x80);
    // The largest accepted side still decodes.
    std::vector<uint8_t> edge = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0x20, 1, 0, 32, 8};
    edge.resize(edge.size() + 8192 * 4, 0x7F);
    ASSERT_TRUE(DecodeImage(edge, image, error)) << error;
    EXPECT_EQ(image.width, 8192);

    std::vector<uint8_t> bytes;
    EXPECT_FALSE(ReadWholeFile((dir / "missing.png").string(), 1000, bytes, error));
    EXPECT_FALSE(ReadWholeFile((dir / "p.png").string(), 10, bytes, error));
    EXPECT_TRUE(bytes.empty());
    fs::remove_all(dir);
}

TEST_F(GfxTest, TexturesFromFilesOrNothing) {
    const fs::path dir = TempDir();
    const std::vector<uint8_t> picture = Picture();
    ASSERT_TRUE(stbi_write_png((dir / "p.png").c_str(), 5, 3, 4, picture.data(), 5 * 4));
    WriteBytes(dir / "empty.bmp", {});
    WriteBytes(dir / "junk.tga", {1, 2, 3, 4, 5, 6, 7, 8, 9});
    auto texture = device().CreateTextureFromFile((dir / "p.png").string());
    ASSERT_NE(texture, nullptr);
    EXPECT_EQ(texture->Width(), 5);
    EXPECT_EQ(texture->Height(), 3);
    // Each refusal says why, for the log.
    const std::pair<fs::path, std::string> refused[] = {
        {dir / "none.png", "none.png: No such file or directory"},
        {dir / "empty.bmp", "empty.bmp: empty file"},
        {dir / "junk.tga", "junk.tga: not a readable picture"},
        {dir, ": not a regular file"},  // a directory
    };
    for (const auto& [path, reason] : refused) {
        EXPECT_EQ(device().CreateTextureFromFile(path.string()), nullptr) << path;
        EXPECT_NE(device().TextureLoadProblem().find(reason), std::string::npos)
            << device().TextureLoadProblem();
    }
    fs::remove_all(dir);
}

// A cube under a frame that moves it 2 units along x; ten faces of one textured material, two of a
// half-transparent one.
const char* const CubeX = R"(xof 0303txt 0032

Material Red {
 1.000000;0.000000;0.000000;1.000000;;
 10.000000;
 0.500000;0.500000;0.500000;;
 0.100000;0.000000;0.000000;;
 TextureFilename {
  "maps/red.bmp";
 }
}

Material Glass {
 0.000000;0.000000;1.000000;0.500000;;
 5.000000;
 1.000000;1.000000;1.000000;;
 0.000000;0.000000;0.000000;;
}

Frame Root {
 FrameTransformMatrix {
  1.0,0.0,0.0,0.0,0.0,1.0,0.0,0.0,0.0,0.0,1.0,0.0,2.0,0.0,0.0,1.0;;
 }
 Mesh Cube {
  8;
  -1.0;-1.0;-1.0;,
  -1.0;1.0;-1.0;,
  1.0;1.0;-1.0;,
  1.0;-1.0;-1.0;,
  -1.0;-1.0;1.0;,
  -1.0;1.0;1.0;,
  1.0;1.0;1.0;,
  1.0;-1.0;1.0;;
  12;
  3;0,1,2;,
  3;0,2,3;,
  3;7,6,5;,
  3;7,5,4;,
  3;4,5,1;,
  3;4,1,0;,
  3;3,2,6;,
  3;3,6,7;,
  3;1,5,6;,
  3;1,6,2;,
  3;4,0,3;,
  3;4,3,7;;
  MeshNormals {
   6;
   0.0;0.0;-1.0;,
   0.0;0.0;1.0;,
   -1.0;0.0;0.0;,
   1.0;0.0;0.0;,
   0.0;1.0;0.0;,
   0.0;-1.0;0.0;;
   12;
   3;0,0,0;,
   3;0,0,0;,
   3;1,1,1;,
   3;1,1,1;,
   3;2,2,2;,
   3;2,2,2;,
   3;3,3,3;,
   3;3,3,3;,
   3;4,4,4;,
   3;4,4,4;,
   3;5,5,5;,
   3;5,5,5;;
  }
  MeshTextureCoords {
   8;
   0.000;0.000;,
   0.125;0.750;,
   0.250;0.000;,
   0.375;0.750;,
   0.500;0.000;,
   0.625;0.750;,
   0.750;0.000;,
   0.875;0.750;;
  }
  MeshMaterialList {
   2;
   12;
   0,0,0,0,0,0,0,0,0,0,1,1;
   { Red }
   { Glass }
  }
 }
}
)";

TEST(MeshLoading, TextXKeepsPositionsWindingNormalsAndMaterials) {
    const fs::path dir = TempDir();
    const std::string text = CubeX;
    WriteBytes(dir / "cube.x", std::vector<uint8_t>(text.begin(), text.end()));
    auto fromFile = Mesh::LoadFromFile((dir / "cube.x").string());
    auto fromMemory =
        Mesh::LoadFromMemory(std::span(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    ASSERT_NE(fromFile, nullptr);
    ASSERT_NE(fromMemory, nullptr);

    const float positions[8][3] = {{-1, -1, -1}, {-1, 1, -1}, {1, 1, -1}, {1, -1, -1},
                                   {-1, -1, 1},  {-1, 1, 1},  {1, 1, 1},  {1, -1, 1}};
    const int faces[12][3] = {{0, 1, 2}, {0, 2, 3}, {7, 6, 5}, {7, 5, 4}, {4, 5, 1}, {4, 1, 0},
                              {3, 2, 6}, {3, 6, 7}, {1, 5, 6}, {1, 6, 2}, {4, 0, 3}, {4, 3, 7}};
    const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (const Mesh* mesh : {fromFile.get(), fromMemory.get()}) {
        const auto& subsets = mesh->Subsets();
        ASSERT_EQ(subsets.size(), 2u);
        const MeshMaterial& red = subsets[0].material;
        EXPECT_FLOAT_EQ(red.diffuse.r, 1);
        EXPECT_FLOAT_EQ(red.diffuse.a, 1);
        EXPECT_FLOAT_EQ(red.power, 10);
        EXPECT_FLOAT_EQ(red.specular.g, 0.5f);
        EXPECT_FLOAT_EQ(red.emissive.r, 0.1f);
        EXPECT_EQ(red.textureFile, "red.bmp");
        const MeshMaterial& glass = subsets[1].material;
        EXPECT_FLOAT_EQ(glass.diffuse.b, 1);
        EXPECT_FLOAT_EQ(glass.diffuse.a, 0.5f);
        EXPECT_FLOAT_EQ(glass.power, 5);
        EXPECT_EQ(glass.textureFile, "");
        ASSERT_EQ(subsets[0].indices.size(), 30u);
        ASSERT_EQ(subsets[1].indices.size(), 6u);
        // Every triangle in file order, corners in file order, moved by the frame.
        for (int f = 0; f < 12; ++f) {
            const MeshSubset& subset = subsets[f < 10 ? 0 : 1];
            const int first = (f < 10 ? f : f - 10) * 3;
            for (int corner = 0; corner < 3; ++corner) {
                SCOPED_TRACE(testing::Message() << "face " << f << " corner " << corner);
                const MeshVertex& v = subset.vertices.at(subset.indices[size_t(first + corner)]);
                const int p = faces[f][corner];
                EXPECT_FLOAT_EQ(v.x, positions[p][0] + 2);
                EXPECT_FLOAT_EQ(v.y, positions[p][1]);
                EXPECT_FLOAT_EQ(v.z, positions[p][2]);
                EXPECT_FLOAT_EQ(v.nx, normals[f / 2][0]);
                EXPECT_FLOAT_EQ(v.ny, normals[f / 2][1]);
                EXPECT_FLOAT_EQ(v.nz, normals[f / 2][2]);
                EXPECT_FLOAT_EQ(v.u, 0.125f * float(p));
                EXPECT_FLOAT_EQ(v.v, p % 2 ? 0.75f : 0.0f);
            }
        }
    }
    fs::remove_all(dir);
}

TEST(MeshLoading, RefusesWhatIsNotAMesh) {
    EXPECT_EQ(Mesh::LoadFromMemory({}), nullptr);
    const std::string junk = "xof 0303txt 0032\nMesh { 4000000000; 1.0; }";
    EXPECT_EQ(Mesh::LoadFromMemory(std::span(reinterpret_cast<const uint8_t*>(junk.data()), junk.size())),
              nullptr);
    const std::string words = "this is not a mesh file at all";
    EXPECT_EQ(Mesh::LoadFromMemory(std::span(reinterpret_cast<const uint8_t*>(words.data()), words.size())),
              nullptr);
    const std::string cut(CubeX, CubeX + 400);
    EXPECT_EQ(Mesh::LoadFromMemory(std::span(reinterpret_cast<const uint8_t*>(cut.data()), cut.size())),
              nullptr);
    EXPECT_EQ(Mesh::LoadFromFile("/nonexistent/cube.x"), nullptr);

    // A face list that runs into the normals' face list once ended the process inside the importer's
    // triangulation; now it is simply not a mesh (or, at most, a mesh of whole triangles).
    std::string broken = CubeX;
    const size_t from = broken.find("  3;7,6,5;,"), to = broken.find("   3;0,0,0;,\n") + 13;
    broken.replace(from, to - from, " 000000;0,0,0;,\n");
    broken.replace(broken.find("\n 0.500000;"), 2, "\n0");
    auto survivor =
        Mesh::LoadFromMemory(std::span(reinterpret_cast<const uint8_t*>(broken.data()), broken.size()));
    if (survivor) {
        for (const MeshSubset& subset : static_cast<const Mesh&>(*survivor).Subsets())
            for (uint32_t index : subset.indices) EXPECT_LT(index, subset.vertices.size());
    }
}

// Two squares facing the camera under an identity camera: an opaque red one at depth 0.6 and, listed
// first, a half-transparent blue one in front of it at depth 0.3.
std::unique_ptr<Mesh> LayeredSquares() {
    auto mesh = std::make_unique<Mesh>();
    auto square = [](float z) {
        return std::vector<MeshVertex>{{-0.5f, 0.5f, z, 0, 0, -1, 0, 0},
                                       {0.5f, 0.5f, z, 0, 0, -1, 1, 0},
                                       {-0.5f, -0.5f, z, 0, 0, -1, 0, 1},
                                       {0.5f, -0.5f, z, 0, 0, -1, 1, 1}};
    };
    MeshSubset glass;
    glass.material.diffuse = {0, 0, 1, 0.5f};
    glass.vertices = square(0.3f);
    glass.indices = {0, 1, 2, 2, 1, 3};
    MeshSubset solid;
    solid.material.diffuse = {1, 0, 0, 1};
    solid.material.textureFile = "red.bmp";
    solid.vertices = square(0.6f);
    solid.indices = {0, 1, 2, 2, 1, 3};
    mesh->Subsets() = {glass, solid};
    return mesh;
}

TEST_F(GfxTest, RenderMeshDrawsOpaqueFirstBlendsAlphaAndRestoresState) {
    GraphicsDevice& d = device();
    auto mesh = LayeredSquares();
    d.SetRenderState(RenderState::Lighting, 1);
    d.SetRenderState(RenderState::Ambient, 0xFFFFFFFF);  // unlit by any light: colour = material
    d.SetRenderState(RenderState::SrcBlend, BlendOne);
    d.SetRenderState(RenderState::DestBlend, BlendInvSrcColour);
    Material before;
    before.diffuse = {0.1f, 0.2f, 0.3f, 0.4f};
    before.power = 3;
    d.SetMaterial(before);
    const Matrix world = MatrixTranslation(-0.5f, 0, 0);
    d.SetTransform(TransformKind::World, world);
    const uint8_t white[4] = {255, 255, 255, 255};
    auto texture = d.CreateTextureFromPixels(1, 1, white);
    d.SetTexture(0, texture.get());
    std::vector<std::string> looked;
    const MeshTextureLookup lookup = [&](const std::string& name) {
        looked.push_back(name);
        return texture.get();
    };
    ASSERT_EQ(RenderMesh(d, *mesh, lookup), S_OK);
    Read();
    // Blue at half alpha over the red behind it, whatever order the subsets are listed in.
    EXPECT_NEAR(Channel(200, 300, 0), 128, 1);
    EXPECT_EQ(Channel(200, 300, 1), 0);
    EXPECT_NEAR(Channel(200, 300, 2), 128, 1);
    EXPECT_EQ(looked, std::vector<std::string>{"red.bmp"});

    const Material after = d.GetMaterial();
    EXPECT_EQ(std::memcmp(&after, &before, sizeof before), 0);
    Matrix restored;
    d.GetTransform(TransformKind::World, restored);
    EXPECT_EQ(restored, world);
    EXPECT_EQ(d.GetTexture(0), nullptr);  // unbound before drawing, and that is what is restored
    EXPECT_EQ(d.GetRenderState(RenderState::AlphaBlendEnable), 0u);
    EXPECT_EQ(d.GetRenderState(RenderState::SrcBlend), uint32_t(BlendOne));
    EXPECT_EQ(d.GetRenderState(RenderState::DestBlend), uint32_t(BlendInvSrcColour));

    // With worlds, each subset is drawn once per matrix in one call, the same picture as drawing one
    // mesh per world transform.
    const std::vector<Matrix> worlds = {MatrixTranslation(-0.5f, 0, 0), MatrixTranslation(0.5f, 0.3f, 0)};
    d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
    ASSERT_EQ(RenderMesh(d, *mesh, lookup, worlds), S_OK);
    Read();
    const std::vector<uint8_t> instanced = pixels;
    d.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
    for (const Matrix& each : worlds) {
        d.SetTransform(TransformKind::World, each);
        RenderMesh(d, *mesh, lookup);
    }
    Read();
    // The two placements do not overlap, so the order of opaque and blended layers cannot differ.
    EXPECT_TRUE(pixels == instanced);
    EXPECT_NEAR(Channel(200, 300, 0), 128, 1);
    EXPECT_NEAR(Channel(600, 200, 2), 128, 1);
}

TEST_F(GfxTest, MeshGeometryIsUploadedOnceAndDroppedWithTheMesh) {
    auto& glDevice = dynamic_cast<GlDevice&>(device());
    auto sweep = [] {
        for (int frame = 0; frame < 120; ++frame) {
            device().BeginScene();
            device().EndScene();
        }
    };
    sweep();  // copies of meshes from earlier tests go first
    auto mesh = LayeredSquares();
    const MeshTextureLookup none;
    device().SetRenderState(RenderState::Lighting, 1);
    device().SetRenderState(RenderState::Ambient, 0xFFFFFFFF);
    const auto start = glDevice.Stats();
    for (int frame = 0; frame < 3; ++frame) ASSERT_EQ(RenderMesh(device(), *mesh, none), S_OK);
    EXPECT_EQ(glDevice.Stats().meshUploads - start.meshUploads, 2u);
    EXPECT_EQ(glDevice.Stats().cachedMeshParts, start.cachedMeshParts + 2);

    // Changing the geometry is seen: the new squares are drawn, not the stale copy.
    for (MeshVertex& v : mesh->Subsets()[1].vertices) v.x += 10;  // the red square moves off screen
    device().Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
    ASSERT_EQ(RenderMesh(device(), *mesh, none), S_OK);
    EXPECT_EQ(glDevice.Stats().meshUploads - start.meshUploads, 4u);
    Read();
    EXPECT_EQ(Channel(400, 300, 0), 0);

    mesh.reset();
    sweep();
    EXPECT_EQ(glDevice.Stats().cachedMeshParts, start.cachedMeshParts);
}

}  // namespace
