// A play frame (full well of 240 cells, the glass, the moving background, a falling piece and a row of
// debris) beside an empty frame, both finished with glFinish, at 800 x 600 on the offscreen window; also
// the same frame while the well changes every frame, and its parts on their own.
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
class FixedWindow : public Window {
public:
    int ClientWidth() const override { return 800; }
    int ClientHeight() const override { return 600; }
};

struct Stage {
    std::unique_ptr<GlWindow> window;
    FixedWindow client;
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

void EmptyFrame(benchmark::State& run) {
    Stage& stage = TheStage();
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
void PlayFrame(benchmark::State& run, bool oneByOne, unsigned parts, bool changingWell = false) {
    Stage& stage = TheStage();
    GraphicsDevice& device = stage.window->Device();
    stage.scene->drawOneByOne = oneByOne;
    float now = 0;
    auto* glDevice = dynamic_cast<GlDevice*>(&device);
    const GlDevice::Statistics before = glDevice ? glDevice->Stats() : GlDevice::Statistics{};
    Cell& changing = stage.state.well.cells[100];
    const int colour = changing.colour;
    for (auto _ : run) {
        now += 1.0f / 60;
        if (changingWell) changing.colour = (changing.colour + 1) % ColourCount;
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
    if (glDevice) {
        // How often the settled cells were drawn afresh and how often their kept picture was reused.
        run.counters["well_drawn"] = double(glDevice->Stats().layerPaints - before.layerPaints);
        run.counters["well_reused"] = double(glDevice->Stats().layerReuses - before.layerReuses);
    }
}
}  // namespace

BENCHMARK(EmptyFrame)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, batched, false, Everything)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, well_changing, false, Everything, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cell_by_cell, true, Everything)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, background_only, false, Background)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, glass_only, false, Glass)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cells_only_batched, false, Cells)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(PlayFrame, cells_only_cell_by_cell, true, Cells)->Unit(benchmark::kMillisecond);
