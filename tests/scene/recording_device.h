// A device that draws nothing and remembers everything: render states, transforms, the light, and
// for every draw the world matrices it used and the states it was drawn under. Lets the scene's
// transform chains and state switching be checked without a GPU.
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

#include "device/device.h"
#include "device/mesh.h"

class FakeTexture : public Texture {
public:
    int Width() const override { return 8; }
    int Height() const override { return 8; }
};

struct RecordedDraw {
    enum Kind { Quad, Screen, Mesh } kind = Quad;
    std::vector<Matrix> worlds;  // one per instance (the world transform for a plain draw)
    std::vector<QuadVertex> quadVertices;
    size_t indexCount = 0;
    bool specular = false;
    bool lighting = false;
    bool blending = false;
    uint32_t ambient = 0;
    Texture* texture = nullptr;
    Material material;
};

class RecordingDevice : public GraphicsDevice {
public:
    std::vector<RecordedDraw> draws;
    std::map<RenderState, uint32_t> states;
    std::map<TextureStageState, uint32_t> stageStates;
    Matrix world = MatrixIdentity(), view = MatrixIdentity(), projection = MatrixIdentity();
    Viewport viewport{0, 0, 800, 600, 0, 1};
    Light light;
    bool lightEnabled = false;
    Material material;
    Texture* boundTexture = nullptr;
    int clears = 0;
    int worldSets = 0;
    // After this many more world transforms, SetTransform(World) refuses (negative: never).
    int refuseWorldAfter = -1;
    bool refuseClear = false;
    std::vector<std::unique_ptr<FakeTexture>> createdTextures;

    HResult BeginScene() override { return S_OK; }
    HResult EndScene() override { return S_OK; }
    HResult Clear(uint32_t, ColourArgb, float) override {
        if (refuseClear) return E_FAIL;
        ++clears;
        return S_OK;
    }
    HResult SetTransform(TransformKind kind, const Matrix& matrix) override {
        if (kind == TransformKind::World) {
            if (refuseWorldAfter == 0) return E_FAIL;
            if (refuseWorldAfter > 0) --refuseWorldAfter;
            ++worldSets;
        }
        (kind == TransformKind::World ? world : kind == TransformKind::View ? view : projection) = matrix;
        return S_OK;
    }
    HResult GetTransform(TransformKind kind, Matrix& matrix) const override {
        matrix = kind == TransformKind::World ? world : kind == TransformKind::View ? view : projection;
        return S_OK;
    }
    HResult GetViewport(Viewport& v) const override {
        v = viewport;
        return S_OK;
    }
    HResult SetRenderState(RenderState state, uint32_t value) override {
        states[state] = value;
        return S_OK;
    }
    uint32_t GetRenderState(RenderState state) const override {
        const auto it = states.find(state);
        return it == states.end() ? 0 : it->second;
    }
    HResult SetLight(int, const Light& l) override {
        light = l;
        return S_OK;
    }
    HResult LightEnable(int, bool enable) override {
        lightEnabled = enable;
        return S_OK;
    }
    HResult SetMaterial(const Material& m) override {
        material = m;
        return S_OK;
    }
    Material GetMaterial() const override { return material; }
    HResult SetTexture(int, Texture* texture) override {
        boundTexture = texture;
        return S_OK;
    }
    Texture* GetTexture(int) const override { return boundTexture; }
    HResult SetTextureStageState(int, TextureStageState state, uint32_t value) override {
        stageStates[state] = value;
        return S_OK;
    }
    uint32_t GetTextureStageState(int, TextureStageState state) const override {
        const auto it = stageStates.find(state);
        return it == stageStates.end() ? 0 : it->second;
    }
    HResult DrawIndexed(std::span<const QuadVertex> vertices, std::span<const uint16_t> indices) override {
        RecordedDraw& d = Record(RecordedDraw::Quad, {world});
        d.quadVertices.assign(vertices.begin(), vertices.end());
        d.indexCount = indices.size();
        return S_OK;
    }
    HResult DrawIndexed(std::span<const ScreenVertex>, std::span<const uint16_t> indices) override {
        Record(RecordedDraw::Screen, {world}).indexCount = indices.size();
        return S_OK;
    }
    HResult DrawIndexed(std::span<const MeshVertex>, std::span<const uint32_t> indices) override {
        Record(RecordedDraw::Mesh, {world}).indexCount = indices.size();
        return S_OK;
    }
    HResult DrawIndexedInstanced(std::span<const MeshVertex>, std::span<const uint32_t> indices,
                                 std::span<const Matrix> worlds) override {
        Record(RecordedDraw::Mesh, std::vector<Matrix>(worlds.begin(), worlds.end())).indexCount =
            indices.size();
        return S_OK;
    }
    std::unique_ptr<Texture> CreateTextureFromFile(const std::string& nativePath) override {
        if (!std::filesystem::is_regular_file(nativePath)) return nullptr;
        return std::make_unique<FakeTexture>();
    }
    std::unique_ptr<Texture> CreateTextureFromPixels(int, int, std::span<const uint8_t>) override {
        return std::make_unique<FakeTexture>();
    }
    bool ReadPixels(std::vector<uint8_t>&, int&, int&) override { return false; }

    // Every mesh instance drawn, in order, as the world matrices used.
    std::vector<Matrix> MeshWorlds() const {
        std::vector<Matrix> all;
        for (const RecordedDraw& d : draws)
            if (d.kind == RecordedDraw::Mesh) all.insert(all.end(), d.worlds.begin(), d.worlds.end());
        return all;
    }
    size_t MeshDrawCalls() const {
        size_t n = 0;
        for (const RecordedDraw& d : draws) n += d.kind == RecordedDraw::Mesh;
        return n;
    }

private:
    RecordedDraw& Record(RecordedDraw::Kind kind, std::vector<Matrix> worlds) {
        RecordedDraw d;
        d.kind = kind;
        d.worlds = std::move(worlds);
        d.specular = GetRenderState(RenderState::SpecularEnable) != 0;
        d.lighting = GetRenderState(RenderState::Lighting) != 0;
        d.blending = GetRenderState(RenderState::AlphaBlendEnable) != 0;
        d.ambient = GetRenderState(RenderState::Ambient);
        d.texture = boundTexture;
        d.material = material;
        draws.push_back(std::move(d));
        return draws.back();
    }
};

// A one-subset mesh with a single triangle of this diffuse colour, for drawing through a fake device.
inline std::unique_ptr<Mesh> TriangleMesh(ColourValue diffuse) {
    auto mesh = std::make_unique<Mesh>();
    MeshSubset subset;
    subset.material.diffuse = diffuse;
    subset.vertices = {{0, 0, 0, 0, 0, -1, 0, 0}, {0, 1, 0, 0, 0, -1, 0, 1}, {1, 1, 0, 0, 0, -1, 1, 1}};
    subset.indices = {0, 1, 2};
    mesh->Subsets().push_back(subset);
    return mesh;
}
