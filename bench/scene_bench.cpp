// A play frame (full well of 240 cells, the glass, the moving background, a falling piece and a row of
// debris) beside an empty frame, both finished with glFinish, on the offscreen window; also the same
// frame while the well changes every frame, while it gains four cells a frame (a piece coming to rest),
// and its parts on their own. At 800 x 600, and in a 1920 x 1080 window (a 1440 x 1080 picture) with
// the scene scaled up from the software renderer's limit ("scaled", 800 x 600), from 1024 x 768, or drawn
// at the picture's size ("full").
// Runs from the built game directory and uses its assets.
#include <SDL.h>
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>

#include "core/game_core.h"
#include "device/gl_device.h"
#include "device/gl_window.h"
#include "scene/scene.h"
#include "shell/framework.h"
#include "ui/texture_registry.h"

namespace {
// The picture's size, as the window gives it.
class PictureWindow : public Window {
public:
    GlWindow* window = nullptr;
    int ClientWidth() const override { return window->ClientWidth(); }
    int ClientHeight() const override { return window->ClientHeight(); }
};

struct Stage {
    std::unique_ptr<GlWindow> window;
    PictureWindow client;
    MeshLibrary meshes;
    std::unique_ptr<Scene> scene;
    GameState state;

    Stage() {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (chdir(KELVANE_GAME_DIR) != 0) std::abort();
        SDL_Init(SDL_INIT_VIDEO);
        std::string error;
        window = GlWindow::Create("scene bench", 800, 600, true, error);
        if (!window) std::abort();
        client.window = window.get();
        GraphicsDevice& device = window->Device();
        textureRegistry.BindDevice(&client, &device);
        meshes.LoadAllMeshes(GraphicsDirectory);
        meshes.textures.LoadMeshTextures(device, GraphicsDirectory);
        scene = std::make_unique<Scene>(meshes);
        // The default block style; KELVANE_BENCH_STYLE=0..4 times another one.
        const char* style = std::getenv("KELVANE_BENCH_STYLE");
        scene->LoadCellMeshes(style ? std::atoi(style) : 2);
        SetUpSceneCamera(device);

        SeedRandom(3);
        int n = 0;
        for (int row = 1; row <= WellRows; ++row)
            for (int column = 1; column <= WellColumns; ++column) {
                Cell& cell = state.well.cells[static_cast<size_t>(n++)];
                cell.column = column;
                cell.row = row;
                cell.colour = RandomInt(0, 6);
            }
        state.well.count = n;
        state.piece.appearing = 1;
        state.piece.appearProgress = 0.5f;
        state.piece.shape = 6;
        state.piece.cells[0].column = 6;
        state.piece.cells[0].row = 1;
        state.piece.cells[0].colour = 4;
        for (int i = 0; i < WellColumns; ++i) {
            Cell& cell = state.debris.cells[static_cast<size_t>(i)];
            cell.column = i + 1;
            cell.row = 12;
            cell.colour = i % ColourCount;
            cell.debrisProgress = 0.3f;
        }
        state.debris.count = WellColumns;
    }
};

Stage& TheStage() {
    static Stage stage;
    return stage;
}

// The sizes a benchmark runs at: the window's, and the most pixels of the scene (0: the picture's own).
enum Size { Game800, HD1080Scaled, HD1080Scaled1024, HD1080Full };

Stage& StageAt(Size size) {
    Stage& stage = TheStage();
    const int width = size == Game800 ? 800 : 1920, height = size == Game800 ? 600 : 1080;
    SDL_SetWindowSize(stage.window->Handle(), width, height);
    stage.window->OnResized();
    auto& device = dynamic_cast<GlDevice&>(stage.window->Device());
    device.SetSceneLimit(size == HD1080Full         ? PixelExtent{}
                         : size == HD1080Scaled1024 ? PixelExtent{1024, 768}
                                                    : SoftwareSceneLimit);
    return stage;
}

void EmptyFrame(benchmark::State& run, Size size) {
    Stage& stage = StageAt(size);
    GraphicsDevice& device = stage.window->Device();
    for (auto _ : run) {
        device.BeginScene();
        device.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        device.EndScene();
        stage.window->Present();
        stage.window->Finish();
    }
}

// What a frame draws: the parts can be timed on their own.
enum Part : unsigned { Background = 1, Glass = 2, Cells = 4, Everything = 7 };

// changingWell: a cell of the well changes colour every frame, as on the frame a piece lands, so the
// settled cells are drawn afresh each time instead of being kept.
enum Change { Steady, Changing, Growing };

void PlayFrame(benchmark::State& run, Size size, bool oneByOne, unsigned parts, Change change = Steady) {
    Stage& stage = StageAt(size);
    GraphicsDevice& device = stage.window->Device();
    stage.scene->drawOneByOne = oneByOne;
    float now = 0;
    auto* glDevice = dynamic_cast<GlDevice*>(&device);
    const GlDevice::Statistics before = glDevice ? glDevice->Stats() : GlDevice::Statistics{};
    Cell& changing = stage.state.well.cells[100];
    const int colour = changing.colour;
    const int fullCount = stage.state.well.count;
    for (auto _ : run) {
        now += 1.0f / 60;
        if (change == Changing) changing.colour = (changing.colour + 1) % ColourCount;
        if (change == Growing) {
            // Four cells more each frame, as a piece comes to rest; from 180 cells up to 240, then the
            // well goes back to 180 in a frame that is not timed.
            stage.state.well.count += 4;
            if (stage.state.well.count > fullCount) {
                run.PauseTiming();
                stage.state.well.count = fullCount - 60;
                device.BeginScene();
                stage.scene->DrawWell(device, stage.state);
                device.EndScene();
                stage.window->Present();
                stage.window->Finish();
                run.ResumeTiming();
                continue;
            }
        }
        device.BeginScene();
        if (parts & Background)
            DrawBackground(device, textureRegistry, now, true, 1);
        else
            device.Clear(ClearTarget | ClearDepth, 0xFF000000u, 1.0f);
        if (parts & Glass) stage.scene->DrawGlass(device);
        if (parts & Cells) {
            device.SetRenderState(RenderState::SpecularEnable, 1);
            stage.scene->DrawWell(device, stage.state);
            stage.scene->DrawFallingPiece(device, stage.state);
            stage.scene->DrawDebris(device, stage.state);
            device.SetRenderState(RenderState::SpecularEnable, 0);
        }
        device.EndScene();
        stage.window->Present();
        stage.window->Finish();
    }
    stage.scene->drawOneByOne = false;
    changing.colour = colour;
    stage.state.well.count = fullCount;
    if (glDevice) {
        // How often the settled cells were drawn afresh and how often their kept picture was reused.
        run.counters["well_drawn"] = double(glDevice->Stats().layerPaints - before.layerPaints);
        run.counters["well_reused"] = double(glDevice->Stats().layerReuses - before.layerReuses);
        run.counters["well_grown"] = double(glDevice->Stats().layerAdditions - before.layerAdditions);
    }
}
}  // namespace

BENCHMARK_CAPTURE(EmptyFrame, at_800x600, Game800)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, batched_800x600, Game800, false, Everything)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_changing_800x600, Game800, false, Everything, Changing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_growing_800x600, Game800, false, Everything, Growing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cell_by_cell_800x600, Game800, true, Everything)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, background_only_800x600, Game800, false, Background)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, glass_only_800x600, Game800, false, Glass)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cells_only_batched_800x600, Game800, false, Cells)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cells_only_cell_by_cell_800x600, Game800, true, Cells)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EmptyFrame, at_1920x1080_scaled, HD1080Scaled)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, batched_1920x1080_scaled, HD1080Scaled, false, Everything)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_changing_1920x1080_scaled, HD1080Scaled, false, Everything, Changing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_growing_1920x1080_scaled, HD1080Scaled, false, Everything, Growing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, background_only_1920x1080_scaled, HD1080Scaled, false, Background)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, glass_only_1920x1080_scaled, HD1080Scaled, false, Glass)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cells_only_batched_1920x1080_scaled, HD1080Scaled, false, Cells)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EmptyFrame, at_1920x1080_scaled_1024x768, HD1080Scaled1024)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, batched_1920x1080_scaled_1024x768, HD1080Scaled1024, false, Everything)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, background_only_1920x1080_scaled_1024x768, HD1080Scaled1024, false, Background)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(EmptyFrame, at_1920x1080_full, HD1080Full)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, batched_1920x1080_full, HD1080Full, false, Everything)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_changing_1920x1080_full, HD1080Full, false, Everything, Changing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_growing_1920x1080_full, HD1080Full, false, Everything, Growing)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, background_only_1920x1080_full, HD1080Full, false, Background)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, glass_only_1920x1080_full, HD1080Full, false, Glass)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cells_only_batched_1920x1080_full, HD1080Full, false, Cells)
    ->Unit(benchmark::kMillisecond);
