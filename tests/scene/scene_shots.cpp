// Screenshots of the scene for looking at: a Classic game in progress, a colour game with a run
// vanishing, every block style with all seven colours, the moving background for each texture pair
// and the static background. Run from the built game directory: scene_shots [output folder].
#include <SDL.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <numbers>
#include <string>

#include "core/game_core.h"
#include "device/device.h"
#include "device/gl_window.h"
#include "device/image_write.h"
#include "scene/scene.h"
#include "ui/texture_registry.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;

class FixedWindow : public Window {
public:
    int ClientWidth() const override { return 800; }
    int ClientHeight() const override { return 600; }
};

Cell MakeCell(int column, int row, int colour) {
    Cell cell;
    cell.column = column;
    cell.row = row;
    cell.colour = colour;
    return cell;
}

struct Shooter {
    GlWindow& window;
    Scene& scene;
    std::string folder;

    GraphicsDevice& Device() { return window.Device(); }

    // The play scene in the frame's order, with the next-piece preview beside the well.
    void PlayScene(const GameState& state, float now) {
        GraphicsDevice& device = Device();
        scene.DrawGlass(device);
        device.SetRenderState(RenderState::SpecularEnable, 1);
        scene.DrawWell(device, state);
        scene.DrawFallingPiece(device, state);
        scene.DrawDebris(device, state);
        device.SetRenderState(RenderState::SpecularEnable, 0);
        const float turn = 0.5f * std::sin(1.5f * now);
        scene.DrawNextPiece(device, state, NextPieceCentre, turn);
        SetSceneLight(device, 1.0f);
        for (int kind = 0; kind < 2; ++kind)
            if (state.bonus[static_cast<size_t>(kind)].active)
                scene.DrawBonusItem(device, kind, state.bonus[static_cast<size_t>(kind)].column,
                                    state.bonus[static_cast<size_t>(kind)].row, now);
        SetSceneLight(device, 0.55f);
    }

    bool Save(const std::string& name) {
        std::vector<uint8_t> rgba;
        int width = 0, height = 0;
        if (!Device().ReadPixels(rgba, width, height)) return false;
        const std::string path = folder + "/" + name + ".png";
        const bool ok = WritePng(path, width, height, rgba);
        std::printf("%s %s\n", ok ? "wrote" : "FAILED", path.c_str());
        return ok;
    }
};
}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "/tmp/scene-shots";
    std::filesystem::create_directories(folder);
    setenv("SDL_VIDEODRIVER", "offscreen", 0);
    if (SDL_Init(SDL_INIT_VIDEO) != 0) return 1;
    std::string error;
    std::unique_ptr<GlWindow> window = GlWindow::Create("scene shots", 800, 600, true, error);
    if (!window) {
        std::fprintf(stderr, "no window: %s\n", error.c_str());
        return 1;
    }
    GraphicsDevice& device = window->Device();
    FixedWindow client;
    textureRegistry.BindDevice(&client, &device);
    MeshLibrary meshes;
    meshes.LoadAllMeshes(GraphicsDirectory);
    meshes.textures.LoadMeshTextures(device, GraphicsDirectory);
    std::printf("%d meshes, %d mesh textures\n", meshes.Count(), meshes.textures.Count());
    Scene scene(meshes);
    scene.LoadCellMeshes(2);
    SetUpSceneCamera(device);
    Shooter shooter{*window, scene, folder};

    // A Classic game in progress: a ragged stack, a T piece sliding left and falling, the next piece.
    {
        GameState state;
        state.gameType = Classic;
        SeedRandom(5);
        int n = 0;
        for (int row = 12; row <= WellRows; ++row)
            for (int column = 1; column <= WellColumns; ++column)
                if (RandomInt(0, 9) < (row - 10) || (row > 17 && column != 8))
                    state.well.cells[static_cast<size_t>(n++)] = MakeCell(column, row, RandomInt(0, 6));
        state.well.count = n;
        state.piece.active = 1;
        state.piece.shape = 6;
        state.pieceCellCount = 4;
        state.piece.cells = {MakeCell(5, 6, 4), MakeCell(5, 5, 4), MakeCell(4, 6, 4), MakeCell(6, 6, 4)};
        for (Cell& cell : state.piece.cells) {
            cell.falling = 1;
            cell.fallProgress = 0.5f;
        }
        state.nextShape = 2;
        state.nextColour = 1;
        state.bonus[0] = {1, 10, 9, 0};
        device.BeginScene();
        DrawBackground(device, textureRegistry, 12.0f, true, 0);
        shooter.PlayScene(state, 12.0f);
        device.EndScene();
        shooter.Save("classic-game");
    }

    // A colour game: a run of three vanishing from the bottom row, the cells above sinking, a bar
    // dropping in.
    {
        GameState state;
        state.gameType = ColorBlocks;
        state.pieceCellCount = 3;
        int n = 0;
        const int colours[4][12] = {{0, 1, 2, 3, 4, 5, 6, 0, 1, 2, 3, 4},
                                    {5, 6, 0, 1, 2, -1, 4, 5, 6, 0, 1, 2},
                                    {3, 4, -1, -1, 0, -1, 2, 3, -1, 5, 6, 0},
                                    {1, -1, -1, -1, 5, -1, -1, 1, -1, -1, 4, -1}};
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 12; ++c)
                if (colours[r][c] >= 0) {
                    Cell cell = MakeCell(c + 1, WellRows - r, colours[r][c]);
                    if (c == 7 && r > 0) {
                        cell.falling = 1;
                        cell.fallProgress = 0.3f;
                    }
                    state.well.cells[static_cast<size_t>(n++)] = cell;
                }
        state.well.count = n;
        for (int i = 0; i < 3; ++i) {
            Cell cell = MakeCell(6 + i, WellRows - 4 + 0, 3);
            cell.row = 16;
            cell.debrisProgress = 0.35f;
            state.debris.cells[static_cast<size_t>(i)] = cell;
        }
        state.debris.count = 3;
        state.piece.appearing = 1;
        state.piece.appearProgress = 0.6f;
        state.piece.cells[0] = MakeCell(6, 1, 2);
        state.currentBarColours = {2, 5, 0, 0};
        state.nextBarColours = {1, 1, 4, 0};
        device.BeginScene();
        DrawBackground(device, textureRegistry, 30.0f, true, 2);
        shooter.PlayScene(state, 30.0f);
        device.EndScene();
        shooter.Save("colour-game");
    }

    // Each block style: the seven colours along the bottom rows and as a piece of each shape.
    for (int style = 0; style < 5; ++style) {
        scene.LoadCellMeshes(style);
        GameState state;
        int n = 0;
        for (int row = 17; row <= WellRows; ++row)
            for (int column = 1; column <= WellColumns; ++column)
                state.well.cells[static_cast<size_t>(n++)] =
                    MakeCell(column, row, (column + row) % ColourCount);
        state.well.count = n;
        device.BeginScene();
        DrawBackground(device, textureRegistry, 0, false, 0);
        scene.DrawGlass(device);
        device.SetRenderState(RenderState::SpecularEnable, 1);
        scene.DrawWell(device, state);
        device.SetRenderState(RenderState::SpecularEnable, 0);
        for (int shape = 1; shape <= 7; ++shape)
            scene.DrawPiece(device, shape, shape - 1, -5.5f + 1.8f * static_cast<float>(shape - 1), 7.5f, 22,
                            Pi, 0.3f, 0, 0.5f);
        device.EndScene();
        shooter.Save("style-" + std::to_string(style + 1));
    }
    scene.LoadCellMeshes(2);

    // The backgrounds alone, and the menu backdrop over the first.
    for (int index = 0; index < 3; ++index) {
        device.BeginScene();
        DrawBackground(device, textureRegistry, 5.0f, true, index);
        device.EndScene();
        shooter.Save("background-" + std::to_string(index));
    }
    device.BeginScene();
    DrawBackground(device, textureRegistry, 0, false, 0);
    device.EndScene();
    shooter.Save("background-static");
    {
        MenuBackdrop backdrop;
        SeedRandom(9);
        backdrop.Advance(0);
        backdrop.Advance(7.6f);
        device.BeginScene();
        DrawBackground(device, textureRegistry, 9.5f, true, 0);
        backdrop.Draw(scene, device, 9.5f);
        device.EndScene();
        shooter.Save("menu-backdrop");
    }
    textureRegistry.DeleteAllTexturesMIPMAP();
    meshes.textures.ReleaseMeshTextures();
    window.reset();
    SDL_Quit();
    return 0;
}
