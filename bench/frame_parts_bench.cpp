// The parts of a play frame and of a menu frame at one window size, each drawn in turn with an empty
// frame in every round, so that all of them are measured in the same moments of a machine whose speed
// wanders: the copy of a scene drawn in its own target into the picture, the moving background alone,
// the scene (background, glass, a well of 240 cells, the piece), the in-game screen's 2D layer alone,
// the whole play frame in the game's order, the main menu's 2D layer alone and the whole menu frame.
// Every frame ends with present and a full finish. Runs from the built game directory and uses its
// assets.
//
//   frame_parts_bench [--size WxH] [--scene-limit WxH|none] [--rounds N]
#include <SDL.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/game_core.h"
#include "device/gl_device.h"
#include "device/gl_window.h"
#include "scene/scene.h"
#include "ui/bitmap_font.h"
#include "ui/screen.h"
#include "ui/texture_registry.h"

namespace {
using Clock = std::chrono::steady_clock;

class PictureWindow : public Window {
public:
    GlWindow* window = nullptr;
    int ClientWidth() const override { return window->ClientWidth(); }
    int ClientHeight() const override { return window->ClientHeight(); }
};

struct Part {
    const char* name;
    std::function<void(float now)> draw;
    std::vector<double> ms;
};

double Median(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double Percentile95(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * 95 / 100)];
}

bool ParseSize(const char* text, int& width, int& height) {
    return text && std::sscanf(text, "%dx%d", &width, &height) == 2 && width > 0 && height > 0;
}
}  // namespace

int main(int argc, char** argv) {
    int width = 1920, height = 1080, rounds = 60;
    bool limitGiven = false;
    PixelExtent limit{};
    for (int i = 1; i < argc; ++i) {
        const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
        if (!std::strcmp(argv[i], "--size") && ParseSize(value, width, height)) {
            ++i;
        } else if (!std::strcmp(argv[i], "--scene-limit") && value &&
                   (!std::strcmp(value, "none") || ParseSize(value, limit.width, limit.height))) {
            limitGiven = true;
            ++i;
        } else if (!std::strcmp(argv[i], "--rounds") && value && std::atoi(value) > 0) {
            rounds = std::atoi(argv[++i]);
        } else {
            std::fprintf(stderr,
                         "usage: frame_parts_bench [--size WxH] [--scene-limit WxH|none] [--rounds N]\n");
            return 2;
        }
    }
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (chdir(KELVANE_GAME_DIR) != 0 || SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    GlWindowSettings settings;
    settings.title = "frame parts";
    settings.width = width;
    settings.height = height;
    settings.pictureShape = {800, 600};
    settings.offscreen = true;
    std::string error;
    std::unique_ptr<GlWindow> window = GlWindow::Create(settings, error);
    if (!window) {
        std::fprintf(stderr, "frame_parts_bench: %s\n", error.c_str());
        return 1;
    }
    GraphicsDevice& device = window->Device();
    auto& gl = dynamic_cast<GlDevice&>(device);
    if (limitGiven) gl.SetSceneLimit(limit);
    PictureWindow client;
    client.window = window.get();
    textureRegistry.BindDevice(&client, &device);
    MeshLibrary meshes;
    meshes.LoadAllMeshes(GraphicsDirectory);
    meshes.textures.LoadMeshTextures(device, GraphicsDirectory);
    Scene scene(meshes);
    scene.LoadCellMeshes(2);
    bitmapFont.LoadSymbolWidths("Graphics\\font01.tga");
    Screen inGame, mainMenu;
    inGame.LoadFromXml("menu-ingame.xml");
    mainMenu.LoadFromXml("menu-main.xml");
    SetUpSceneCamera(device);
    MenuBackdrop backdrop;

    GameState state;
    int n = 0;
    for (int row = 1; row <= WellRows; ++row)
        for (int column = 1; column <= WellColumns; ++column) {
            Cell& cell = state.well.cells[static_cast<size_t>(n++)];
            cell.column = column;
            cell.row = row;
            cell.colour = (column + 2 * row) % ColourCount;
        }
    state.well.count = n;
    state.gameType = ColorBlocks;
    state.piece.appearing = 1;
    state.piece.appearProgress = 0.5f;
    state.piece.cells[0].column = 6;
    state.piece.cells[0].row = 1;
    state.currentBarColours = {1, 3, 5, 0};
    state.nextBarColours = {2, 4, 6, 0};

    auto background = [&](float now) { DrawBackground(device, textureRegistry, now, true, 1); };
    auto sceneOnly = [&](float now) {
        background(now);
        scene.DrawGlass(device);
        device.SetRenderState(RenderState::SpecularEnable, 1);
        scene.DrawWell(device, state);
        scene.DrawFallingPiece(device, state);
        device.SetRenderState(RenderState::SpecularEnable, 0);
    };
    auto inGame2D = [&] {
        inGame.Draw();
        for (const char* name : {"txtLevelNum", "txtTimeNum", "txtScoreNum", "txtLineNum"})
            bitmapFont.DrawText(inGame.GetTextX(name), inGame.GetTextY(name), 0.04f, 0xFFFFFFFF, 1, "123");
    };
    std::vector<Part> parts = {
        {"empty frame", [&](float) { device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1); }, {}},
        {"scene's copy to the picture (one small 3D quad)",
         [&](float) {
             device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
             DrawCentredQuad(device, nullptr, 0, 0, 0.5f, 0.5f, 22);
         },
         {}},
        {"moving background", background, {}},
        {"scene: background, glass, 240 cells", sceneOnly, {}},
        {"in-game 2D layer alone",
         [&](float) {
             device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
             inGame2D();
         },
         {}},
        {"play frame in the game's order",
         [&](float now) {
             background(now);
             inGame.Draw();
             scene.DrawGlass(device);
             device.SetRenderState(RenderState::SpecularEnable, 1);
             scene.DrawWell(device, state);
             scene.DrawFallingPiece(device, state);
             device.SetRenderState(RenderState::SpecularEnable, 0);
             for (const char* name : {"txtLevelNum", "txtTimeNum", "txtScoreNum", "txtLineNum"})
                 bitmapFont.DrawText(inGame.GetTextX(name), inGame.GetTextY(name), 0.04f, 0xFFFFFFFF, 1,
                                     "123");
             scene.DrawColourBar(device, state.nextBarColours, state.gameType, 10, 1, 22, 3.14159f, 0.3f, 0,
                                 1);
         },
         {}},
        {"main menu 2D layer alone",
         [&](float) {
             device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
             mainMenu.Draw();
         },
         {}},
        {"menu frame in the game's order",
         [&](float now) {
             background(now);
             backdrop.Draw(scene, device, now);
             mainMenu.Draw();
         },
         {}},
    };

    float now = 0;
    for (int round = -5; round < rounds; ++round) {
        for (Part& part : parts) {
            now += 1.0f / 60;
            const Clock::time_point start = Clock::now();
            device.BeginScene();
            part.draw(now);
            device.EndScene();
            window->Present();
            window->Finish();
            if (round >= 0)
                part.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        }
    }
    double load[3] = {0, 0, 0};
    if (std::FILE* file = std::fopen("/proc/loadavg", "r")) {
        if (std::fscanf(file, "%lf %lf %lf", &load[0], &load[1], &load[2]) != 3) load[0] = -1;
        std::fclose(file);
    }
    const PixelExtent sceneSize = gl.SceneSize();
    std::printf(
        "Frame parts at %d x %d (picture %d x %d, scene drawn at %d x %d, %s renderer), %d rounds, "
        "load average %.2f\n",
        width, height, window->ClientWidth(), window->ClientHeight(), sceneSize.width, sceneSize.height,
        gl.SoftwareRenderer() ? "software" : "hardware", rounds, load[0]);
    std::printf("  %-40s %9s %9s %12s\n", "part", "median", "p95", "- empty");
    const double empty = Median(parts[0].ms);
    for (const Part& part : parts)
        std::printf("  %-40s %9.3f %9.3f %12.3f\n", part.name, Median(part.ms), Percentile95(part.ms),
                    Median(part.ms) - empty);
    textureRegistry.DeleteAllTexturesMIPMAP();
    meshes.textures.ReleaseMeshTextures();
    return 0;
}
