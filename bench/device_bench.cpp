// What a frame costs at 800 x 600 on this machine's GL: an empty frame, 240 lit cubes drawn one call
// each or instanced, and 200 blended glyph quads. Every frame ends with present and a full finish.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>

#include "device/gl_window.h"
#include "device/mesh.h"

namespace {

GlWindow& Window() {
    static GlWindow* window = [] {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_Init(SDL_INIT_VIDEO) != 0) std::abort();
        std::string error;
        GlWindow* created = GlWindow::Create("bench", 800, 600, true, error).release();
        if (!created) std::abort();
        return created;
    }();
    return *window;
}

std::unique_ptr<Mesh> CubeMesh() {
    auto mesh = std::make_unique<Mesh>();
    MeshSubset subset;
    subset.material.diffuse = {0.8f, 0.3f, 0.2f, 1};
    subset.material.specular = {1, 1, 1, 1};
    subset.material.power = 20;
    const float n[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (const auto& normal : n) {
        const Vector3 nz{normal[0], normal[1], normal[2]};
        const Vector3 up = std::abs(nz.y) > 0.5f ? Vector3{0, 0, 1} : Vector3{0, 1, 0};
        const Vector3 right = Cross(up, nz);
        const uint32_t base = uint32_t(subset.vertices.size());
        for (const auto& c : {std::pair{-1.f, 1.f}, {1.f, 1.f}, {-1.f, -1.f}, {1.f, -1.f}})
            subset.vertices.push_back({0.45f * (nz.x + c.first * right.x + c.second * up.x),
                                       0.45f * (nz.y + c.first * right.y + c.second * up.y),
                                       0.45f * (nz.z + c.first * right.z + c.second * up.z), nz.x, nz.y, nz.z,
                                       0, 0});
        for (uint32_t i : {0u, 1u, 2u, 2u, 1u, 3u}) subset.indices.push_back(base + i);
    }
    mesh->Subsets().push_back(subset);
    return mesh;
}

void SetScene(GraphicsDevice& device) {
    device.SetTransform(TransformKind::View, MatrixLookAtLH({0, 0, -5}, {0, 0, 22}, {0, 1, 0}));
    const float c = 1.0f / std::tan(0.7853982f / 2), q = 100.0f / 99.0f;
    Matrix projection;
    projection.m[0][0] = 0.75f * c;
    projection.m[1][1] = c;
    projection.m[2][2] = q;
    projection.m[2][3] = 1;
    projection.m[3][2] = -q;
    device.SetTransform(TransformKind::Projection, projection);
    device.SetRenderState(RenderState::Lighting, 1);
    device.SetRenderState(RenderState::SpecularEnable, 1);
    device.SetRenderState(RenderState::Ambient, 0x8C8C8C8C);
    Light light;
    light.diffuse = {0.55f, 0.55f, 0.55f, 1};
    light.specular = {1, 1, 1, 1};
    light.direction = {-1, -2, 1};
    device.SetLight(0, light);
    device.LightEnable(0, true);
}

// The well's 12 x 20 cells.
std::vector<Matrix> CellWorlds() {
    std::vector<Matrix> worlds;
    for (int row = 1; row <= 20; ++row)
        for (int column = 1; column <= 12; ++column)
            worlds.push_back(MatrixTranslation(float(column) - 6.5f, 10.5f - float(row), 22));
    return worlds;
}

void EndFrame(GlWindow& window) {
    window.Device().EndScene();
    window.Present();
    window.Finish();
}

void BM_EmptyFrame(benchmark::State& state) {
    GlWindow& window = Window();
    for (auto _ : state) {
        window.Device().BeginScene();
        window.Device().Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        EndFrame(window);
    }
}
BENCHMARK(BM_EmptyFrame)->Unit(benchmark::kMillisecond);

void BM_Cubes240OneCallEach(benchmark::State& state) {
    GlWindow& window = Window();
    GraphicsDevice& device = window.Device();
    SetScene(device);
    auto mesh = CubeMesh();
    const std::vector<Matrix> worlds = CellWorlds();
    for (auto _ : state) {
        device.BeginScene();
        device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        for (const Matrix& world : worlds) {
            device.SetTransform(TransformKind::World, world);
            RenderMesh(device, *mesh, {});
        }
        EndFrame(window);
    }
}
BENCHMARK(BM_Cubes240OneCallEach)->Unit(benchmark::kMillisecond);

void BM_Cubes240Instanced(benchmark::State& state) {
    GlWindow& window = Window();
    GraphicsDevice& device = window.Device();
    SetScene(device);
    auto mesh = CubeMesh();
    const std::vector<Matrix> worlds = CellWorlds();
    for (auto _ : state) {
        device.BeginScene();
        device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        RenderMesh(device, *mesh, {}, worlds);
        EndFrame(window);
    }
}
BENCHMARK(BM_Cubes240Instanced)->Unit(benchmark::kMillisecond);

void BM_GlyphQuads200(benchmark::State& state) {
    GlWindow& window = Window();
    GraphicsDevice& device = window.Device();
    std::vector<uint8_t> pixels(256 * 256 * 4, 200);
    auto font = device.CreateTextureFromPixels(256, 256, pixels);
    device.SetTexture(0, font.get());
    device.SetRenderState(RenderState::AlphaBlendEnable, 1);
    device.SetRenderState(RenderState::SrcBlend, BlendSrcAlpha);
    device.SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha);
    device.SetRenderState(RenderState::ZEnable, 0);
    const uint16_t indices[6] = {2, 3, 0, 1, 0, 3};
    for (auto _ : state) {
        device.BeginScene();
        device.Clear(ClearTarget | ClearDepth, 0xFF000000, 1);
        for (int i = 0; i < 200; ++i) {
            const float x = float(i % 20) * 40 - 0.5f, y = float(i / 20) * 40 - 0.5f;
            const ScreenVertex quad[4] = {{x, y + 32, 0.9f, 1, 0xFFFFFFFF, 0, 0, 0.125f},
                                          {x + 24, y + 32, 0.9f, 1, 0xFFFFFFFF, 0, 0.125f, 0.125f},
                                          {x, y, 0.9f, 1, 0xFFFFFFFF, 0, 0, 0},
                                          {x + 24, y, 0.9f, 1, 0xFFFFFFFF, 0, 0.125f, 0}};
            device.DrawIndexed(std::span<const ScreenVertex>(quad), indices);
        }
        EndFrame(window);
    }
    device.SetTexture(0, nullptr);
    device.SetRenderState(RenderState::AlphaBlendEnable, 0);
    device.SetRenderState(RenderState::ZEnable, 1);
}
BENCHMARK(BM_GlyphQuads200)->Unit(benchmark::kMillisecond);

}  // namespace
