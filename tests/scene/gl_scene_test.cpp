// Pictures of the scene drawn by the real GL device in an offscreen window, read back and checked.
#include <SDL.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/game_core.h"
#include "cube_files.h"
#include "device/gl_device.h"
#include "device/gl_window.h"
#include "device/image_write.h"
#include "scene/scene.h"

namespace {
class GlScene : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        std::string error;
        window = GlWindow::Create("scene tests", 800, 600, true, error).release();
        ASSERT_NE(window, nullptr) << error;
        // Seven slightly shrunk cubes, a clear colour each, as style 1.
        namespace fs = std::filesystem;
        directory = fs::temp_directory_path() / ("kelvane_gl_scene_" + std::to_string(::getpid()));
        fs::create_directories(directory);
        for (int c = 0; c < ColourCount; ++c) {
            const auto& rgb = TestCellColours[static_cast<size_t>(c)];
            WriteTextFile((directory / ("cell_t1_" + std::to_string(c + 1) + ".x")).string(),
                          CubeXFile({rgb[0], rgb[1], rgb[2], 1, 20, 0.3f, 0.92f}));
        }
        meshes = new MeshLibrary;
        meshes->LoadAllMeshes(directory.string() + "/");
    }
    static void TearDownTestSuite() {
        delete meshes;
        meshes = nullptr;
        delete window;
        window = nullptr;
        std::filesystem::remove_all(directory);
        SDL_Quit();
    }
    void SetUp() override {
        ASSERT_NE(window, nullptr);
        ASSERT_EQ(meshes->Count(), ColourCount);
        scene = std::make_unique<Scene>(*meshes);
        scene->LoadCellMeshes(0);
        GraphicsDevice& d = device();
        ASSERT_FALSE(Failed(SetUpSceneCamera(d)));
        d.SetTransform(TransformKind::World, MatrixIdentity());
        SetSceneLight(d, 0.55f);
    }

    static GraphicsDevice& device() { return window->Device(); }

    void Frame() {
        GraphicsDevice& d = device();
        d.BeginScene();
        d.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        SetSceneLight(d, 0.55f);
        d.SetRenderState(RenderState::SpecularEnable, 1);
        ASSERT_FALSE(Failed(scene->DrawWell(d, state)));
        scene->DrawFallingPiece(d, state);
        scene->DrawDebris(d, state);
        d.SetRenderState(RenderState::SpecularEnable, 0);
        d.EndScene();
        int width = 0, height = 0;
        ASSERT_TRUE(d.ReadPixels(pixels, width, height));
        ASSERT_EQ(width, 800);
        ASSERT_EQ(height, 600);
    }

    // Where a world point lands in the picture.
    static ScreenPoint Project(float x, float y, float z) {
        device().SetTransform(TransformKind::World, MatrixIdentity());
        ScreenPoint point;
        point.x = x, point.y = y, point.z = z;
        ProjectToScreen(device(), std::span<ScreenPoint>(&point, 1));
        return point;
    }

    std::array<int, 3> At(int x, int y) const {
        const uint8_t* p = &pixels[(static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4];
        return {p[0], p[1], p[2]};
    }

    // The colour index whose strongest channels the pixel shows, or -1 for something else (black).
    int ColourAt(int x, int y) const {
        const auto rgb = At(x, y);
        if (rgb[0] + rgb[1] + rgb[2] < 60) return -1;
        int best = -1;
        float bestError = 1e9f;
        const float sum = static_cast<float>(rgb[0] + rgb[1] + rgb[2]);
        for (int c = 0; c < ColourCount; ++c) {
            const auto& ref = TestCellColours[static_cast<size_t>(c)];
            const float refSum = ref[0] + ref[1] + ref[2];
            float error = 0;
            for (size_t k = 0; k < 3; ++k) {
                const float diff = static_cast<float>(rgb[k]) / sum - ref[k] / refSum;
                error += diff * diff;
            }
            if (error < bestError) bestError = error, best = c;
        }
        return best;
    }

    // Width in pixels of the run of non-black pixels through (x, y) along its row.
    int RunWidth(int x, int y) const {
        auto lit = [&](int px) {
            const auto rgb = At(px, y);
            return rgb[0] + rgb[1] + rgb[2] >= 60;
        };
        int left = x, right = x;
        while (left > 0 && lit(left - 1)) --left;
        while (right < 799 && lit(right + 1)) ++right;
        return right - left + 1;
    }

    static Cell MakeCell(int column, int row, int colour) {
        Cell cell;
        cell.column = column;
        cell.row = row;
        cell.colour = colour;
        return cell;
    }

    static inline GlWindow* window = nullptr;
    static inline MeshLibrary* meshes = nullptr;
    static inline std::filesystem::path directory;
    std::unique_ptr<Scene> scene;
    GameState state;
    std::vector<uint8_t> pixels;
};
}  // namespace

TEST_F(GlScene, CellsShowTheirColourAtTheirProjectedCentres) {
    struct Placed {
        int column, row, colour;
    };
    const Placed placed[] = {{1, 1, 0}, {12, 20, 2}, {6, 10, 1}, {7, 11, 4}, {12, 1, 5}, {1, 20, 3}};
    int n = 0;
    for (const Placed& p : placed)
        state.well.cells[static_cast<size_t>(n++)] = MakeCell(p.column, p.row, p.colour);
    state.well.count = n;
    Frame();
    for (const Placed& p : placed) {
        const ScreenPoint centre =
            Project(static_cast<float>(p.column) - 6.5f, 10.5f - static_cast<float>(p.row), 22);
        ASSERT_GT(centre.x, 0);
        ASSERT_LT(centre.x, 800);
        EXPECT_EQ(ColourAt(static_cast<int>(centre.x), static_cast<int>(centre.y)), p.colour)
            << "cell " << p.column << "," << p.row;
    }
    // An empty position of the well stays black.
    const ScreenPoint empty = Project(3 - 6.5f, 10.5f - 5, 22);
    EXPECT_EQ(ColourAt(static_cast<int>(empty.x), static_cast<int>(empty.y)), -1);
    // Lit, not flat: the bottom row's top face, seen from above and turned to the light, is brighter
    // than its front face.
    const ScreenPoint top = Project(1 - 6.5f, 10.5f - 20 + 0.46f, 22.1f);
    const ScreenPoint front = Project(1 - 6.5f, 10.5f - 20, 21.54f);
    const auto topRgb = At(static_cast<int>(top.x), static_cast<int>(top.y));
    const auto frontRgb = At(static_cast<int>(front.x), static_cast<int>(front.y));
    EXPECT_GT(topRgb[0] + topRgb[1] + topRgb[2], frontRgb[0] + frontRgb[1] + frontRgb[2]);
}

TEST_F(GlScene, InstancedWellEqualsCellByCellPixelForPixel) {
    // A well full but for the four places of the piece, as in play.
    SeedRandom(11);
    state.piece.active = 1;
    state.piece.cells = {MakeCell(6, 1, 2), MakeCell(7, 1, 2), MakeCell(6, 2, 2), MakeCell(6, 3, 2)};
    int n = 0;
    for (int i = 0; i < WellColumns * WellRows; ++i) {
        Cell cell = MakeCell(i % WellColumns + 1, i / WellColumns + 1, RandomInt(0, 6));
        // Two whole columns sinking into place, as after a removal.
        cell.falling = cell.column == 3 || cell.column == 9;
        cell.fallProgress = 0.4f;
        bool underPiece = false;
        for (const Cell& p : state.piece.cells)
            underPiece = underPiece || (p.column == cell.column && p.row == cell.row);
        if (!underPiece) state.well.cells[static_cast<size_t>(n++)] = cell;
    }
    state.well.count = n;
    state.piece.cells[1].rotating = 1;
    state.piece.cells[1].rotateProgress = 0.3f;
    for (int i = 0; i < 6; ++i) {
        state.debris.cells[static_cast<size_t>(i)] = MakeCell(i + 3, 12, i);
        state.debris.cells[static_cast<size_t>(i)].debrisProgress = 0.1f * static_cast<float>(i);
    }
    state.debris.count = 6;
    Frame();
    const std::vector<uint8_t> batched = pixels;
    scene->drawOneByOne = true;
    Frame();
    ASSERT_EQ(batched.size(), pixels.size());
    size_t differing = 0;
    for (size_t i = 0; i < pixels.size(); ++i) differing += batched[i] != pixels[i];
    EXPECT_EQ(differing, 0u);
    if (differing != 0 && std::getenv("KELVANE_SCENE_DUMP")) {
        WritePng("/tmp/scene-batched.png", 800, 600, batched);
        WritePng("/tmp/scene-single.png", 800, 600, pixels);
    }
}

TEST_F(GlScene, RestingCellsAreKeptWhileThePieceMovesAndCellsSink) {
    auto& gl = dynamic_cast<GlDevice&>(device());
    int n = 0;
    for (int i = 0; i < 8 * WellColumns; ++i) {
        Cell cell = MakeCell(i % WellColumns + 1, WellRows - i / WellColumns, i % ColourCount);
        cell.falling = cell.column == 5;
        cell.fallProgress = 0.2f;
        state.well.cells[static_cast<size_t>(n++)] = cell;
    }
    state.well.count = n;
    state.piece.active = 1;
    state.piece.cells = {MakeCell(6, 3, 2), MakeCell(7, 3, 2), MakeCell(6, 4, 2), MakeCell(6, 5, 2)};
    const GlDevice::Statistics before = gl.Stats();
    auto checkAgainstCellByCell = [&] {
        const std::vector<uint8_t> kept = pixels;
        scene->drawOneByOne = true;
        Frame();
        scene->drawOneByOne = false;
        EXPECT_TRUE(kept == pixels);
    };
    Frame();
    // The piece steps down and the sinking column sinks further: the resting cells are reused.
    for (Cell& cell : state.piece.cells) ++cell.row;
    state.well.cells[4].fallProgress = 0.5f;
    Frame();
    EXPECT_EQ(gl.Stats().layerPaints - before.layerPaints, 1u);
    EXPECT_EQ(gl.Stats().layerReuses - before.layerReuses, 1u);
    checkAgainstCellByCell();
    // A resting cell changes: drawn afresh.
    state.well.cells[20].colour = (state.well.cells[20].colour + 1) % ColourCount;
    Frame();
    EXPECT_EQ(gl.Stats().layerPaints - before.layerPaints, 2u);
    checkAgainstCellByCell();
    // The piece comes to rest: its cells join the kept picture, which is not drawn afresh.
    for (const Cell& cell : state.piece.cells) state.well.cells[static_cast<size_t>(n++)] = cell;
    state.well.count = n;
    state.piece.active = 0;
    Frame();
    EXPECT_EQ(gl.Stats().layerPaints - before.layerPaints, 2u);
    EXPECT_EQ(gl.Stats().layerAdditions - before.layerAdditions, 1u);
    checkAgainstCellByCell();
}

TEST_F(GlScene, RemovedCellFallsTowardsTheViewer) {
    state.debris.cells[0] = MakeCell(6, 10, 3);
    state.debris.count = 1;
    Frame();
    const ScreenPoint start = Project(-0.5f, 0.5f, 22);
    ASSERT_EQ(ColourAt(static_cast<int>(start.x), static_cast<int>(start.y)), 3);
    const int startWidth = RunWidth(static_cast<int>(start.x), static_cast<int>(start.y));

    state.debris.cells[0].debrisProgress = 0.5f;
    Frame();
    const float p = 0.5f;
    const ScreenPoint later =
        Project(-0.5f, (1 - p) * 0.5f - 10 * std::sin(p * 3.14159265f / 2), 22 - 14.666667f * p);
    EXPECT_GT(later.y, start.y + 20);  // lower in the picture
    ASSERT_EQ(ColourAt(static_cast<int>(later.x), static_cast<int>(later.y)), 3);
    EXPECT_GT(RunWidth(static_cast<int>(later.x), static_cast<int>(later.y)), startWidth);  // nearer, larger
    EXPECT_EQ(ColourAt(static_cast<int>(start.x), static_cast<int>(start.y)), -1);  // gone from its place
}

TEST_F(GlScene, AppearingPieceIsUprightAndAboveItsPlace) {
    state.piece.appearing = 1;
    state.piece.appearProgress = 1;
    state.piece.shape = 2;  // L: pivot, right of it, and two below it once turned over
    state.piece.cells[0] = MakeCell(6, 10, 5);
    Frame();
    auto colourAtCell = [&](float x, float y) {
        const ScreenPoint p = Project(x, y, 22);
        return ColourAt(static_cast<int>(p.x), static_cast<int>(p.y));
    };
    EXPECT_EQ(colourAtCell(-0.5f, 1.5f), 5);
    EXPECT_EQ(colourAtCell(0.5f, 1.5f), 5);
    EXPECT_EQ(colourAtCell(-0.5f, -0.5f), 5);
    EXPECT_EQ(colourAtCell(-1.5f, 1.5f), -1);  // not mirrored
    EXPECT_EQ(colourAtCell(-0.5f, 2.5f), -1);  // not upside down
}
