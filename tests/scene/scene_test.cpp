// The scene's arithmetic and its drawing sequences, checked through a recording device.
#include "scene/scene.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <numbers>
#include <set>
#include <tuple>

#include "core/game_core.h"
#include "cube_files.h"
#include "persist/log.h"
#include "recording_device.h"
#include "ui/screen.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;

Vector3 Origin(const Matrix& world) {
    const Vector4 p = TransformPoint({0, 0, 0}, world);
    return {p.x, p.y, p.z};
}

void ExpectNear(const Vector3& actual, float x, float y, float z) {
    EXPECT_NEAR(actual.x, x, 1e-4f);
    EXPECT_NEAR(actual.y, y, 1e-4f);
    EXPECT_NEAR(actual.z, z, 1e-4f);
}

// A library with the seven cell meshes of style 1 (each a different colour) and the bonus meshes.
class SceneDrawing : public ::testing::Test {
protected:
    void SetUp() override {
        for (int c = 0; c < ColourCount; ++c) {
            const auto& rgb = TestCellColours[static_cast<size_t>(c)];
            meshes.AddMesh("cell_t1_" + std::to_string(c + 1) + ".x",
                           TriangleMesh({rgb[0], rgb[1], rgb[2], 1}));
        }
        meshes.AddMesh("bonus.x", TriangleMesh({1, 1, 1, 1}));
        meshes.AddMesh("bonus2.x", TriangleMesh({0.5f, 0.5f, 0.5f, 1}));
        meshes.AddMesh("glass.x", TriangleMesh({0.8f, 0.9f, 1, 0.3f}));
        scene.LoadCellMeshes(0);
        state.gameType = Classic;
    }

    Cell MakeCell(int column, int row, int colour) {
        Cell cell;
        cell.column = column;
        cell.row = row;
        cell.colour = colour;
        return cell;
    }

    MeshLibrary meshes;
    Scene scene{meshes};
    RecordingDevice device;
    GameState state;
};
}  // namespace

TEST(ScrollOffset, RunsOverOnePeriodAndStartsAgain) {
    EXPECT_EQ(ScrollOffset(0, 4, 0.025f), 0.0f);
    EXPECT_NEAR(ScrollOffset(10, 4, 0.025f), 1.0f, 1e-5f);  // period 40 s, no whole period yet
    EXPECT_NEAR(ScrollOffset(50, 4, 0.025f), 1.0f, 1e-4f);  // one whole period gone
    EXPECT_NEAR(ScrollOffset(30, 4, 0.025f), 3.0f, 1e-5f);
    EXPECT_NEAR(ScrollOffset(10, 4, -0.025f), -1.0f, 1e-5f);  // the floor runs the other way
    EXPECT_NEAR(ScrollOffset(50, 4, -0.025f), -1.0f, 1e-4f);
    EXPECT_EQ(ScrollOffset(123.0f, 4, 0), 0.0f);
}

TEST(ScrollOffset, ScrollingQuadTilesAndShiftsItsCoordinates) {
    const std::array<QuadCorner, 4> corners{{{0, 0, 0, 1}, {1, 0, 0, 2}, {0, 1, 0, 3}, {1, 1, 0, 4}}};
    const auto v = ScrollingQuadVertices(corners, 10, 4, 0, 0.025f);
    EXPECT_FLOAT_EQ(v[0].u, 0);
    EXPECT_NEAR(v[0].v, 5.0f, 1e-5f);
    EXPECT_FLOAT_EQ(v[1].u, 4);
    EXPECT_NEAR(v[2].v, 1.0f, 1e-5f);
    EXPECT_NEAR(v[3].v, 1.0f, 1e-5f);
    EXPECT_EQ(v[2].diffuse, 3u);
}

TEST(CentredQuad, HorizonStripSpansItsSize) {
    const auto v = CentredQuadVertices(0, -4, 50, 2.5f, 30);
    EXPECT_FLOAT_EQ(v[0].x, -25);
    EXPECT_FLOAT_EQ(v[0].y, -5.25f);
    EXPECT_FLOAT_EQ(v[3].x, 25);
    EXPECT_FLOAT_EQ(v[3].y, -2.75f);
    for (const QuadVertex& q : v) EXPECT_FLOAT_EQ(q.z, 30);
    // Lower left shows the bottom of the picture, upper right the top: not mirrored.
    EXPECT_FLOAT_EQ(v[0].v, 1);
    EXPECT_FLOAT_EQ(v[3].u, 1);
    EXPECT_FLOAT_EQ(v[3].v, 0);
}

TEST(CentredQuad, DrawsUnlitAtWorldIdentityAndRestoresLighting) {
    RecordingDevice device;
    device.SetRenderState(RenderState::Lighting, 1);
    device.world = MatrixTranslation(5, 5, 5);
    FakeTexture texture;
    ASSERT_FALSE(Failed(DrawCentredQuad(device, &texture, 0, -4, 50, 2.5f, 30)));
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_FALSE(device.draws[0].lighting);
    EXPECT_EQ(device.draws[0].texture, &texture);
    EXPECT_EQ(device.draws[0].worlds[0], MatrixIdentity());
    EXPECT_EQ(device.draws[0].indexCount, 6u);
    EXPECT_EQ(device.GetRenderState(RenderState::Lighting), 1u);
}

TEST(SceneLight, AmbientGreyAndDirectionalLight) {
    RecordingDevice device;
    SetSceneLight(device, 1.0f);
    EXPECT_EQ(device.GetRenderState(RenderState::Ambient), 0xFFFFFFFFu);
    SetSceneLight(device, 0.55f);
    EXPECT_EQ(device.GetRenderState(RenderState::Ambient), 0x8C8C8C8Cu);  // 140 in every byte
    EXPECT_FLOAT_EQ(device.light.diffuse.r, 0.55f);
    EXPECT_FLOAT_EQ(device.light.diffuse.g, 0.55f);
    EXPECT_FLOAT_EQ(device.light.diffuse.b, 0.55f);
    EXPECT_FLOAT_EQ(device.light.specular.r, 1);
    EXPECT_FLOAT_EQ(device.light.direction.x, -1);
    EXPECT_FLOAT_EQ(device.light.direction.y, -2);
    EXPECT_FLOAT_EQ(device.light.direction.z, 1);
    EXPECT_FLOAT_EQ(device.light.attenuation0, 1);
    EXPECT_GT(device.light.range, 1e18f);
    EXPECT_TRUE(device.lightEnabled);
}

TEST(Camera, ProjectsWellCellsWhereTheLensPutsThem) {
    RecordingDevice device;
    ASSERT_FALSE(Failed(SetUpSceneCamera(device)));
    EXPECT_EQ(device.clears, 1);
    EXPECT_EQ(device.GetRenderState(RenderState::ZFunc), CmpLessEqual);
    EXPECT_EQ(device.GetRenderState(RenderState::Lighting), 1u);
    EXPECT_EQ(device.GetRenderState(RenderState::DestBlend), BlendInvSrcColour);
    EXPECT_EQ(device.GetTextureStageState(0, TextureStageState::MipFilter), FilterNone);
    EXPECT_EQ(device.GetTextureStageState(0, TextureStageState::MagFilter), FilterLinear);

    // A pinhole at (0, 0, -5) with a vertical field of a quarter turn's half and the 4:3 squeeze.
    const double c = 1.0 / std::tan(std::numbers::pi / 8);
    const double q = 100.0 / 99.0;
    struct Case {
        int column, row;
    };
    for (const Case k : {Case{1, 1}, Case{12, 20}, Case{6, 10}}) {
        const double worldX = k.column - 6.5, worldY = 10.5 - k.row, eyeDepth = 22.0 + 5.0;
        ScreenPoint point;
        point.x = static_cast<float>(worldX);
        point.y = static_cast<float>(worldY);
        point.z = 22;
        point.colour = 0x12345678;
        ASSERT_FALSE(Failed(ProjectToScreen(device, std::span<ScreenPoint>(&point, 1))));
        EXPECT_NEAR(point.x, (0.75 * c * worldX / eyeDepth + 1) * 400, 1e-3);
        EXPECT_NEAR(point.y, (1 - c * worldY / eyeDepth) * 300, 1e-3);
        EXPECT_NEAR(point.z, q - q / eyeDepth, 1e-5);
        EXPECT_NEAR(point.w, eyeDepth, 1e-4);
        EXPECT_EQ(point.colour, 0x12345678u);
    }
    // Cell (1, 1) is in the top-left part of the picture, (12, 20) in the bottom-right.
    ScreenPoint corner[2];
    corner[0].x = -5.5f, corner[0].y = 9.5f, corner[0].z = 22;
    corner[1].x = 5.5f, corner[1].y = -9.5f, corner[1].z = 22;
    ProjectToScreen(device, corner);
    EXPECT_LT(corner[0].x, 400);
    EXPECT_LT(corner[0].y, 300);
    EXPECT_GT(corner[1].x, 400);
    EXPECT_GT(corner[1].y, 300);
}

TEST(Camera, ViewportHalvesByIntegerShiftWithoutItsOrigin) {
    RecordingDevice device;
    device.viewport = {100, 50, 801, 601, 0, 1};
    ScreenPoint point;  // the origin of the view: the picture's middle
    point.z = 10;
    device.view = MatrixIdentity();
    device.projection = MatrixIdentity();
    device.projection.m[2][3] = 1;  // w from z
    ProjectToScreen(device, std::span<ScreenPoint>(&point, 1));
    EXPECT_FLOAT_EQ(point.x, 400);
    EXPECT_FLOAT_EQ(point.y, 300);
}

TEST(MeshLibraryFiles, FindsByExactNameAndStopsWhenFull) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kelvane_scene_meshes_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const std::string cube = CubeXFile({1, 0, 0});
    ASSERT_TRUE(WriteTextFile((dir / "Glass.x").string(), cube));
    ASSERT_TRUE(WriteTextFile((dir / "bonus.x").string(), cube));
    ASSERT_TRUE(WriteTextFile((dir / "broken.x").string(), "xof 0303txt 0032\nMesh {"));
    ASSERT_TRUE(WriteTextFile((dir / "empty.x").string(), ""));
    const std::string prefix = dir.string() + "/";

    MeshLibrary library;
    library.LoadAllMeshes(prefix);
    EXPECT_EQ(library.Count(), 2);
    EXPECT_EQ(library.FindMesh("glass.x"), nullptr);  // listed as "Glass.x"
    EXPECT_NE(library.FindMesh("Glass.x"), nullptr);
    EXPECT_NE(library.FindMesh("bonus.x"), nullptr);
    EXPECT_EQ(library.FindMesh("broken.x"), nullptr);
    RecordingDevice device;
    EXPECT_EQ(library.DrawMesh(device, library.FindMesh("glass.x")), E_FAIL);
    EXPECT_TRUE(device.draws.empty());

    // Loading again starts from an empty table; the 101st mesh does not fit.
    for (int i = 0; i < MeshCapacity; ++i)
        library.AddMesh("m" + std::to_string(i), TriangleMesh({1, 1, 1, 1}));
    EXPECT_EQ(library.Count(), MeshCapacity);
    EXPECT_EQ(library.LoadMesh(prefix, "bonus.x"), E_FAIL);
    library.LoadAllMeshes(prefix);
    EXPECT_EQ(library.Count(), 2);
    library.ReleaseMeshes();
    EXPECT_EQ(library.Count(), 0);
    fs::remove_all(dir);
}

TEST(MeshLibraryFiles, EveryMeshThatFailsIsLoggedWithItsReason) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("kelvane_scene_badmeshes_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "Graphics");
    const fs::path old = fs::current_path();
    fs::current_path(dir);
    ResetLogState();
    const std::string cube = CubeXFile({1, 0, 0});
    ASSERT_TRUE(WriteTextFile("Graphics/glass.x", cube));
    ASSERT_TRUE(WriteTextFile("Graphics/cell_t1_1.x", cube.substr(0, cube.size() / 2)));
    ASSERT_TRUE(WriteTextFile("Graphics/cell_t1_2.x", ""));
    ASSERT_TRUE(WriteTextFile("Graphics/cell_t1_3.x", "this is not a mesh"));
    fs::create_directory("Graphics/cell_t1_4.x");
    fs::create_symlink("/dev/zero", "Graphics/cell_t1_5.x");

    MeshLibrary library;
    library.LoadAllMeshes("Graphics\\");
    library.ReportMissing("Graphics\\", {"glass.x", "cell_t1_1.x", "cell_t1_2.x", "cell_t1_3.x",
                                         "cell_t1_4.x", "cell_t1_5.x", "cell_t1_6.x"});
    std::ifstream in("app.log", std::ios::binary);
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const char* expected[] = {
        "Mesh loading: 'Graphics\\cell_t1_1.x' ... FAILED (",
        "Mesh loading: 'Graphics\\cell_t1_2.x' ... FAILED (empty file)",
        "Mesh loading: 'Graphics\\cell_t1_3.x' ... FAILED (",
        "Mesh loading: 'Graphics\\cell_t1_4.x' ... FAILED (not a regular file)",
        "Mesh loading: 'Graphics\\cell_t1_5.x' ... FAILED (not a regular file)",
        "Mesh loading: 'Graphics\\cell_t1_6.x' ... FAILED (No such file or directory)",
    };
    for (const char* line : expected) {
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
        EXPECT_EQ(log.find(line), log.rfind(line)) << "logged once: " << line;
    }
    EXPECT_EQ(log.find("glass.x"), std::string::npos);
    EXPECT_EQ(log.find("FAILED ()"), std::string::npos) << "every failure has a reason";
    fs::current_path(old);
    ResetLogState();
    fs::remove_all(dir);
}

TEST(MeshLibraryFiles, TextureSetKeepsBareNamesAndRefusesTheOverflow) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("kelvane_scene_textures_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    for (int i = 0; i < 100; ++i)
        WriteTextFile((dir / ("t" + std::to_string(1000 + i) + ".bmp")).string(), "x");
    for (int i = 0; i < 3; ++i) WriteTextFile((dir / ("s" + std::to_string(i) + ".tga")).string(), "x");
    WriteTextFile((dir / "notes.txt").string(), "x");

    // Counts the textures made: the folder's pictures are only checked when it is read.
    struct CountingDevice : RecordingDevice {
        int made = 0;
        std::unique_ptr<Texture> CreateTextureFromFile(const std::string& nativePath) override {
            ++made;
            return RecordingDevice::CreateTextureFromFile(nativePath);
        }
        bool CheckTextureFile(const std::string& nativePath) override {
            return std::filesystem::is_regular_file(nativePath);
        }
    } device;
    MeshTextureSet set;
    ASSERT_FALSE(Failed(set.LoadMeshTextures(device, dir.string() + "/")));
    EXPECT_EQ(set.Count(), MeshTextureCapacity);
    EXPECT_EQ(set.Refused(), 2);
    EXPECT_EQ(set.Name(0), "t1000.bmp");
    EXPECT_EQ(set.Name(100), "s0.tga");  // every bitmap first, then the first targa
    EXPECT_EQ(device.made, 0);
    Texture* found = set.Find("t1050.bmp");
    EXPECT_NE(found, nullptr);
    EXPECT_EQ(set.Find("t1050.bmp"), found);
    EXPECT_EQ(device.made, 1) << "made once, on the first lookup";
    EXPECT_EQ(set.Find("T1050.bmp"), nullptr);
    EXPECT_EQ(set.Find("s2.tga"), nullptr);
    // A file gone since the folder was read leaves its meshes untextured, and is tried once.
    fs::remove(dir / "t1060.bmp");
    EXPECT_EQ(set.Find("t1060.bmp"), nullptr);
    EXPECT_EQ(set.Find("t1060.bmp"), nullptr);
    EXPECT_EQ(device.made, 2);
    set.ReleaseMeshTextures();
    EXPECT_EQ(set.Count(), 0);
    EXPECT_EQ(set.Find("t1050.bmp"), nullptr);
    fs::remove_all(dir);
}

TEST_F(SceneDrawing, MeshDrawUnbindsTheTextureAndResolvesMaterialNames) {
    auto textured = TriangleMesh({1, 1, 1, 1});
    // A texture registered in the set is found for the material that names it.
    meshes.textures.ReleaseMeshTextures();
    textured->Subsets()[0].material.textureFile = "missing.bmp";
    meshes.AddMesh("textured.x", std::move(textured));
    FakeTexture previous;
    device.SetTexture(0, &previous);
    ASSERT_FALSE(Failed(meshes.DrawMesh(device, meshes.FindMesh("textured.x"))));
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_EQ(device.draws[0].texture, nullptr);  // unknown texture: drawn untextured
    EXPECT_EQ(device.GetTexture(0), nullptr);     // stage 0 left unbound
}

TEST_F(SceneDrawing, PieceRefusesUnknownShapesAndColours) {
    for (const auto& [shape, colour] : {std::pair{0, 0}, {8, 0}, {1, 7}, {1, -1}, {-1, -1}}) {
        EXPECT_EQ(scene.DrawPiece(device, shape, colour, 0, 0, 22, Pi, 0, 0, 1), E_FAIL)
            << shape << "," << colour;
    }
    EXPECT_TRUE(device.draws.empty());
    EXPECT_EQ(device.worldSets, 0);
    // The preview before the first placement: no next bar yet.
    EXPECT_EQ(scene.DrawColourBar(device, {-1, -1, -1, -1}, ColorBlocks, 10, 1, 22, Pi, 0, 0, 1), E_FAIL);
    EXPECT_TRUE(device.draws.empty());
    // A bad colour in the middle stops the bar there.
    EXPECT_EQ(scene.DrawColourBar(device, {2, 9, 2, 0}, ColorBlocks, 0, 0, 22, 0, 0, 0, 1), E_FAIL);
    EXPECT_EQ(device.MeshWorlds().size(), 1u);
}

TEST_F(SceneDrawing, PieceCellsFollowTheTransformChain) {
    // Shape 2 (an L): offsets (0,0), (1,0), (0,1), (0,2); turned over about X it hangs downwards.
    ASSERT_FALSE(Failed(scene.DrawPiece(device, 2, 3, 10, 1, 22, Pi, 0, 0, 1)));
    std::vector<Matrix> worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 4u);
    ExpectNear(Origin(worlds[0]), 10, 1, 22);
    ExpectNear(Origin(worlds[1]), 11, 1, 22);
    ExpectNear(Origin(worlds[2]), 10, 0, 22);
    ExpectNear(Origin(worlds[3]), 10, -1, 22);
    for (const RecordedDraw& d : device.draws) {
        EXPECT_TRUE(d.specular);
        EXPECT_FLOAT_EQ(d.material.diffuse.r, TestCellColours[3][0]);
    }
    EXPECT_EQ(device.GetRenderState(RenderState::SpecularEnable), 0u);

    // Scale first, then the turns X, Y, Z, then the placement: offset (1, 0) scaled by 2 and turned a
    // quarter about Y points along -Z (left-handed, clockwise seen from above).
    device.draws.clear();
    scene.DrawPiece(device, 2, 0, 0, 0, 22, 0, Pi / 2, 0, 2);
    worlds = device.MeshWorlds();
    ExpectNear(Origin(worlds[1]), 0, 0, 20);
    // The menu's pieces spin about Y at rotY = now with the cells upright.
    device.draws.clear();
    scene.DrawPiece(device, 2, 0, 0, 0, 22, 0, 0, Pi / 2, 1);
    worlds = device.MeshWorlds();
    ExpectNear(Origin(worlds[1]), 0, 1, 22);
}

TEST_F(SceneDrawing, ColourBarStandsOrLiesByGameType) {
    scene.DrawColourBar(device, {0, 1, 2, -1}, ColorBlocks, 2, 5, 22, Pi, 0, 0, 1);
    std::vector<Matrix> worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 3u);
    // Drawn per colour; find each by its material.
    std::vector<float> ys;
    for (const Matrix& w : worlds) ys.push_back(Origin(w).y);
    std::sort(ys.begin(), ys.end());
    EXPECT_NEAR(ys[0], 3, 1e-4);
    EXPECT_NEAR(ys[2], 5, 1e-4);
    // Cell 0 (colour 0) on top.
    for (const RecordedDraw& d : device.draws)
        if (d.material.diffuse.r == TestCellColours[0][0] && d.material.diffuse.g == TestCellColours[0][1])
            ExpectNear(Origin(d.worlds[0]), 2, 5, 22);

    device.draws.clear();
    scene.DrawColourBar(device, {4, 4, 4, -1}, RotatedColorBlocks, 2, 5, 22, Pi, 0, 0, 1);
    worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 3u);
    EXPECT_EQ(device.MeshDrawCalls(), 1u);  // one colour, one call
    ExpectNear(Origin(worlds[2]), 4, 5, 22);
}

// The next piece of every game type, any shape, at any moment of its turn.
struct PreviewCase {
    GameType gameType;
    int shape;
};
std::vector<PreviewCase> EveryPreview() {
    std::vector<PreviewCase> cases;
    for (int shape = 1; shape <= 7; ++shape) cases.push_back({Classic, shape});
    cases.push_back({ColorBlocks, 0});
    cases.push_back({RotatedColorBlocks, 0});
    return cases;
}

// The cells' centres drawn for the preview.
std::vector<Vector3> DrawPreview(Scene& scene, GameState& state, const PreviewCase& c, float turn) {
    RecordingDevice device;
    state.gameType = c.gameType;
    state.nextShape = c.shape;
    state.nextColour = 2;
    state.nextBarColours = {0, 3, 6, 0};
    EXPECT_FALSE(Failed(scene.DrawNextPiece(device, state, NextPieceCentre, turn)));
    std::vector<Vector3> centres;
    for (const Matrix& world : device.MeshWorlds()) centres.push_back(Origin(world));
    return centres;
}

// On the screen: facing the player, every preview stands in the middle of its panel across and in the
// middle of the room below the panel's label, and every cell stays inside the panel at any moment of
// its turn.
TEST_F(SceneDrawing, NextPieceStaysInsideItsPanel) {
    Screen inGame;
    ASSERT_EQ(inGame.LoadFromXml(std::string(KELVANE_SOURCE_DIR_DEFAULT) + "/data/menu-ingame.xml"), 1);
    const ScreenImage* panel = nullptr;
    for (const ScreenImage& image : inGame.Images())
        if (image.img == "Graphics\\panel_next.png") panel = &image;
    ASSERT_NE(panel, nullptr);
    const float labelBottom = inGame.GetTextY("txtNext") + inGame.GetTextSize("txtNext") / 2;
    const float panelBottom = panel->yc + panel->height / 2;
    const Matrix viewProjection = SceneViewMatrix() * SceneProjectionMatrix();
    auto onScreen = [&](const Vector3& p) {
        const Vector4 clip = TransformPoint(p, viewProjection);
        return std::pair{(clip.x / clip.w + 1) / 2, (1 - clip.y / clip.w) / 2};
    };
    for (const PreviewCase& c : EveryPreview())
        for (float turn : {-0.5f, -0.25f, 0.0f, 0.25f, 0.5f}) {
            SCOPED_TRACE("game type " + std::to_string(c.gameType) + ", shape " + std::to_string(c.shape));
            float left = 1, right = 0, top = 1, bottom = 0;
            for (const Vector3& centre : DrawPreview(scene, state, c, turn))
                for (int corner = 0; corner < 8; ++corner) {
                    const Vector3 p{centre.x + (corner & 1 ? 0.47f : -0.47f),
                                    centre.y + (corner & 2 ? 0.47f : -0.47f),
                                    centre.z + (corner & 4 ? 0.47f : -0.47f)};
                    const auto [x, y] = onScreen(p);
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
            if (turn == 0) {
                EXPECT_NEAR((left + right) / 2, panel->xc, 0.003);
                EXPECT_NEAR((top + bottom) / 2, (labelBottom + panelBottom) / 2, 0.006);
            }
            EXPECT_GT(left, panel->xc - panel->width / 2 + 0.01f);
            EXPECT_LT(right, panel->xc + panel->width / 2 - 0.01f);
            EXPECT_GT(top, labelBottom);
            EXPECT_LT(bottom, panelBottom - 0.01f);
        }
    RecordingDevice device;
    EXPECT_EQ(scene.DrawNextPiece(device, GameState{}, NextPieceCentre, 0), E_FAIL) << "no next piece yet";
    EXPECT_TRUE(device.draws.empty());
}

TEST_F(SceneDrawing, WellPlacesSettledAndFallingCells) {
    state.well.cells[0] = MakeCell(1, 1, 0);
    state.well.cells[1] = MakeCell(12, 20, 1);
    state.well.cells[2] = MakeCell(6, 10, 0);
    state.well.cells[2].falling = 1;
    state.well.cells[2].fallProgress = 0.25f;
    state.well.cells[3] = MakeCell(7, 10, 9);  // a damaged colour: skipped
    state.well.count = 4;
    device.SetRenderState(RenderState::Ambient, 0);
    ASSERT_FALSE(Failed(scene.DrawWell(device, state)));
    const std::vector<Matrix> worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 3u);
    EXPECT_EQ(device.MeshDrawCalls(), 2u);  // two colours
    ExpectNear(Origin(worlds[0]), -5.5f, 9.5f, 22);
    ExpectNear(Origin(worlds[1]), -0.5f, 0.5f + 0.75f, 22);  // still three quarters of a row above
    ExpectNear(Origin(worlds[2]), 5.5f, -9.5f, 22);
    for (const RecordedDraw& d : device.draws) EXPECT_TRUE(d.specular);
    EXPECT_EQ(device.GetRenderState(RenderState::SpecularEnable), 0u);
    EXPECT_EQ(device.GetRenderState(RenderState::Ambient), 0x8C8C8C8Cu);  // scene light restored
    // Drawing does not move anything.
    EXPECT_FLOAT_EQ(state.well.cells[2].fallProgress, 0.25f);
}

TEST_F(SceneDrawing, EmptyWellDrawsNothing) {
    device.SetRenderState(RenderState::Ambient, 7);
    ASSERT_FALSE(Failed(scene.DrawWell(device, state)));
    EXPECT_TRUE(device.draws.empty());
    EXPECT_EQ(device.GetRenderState(RenderState::Ambient), 7u);
    EXPECT_EQ(device.worldSets, 0);
}

TEST_F(SceneDrawing, ActivePieceSlidesAndSwingsAboutItsFirstCell) {
    state.piece.active = 1;
    state.pieceCellCount = 4;
    state.piece.cells = {MakeCell(6, 5, 2), MakeCell(7, 5, 2), MakeCell(6, 6, 2), MakeCell(6, 7, 2)};
    state.piece.cells[1].movingLeft = 1;  // came from the right, a quarter of the way in
    state.piece.cells[1].moveLeftProgress = 0.25f;
    state.piece.cells[2].falling = 1;  // came from above, half way down
    state.piece.cells[2].fallProgress = 0.5f;
    state.piece.cells[3].rotating = 1;  // turned a quarter about cell 0, just started
    state.piece.cells[3].rotateProgress = 0;
    state.piece.cells[0].movingRight = 1;
    state.piece.cells[0].moveRightProgress = 0.5f;
    ASSERT_FALSE(Failed(scene.DrawWell(device, state)));
    const std::vector<Matrix> worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 4u);
    ExpectNear(Origin(worlds[0]), -0.5f - 0.5f, 5.5f, 22);
    ExpectNear(Origin(worlds[1]), 0.5f + 0.75f, 5.5f, 22);
    ExpectNear(Origin(worlds[2]), -0.5f, 4.5f + 0.5f, 22);
    // Two rows below the pivot, turned back a quarter: Rz(pi/2) takes (0, -2) to (2, 0).
    ExpectNear(Origin(worlds[3]), -0.5f + 2, 5.5f, 22);
    // The piece is not followed by the scene light; only settled cells are.
    EXPECT_EQ(device.GetRenderState(RenderState::Ambient), 0u);
}

TEST_F(SceneDrawing, RefusedTransformStopsTheWell) {
    for (int i = 0; i < 5; ++i) state.well.cells[static_cast<size_t>(i)] = MakeCell(i + 1, 20, i);
    state.well.count = 5;
    device.refuseWorldAfter = 2;
    EXPECT_EQ(scene.DrawWell(device, state), E_FAIL);
    EXPECT_EQ(device.MeshWorlds().size(), 2u);  // the two cells before the refusal
}

TEST_F(SceneDrawing, BatchedDrawingMatchesCellByCell) {
    SeedRandom(7);
    for (int i = 0; i < WellColumns * WellRows; ++i) {
        Cell cell = MakeCell(i % WellColumns + 1, i / WellColumns + 1, RandomInt(0, 6));
        cell.falling = i % 5 == 0;
        cell.fallProgress = 0.1f * static_cast<float>(i % 10);
        state.well.cells[static_cast<size_t>(i)] = cell;
    }
    state.well.count = WellColumns * WellRows;
    state.piece.active = 1;
    state.piece.cells = {MakeCell(6, 1, 3), MakeCell(7, 1, 3), MakeCell(6, 2, 3), MakeCell(6, 3, 3)};
    // Under the frame's usual light: one call per colour for the resting cells, then one per colour for
    // the piece and the sinking cells.
    SetSceneLight(device, 0.55f);
    ASSERT_FALSE(Failed(scene.DrawWell(device, state)));
    EXPECT_EQ(device.MeshDrawCalls(), 14u);
    std::vector<Matrix> batched = device.MeshWorlds();

    RecordingDevice single;
    SetSceneLight(single, 0.55f);
    scene.drawOneByOne = true;
    ASSERT_FALSE(Failed(scene.DrawWell(single, state)));
    EXPECT_EQ(single.MeshDrawCalls(), 244u);
    std::vector<Matrix> oneByOne = single.MeshWorlds();
    auto byPosition = [](const Matrix& a, const Matrix& b) {
        return std::tie(a.m[3][0], a.m[3][1]) < std::tie(b.m[3][0], b.m[3][1]);
    };
    std::sort(batched.begin(), batched.end(), byPosition);
    std::sort(oneByOne.begin(), oneByOne.end(), byPosition);
    EXPECT_EQ(batched, oneByOne);
    EXPECT_EQ(single.GetRenderState(RenderState::Ambient), device.GetRenderState(RenderState::Ambient));
    EXPECT_EQ(single.GetRenderState(RenderState::SpecularEnable),
              device.GetRenderState(RenderState::SpecularEnable));
    EXPECT_EQ(single.world, device.world);
}

TEST_F(SceneDrawing, SeeThroughPartsComeAfterEveryOpaquePart) {
    auto mixed = TriangleMesh({1, 0, 0, 1});
    MeshSubset shine = mixed->Subsets()[0];
    shine.material.diffuse = {1, 1, 1, 0.4f};
    mixed->Subsets().insert(mixed->Subsets().begin(), shine);
    meshes.AddMesh("cell_t2_1.x", std::move(mixed));
    for (int c = 2; c <= 7; ++c)
        meshes.AddMesh("cell_t2_" + std::to_string(c) + ".x", TriangleMesh({0, 1, 0, 1}));
    scene.LoadCellMeshes(1);
    for (int i = 0; i < 4; ++i) state.well.cells[static_cast<size_t>(i)] = MakeCell(i + 1, 20, i % 2);
    state.well.count = 4;
    scene.DrawWell(device, state);
    ASSERT_EQ(device.MeshDrawCalls(), 3u);
    EXPECT_FALSE(device.draws[0].blending);
    EXPECT_FALSE(device.draws[1].blending);
    EXPECT_TRUE(device.draws[2].blending);
    EXPECT_FLOAT_EQ(device.draws[2].material.diffuse.a, 0.4f);
}

TEST_F(SceneDrawing, AppearingPieceDropsInFromAbove) {
    state.piece.appearing = 1;
    state.piece.appearProgress = 0.25f;
    state.piece.shape = 1;  // the straight line: offsets (0,0), (0,-1), (0,1), (0,2)
    state.piece.cells[0] = MakeCell(6, 2, 4);
    ASSERT_FALSE(Failed(scene.DrawFallingPiece(device, state)));
    std::vector<Matrix> worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 4u);
    ExpectNear(Origin(worlds[0]), -0.5f, 9.5f + 3.0f, 22);
    ExpectNear(Origin(worlds[1]), -0.5f, 9.5f + 3.0f + 1, 22);

    // Finished this frame: still drawn when the caller says it was appearing as the frame began.
    device.draws.clear();
    state.piece.appearing = 0;
    state.piece.appearProgress = 1;
    scene.DrawFallingPiece(device, state);
    EXPECT_TRUE(device.draws.empty());
    scene.DrawFallingPiece(device, state, true);
    ASSERT_EQ(device.MeshWorlds().size(), 4u);
    ExpectNear(Origin(device.MeshWorlds()[0]), -0.5f, 9.5f, 22);

    // The colour games show the bar.
    device.draws.clear();
    state.gameType = ColorBlocks;
    state.piece.appearing = 1;
    state.piece.appearProgress = 0;
    state.currentBarColours = {0, 1, 2, 0};
    scene.DrawFallingPiece(device, state);
    EXPECT_EQ(device.MeshWorlds().size(), 3u);
}

TEST_F(SceneDrawing, DebrisFallsTowardsTheViewer) {
    state.debris.cells[0] = MakeCell(3, 4, 5);
    state.debris.cells[0].debrisProgress = 0;
    state.debris.cells[1] = MakeCell(3, 4, 5);
    state.debris.cells[1].debrisProgress = 0.5f;
    state.debris.cells[2] = MakeCell(3, 4, 5);
    state.debris.cells[2].debrisProgress = 1;
    state.debris.count = 3;
    ASSERT_FALSE(Failed(scene.DrawDebris(device, state)));
    const std::vector<Matrix> worlds = device.MeshWorlds();
    ASSERT_EQ(worlds.size(), 3u);
    ExpectNear(Origin(worlds[0]), -3.5f, 6.5f, 22);
    ExpectNear(Origin(worlds[1]), -3.5f, 0.5f * 6.5f - 10 * std::sin(Pi / 4), 22 - 14.666667f / 2);
    ExpectNear(Origin(worlds[2]), -3.5f, -10, 22 - 14.666667f);
    for (const RecordedDraw& d : device.draws) EXPECT_FALSE(d.specular);
    EXPECT_EQ(state.debris.count, 3);
}

TEST_F(SceneDrawing, BonusItemSpinsAboveItsCell) {
    ASSERT_FALSE(Failed(scene.DrawBonusItem(device, ClearBonus, 4, 8, 0.25f)));
    ASSERT_EQ(device.draws.size(), 1u);
    const Matrix expected =
        MatrixRotationX(-Pi / 2) * MatrixRotationY(0.5f) * MatrixTranslation(-2.5f, 11.05f - 8, 22);
    const Matrix& world = device.draws[0].worlds[0];
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(world.m[r][c], expected.m[r][c], 1e-5f);
    EXPECT_FLOAT_EQ(device.draws[0].material.diffuse.r, 0.5f);  // bonus2.x
    EXPECT_FALSE(device.draws[0].specular);
    EXPECT_EQ(scene.DrawBonusItem(device, 2, 4, 8, 0), E_FAIL);
}

TEST_F(SceneDrawing, GlassIsDrawnWithHighlightsAndLeavesThemOff) {
    scene.DrawGlass(device);
    ASSERT_EQ(device.draws.size(), 1u);
    EXPECT_TRUE(device.draws[0].specular);
    EXPECT_EQ(device.GetRenderState(RenderState::SpecularEnable), 0u);
    // Y of the mesh stands upright: the mesh's +Z (its top) becomes world +Y.
    const Vector4 top = TransformPoint({0, 0, 1}, device.draws[0].worlds[0]);
    EXPECT_NEAR(top.x, 0, 1e-5f);
    EXPECT_NEAR(top.y, 0.5f, 1e-5f);
    EXPECT_NEAR(top.z, 22, 1e-5f);
}

TEST_F(SceneDrawing, MissingCellMeshesLeaveTheirColoursUndrawn) {
    scene.LoadCellMeshes(4);  // no style-5 meshes in this library
    for (int c = 0; c < ColourCount; ++c) EXPECT_EQ(scene.CellMesh(c), nullptr);
    state.well.cells[0] = MakeCell(1, 1, 0);
    state.well.count = 1;
    EXPECT_FALSE(Failed(scene.DrawWell(device, state)));
    EXPECT_TRUE(device.draws.empty());
    EXPECT_EQ(scene.DrawPiece(device, 1, 0, 0, 0, 22, 0, 0, 0, 1), S_OK);
    EXPECT_TRUE(device.draws.empty());
}

TEST_F(SceneDrawing, MenuBackdropSlotsFallHalfACycleApart) {
    MenuBackdrop backdrop;
    SeedRandom(1);
    backdrop.Advance(0);
    EXPECT_FLOAT_EQ(backdrop.slots[0].y, 15);
    EXPECT_FLOAT_EQ(backdrop.slots[1].y, 0);
    EXPECT_FLOAT_EQ(backdrop.slots[0].x, -11.5f);
    EXPECT_FLOAT_EQ(backdrop.slots[1].x, 11.5f);
    EXPECT_GE(backdrop.slots[0].kind, 1);
    EXPECT_LE(backdrop.slots[0].kind, 9);
    EXPECT_EQ(backdrop.slots[1].kind, 0);
    const int firstKind = backdrop.slots[0].kind;
    backdrop.Advance(7.25f);
    EXPECT_EQ(backdrop.slots[1].kind, 0);
    EXPECT_NEAR(backdrop.slots[1].y, -14.5f, 1e-4f);
    EXPECT_EQ(backdrop.slots[0].kind, firstKind);  // still falling, no new choice
    backdrop.Advance(7.5f);
    EXPECT_GE(backdrop.slots[1].kind, 1);
    EXPECT_NEAR(backdrop.slots[1].y, 15, 1e-4f);
    EXPECT_NEAR(backdrop.slots[0].y, 0, 1e-4f);

    // Every wrap picks among all nine kinds.
    std::set<int> kinds;
    for (int cycle = 1; cycle < 400; ++cycle) {
        backdrop.Advance(15.0f * static_cast<float>(cycle) - 0.1f);
        backdrop.Advance(15.0f * static_cast<float>(cycle) + 0.01f);
        kinds.insert(backdrop.slots[0].kind);
        EXPECT_GE(backdrop.slots[0].colour, 0);
        EXPECT_LE(backdrop.slots[0].colour, 6);
    }
    EXPECT_EQ(kinds.size(), 9u);
}

TEST_F(SceneDrawing, MenuBackdropDrawsPiecesAndLitBonusItems) {
    MenuBackdrop backdrop;
    backdrop.slots[0].kind = 9;
    backdrop.slots[0].previousY = 100;  // no wrap this frame
    backdrop.slots[1].kind = 3;
    backdrop.slots[1].colour = 2;
    backdrop.slots[1].previousY = 100;
    backdrop.Draw(scene, device, 1.0f);
    ASSERT_EQ(device.draws.size(), 2u);
    EXPECT_EQ(device.draws[0].ambient, 0xFFFFFFFFu);  // the bonus item fully lit
    EXPECT_FLOAT_EQ(device.draws[0].material.diffuse.r, 0.5f);
    ExpectNear(Origin(device.draws[0].worlds[0]), -11.5f, 13, 22);
    EXPECT_EQ(device.draws[1].worlds.size(), 4u);
    ExpectNear(Origin(device.draws[1].worlds[0]), 11.5f, 15 - 17, 22);
    EXPECT_EQ(device.GetRenderState(RenderState::Ambient), 0x8C8C8C8Cu);
}
