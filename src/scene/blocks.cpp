// Drawing the well's cells, the falling piece, the removal effect, the bonus items and the glass.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "scene/scene.h"

namespace {
constexpr float Pi = std::numbers::pi_v<float>;
constexpr float WellDepth = 22.0f;
// A settled light level for everything but the bonus items.
constexpr float SceneLightLevel = 0.55f;

float CellX(int column) {
    return static_cast<float>(column) - 6.5f;
}
float CellY(int row) {
    return 10.5f - static_cast<float>(row);
}

bool IsSeeThrough(const MeshSubset& subset) {
    return subset.material.diffuse.a < 1.0f;
}

// T(offset), then S(scale), Rx, Ry, Rz where they do something, then T(x, y, z).
Matrix ShapeCellWorld(const Vector3& offset, float x, float y, float z, float rotX, float rotY, float rotZ,
                      float scale) {
    Matrix world = MatrixTranslation(offset.x, offset.y, offset.z);
    if (scale != 1.0f) world = world * MatrixScaling(scale);
    if (rotX != 0.0f) world = world * MatrixRotationX(rotX);
    if (rotY != 0.0f) world = world * MatrixRotationY(rotY);
    if (rotZ != 0.0f) world = world * MatrixRotationZ(rotZ);
    return world * MatrixTranslation(x, y, z);
}
}  // namespace

// Cells drawn under the same states: each cell's world is set as it comes (so a refused transform stops
// the drawing where the cell-by-cell order would), and the meshes are drawn at the end, one instanced
// call per subset and colour, every opaque part before any see-through one.
class Scene::CellBatch {
public:
    // Batches open at the same time need different slots (0 or 1) of the scene's world lists.
    CellBatch(Scene& scene, GraphicsDevice& device, bool specular, size_t slot = 0)
        : scene(scene), device(device), worldsByColour(scene.batchWorlds[slot]), specular(specular) {}

    // relightAfter: the cell is followed by the scene light at 0.55.
    HResult Add(int colour, const Matrix& world, bool relightAfter = false) {
        const HResult set = device.SetTransform(TransformKind::World, world);
        if (Failed(set)) return set;
        ++cells;
        relight = relight || relightAfter;
        const bool known = colour >= 0 && colour < ColourCount;
        if (scene.drawOneByOne) {
            if (specular) device.SetRenderState(RenderState::SpecularEnable, 1);
            if (known) scene.meshes.DrawMesh(device, scene.cellMeshes[static_cast<size_t>(colour)].whole);
            if (specular) device.SetRenderState(RenderState::SpecularEnable, 0);
            if (relightAfter) SetSceneLight(device, SceneLightLevel);
        } else if (known) {
            worldsByColour[static_cast<size_t>(colour)].push_back(world);
        }
        return S_OK;
    }

    void Flush() {
        if (scene.drawOneByOne || cells == 0) return;
        if (specular) device.SetRenderState(RenderState::SpecularEnable, 1);
        for (int pass = 0; pass < 2; ++pass) {
            for (size_t colour = 0; colour < static_cast<size_t>(ColourCount); ++colour) {
                const CellMeshParts& parts = scene.cellMeshes[colour];
                const std::vector<Matrix>& worlds = worldsByColour[colour];
                if (!parts.whole || worlds.empty()) continue;
                const Mesh* mesh = parts.opaque ? (pass == 0 ? parts.opaque.get() : parts.blended.get())
                                                : (pass == 0 ? parts.whole : nullptr);
                if (mesh) scene.meshes.DrawMeshInstanced(device, mesh, worlds);
            }
        }
        if (specular) device.SetRenderState(RenderState::SpecularEnable, 0);
        if (relight) SetSceneLight(device, SceneLightLevel);
        for (std::vector<Matrix>& worlds : worldsByColour) worlds.clear();
    }

private:
    Scene& scene;
    GraphicsDevice& device;
    BatchWorlds& worldsByColour;
    bool specular;
    bool relight = false;
    int cells = 0;
};

Scene::Scene(const MeshLibrary& meshes) : meshes(meshes) {}

std::vector<std::string> SceneMeshFiles() {
    std::vector<std::string> files = {"glass.x", "bonus.x", "bonus2.x"};
    for (int style = 1; style <= 5; ++style)
        for (int colour = 1; colour <= ColourCount; ++colour)
            files.push_back("cell_t" + std::to_string(style) + "_" + std::to_string(colour) + ".x");
    return files;
}

void Scene::LoadCellMeshes(int blockStyle) {
    for (int colour = 0; colour < ColourCount; ++colour) {
        char name[64];
        std::snprintf(name, sizeof name, "cell_t%d_%d.x", blockStyle + 1, colour + 1);
        CellMeshParts& parts = cellMeshes[static_cast<size_t>(colour)];
        parts = {};
        parts.whole = meshes.FindMesh(name);
        if (!parts.whole) continue;
        bool anyOpaque = false, anySeeThrough = false;
        for (const MeshSubset& subset : parts.whole->Subsets())
            (IsSeeThrough(subset) ? anySeeThrough : anyOpaque) = true;
        if (!anyOpaque || !anySeeThrough) continue;
        parts.opaque = std::make_unique<Mesh>();
        parts.blended = std::make_unique<Mesh>();
        for (const MeshSubset& subset : parts.whole->Subsets())
            (IsSeeThrough(subset) ? parts.blended : parts.opaque)->Subsets().push_back(subset);
    }
}

const Mesh* Scene::CellMesh(int colour) const {
    return colour >= 0 && colour < ColourCount ? cellMeshes[static_cast<size_t>(colour)].whole : nullptr;
}

HResult Scene::DrawWell(GraphicsDevice& device, const GameState& state) {
    // The piece is drawn under the light the frame set, the settled cells under 0.55 (each one is
    // followed by it). When the frame's light is already 0.55, which it is after the background, the
    // resting cells are drawn first, as a layer the device may keep from frame to frame (they change
    // far less often than the piece moves), and the piece after them; opaque cells tested against
    // depth give the same picture in either order.
    const uint32_t level = static_cast<uint32_t>(std::trunc(255.0f * SceneLightLevel));
    const bool sameLight =
        device.GetRenderState(RenderState::Ambient) == (level << 24 | level << 16 | level << 8 | level);
    CellBatch batch(*this, device, true);
    HResult result = S_OK;
    if (state.piece.active) {
        // The piece swings and slides about its first cell.
        const float pivotX = CellX(state.piece.cells[0].column);
        const float pivotY = CellY(state.piece.cells[0].row);
        const int count = std::clamp(state.pieceCellCount, 0, 4);
        for (int i = 0; i < count && !Failed(result); ++i) {
            const Cell& cell = state.piece.cells[static_cast<size_t>(i)];
            Matrix world = MatrixTranslation(CellX(cell.column) - pivotX, CellY(cell.row) - pivotY, 0);
            if (cell.rotating) world = world * MatrixRotationZ((1.0f - cell.rotateProgress) * Pi / 2);
            if (cell.movingLeft) world = world * MatrixTranslation(1.0f - cell.moveLeftProgress, 0, 0);
            if (cell.movingRight) world = world * MatrixTranslation(-(1.0f - cell.moveRightProgress), 0, 0);
            if (cell.falling) world = world * MatrixTranslation(0, 1.0f - cell.fallProgress, 0);
            result = batch.Add(cell.colour, world * MatrixTranslation(pivotX, pivotY, WellDepth));
        }
    }
    if (!sameLight || Failed(result)) batch.Flush();
    if (Failed(result)) return result;

    CellBatch settled(*this, device, true, 1);
    const int count = std::clamp(state.well.count, 0, WellCapacity);
    for (int i = 0; i < count && !Failed(result); ++i) {
        const Cell& cell = state.well.cells[static_cast<size_t>(i)];
        const float drop = cell.falling ? 1.0f - cell.fallProgress : 0.0f;
        // Cells sinking into place move every frame: they go with the piece, so the resting ones can
        // be kept while they sink.
        CellBatch& into = sameLight && cell.falling ? batch : settled;
        result = into.Add(cell.colour,
                          MatrixTranslation(CellX(cell.column), CellY(cell.row) + drop, WellDepth), true);
    }
    if (sameLight) device.BeginLayer();
    settled.Flush();
    if (sameLight) {
        device.EndLayer();
        batch.Flush();
    }
    return result;
}

HResult Scene::DrawFallingPiece(GraphicsDevice& device, const GameState& state, bool appearingThisFrame) {
    if (!state.piece.appearing && !appearingThisFrame) return S_OK;
    const Cell& first = state.piece.cells[0];
    const float x = CellX(first.column);
    const float y = 11.5f - static_cast<float>(first.row) + 4.0f * (1.0f - state.piece.appearProgress);
    if (state.gameType == Classic)
        return DrawPiece(device, state.piece.shape, first.colour, x, y, WellDepth, Pi, 0, 0, 1);
    return DrawColourBar(device, state.currentBarColours, state.gameType, x, y, WellDepth, Pi, 0, 0, 1);
}

HResult Scene::DrawDebris(GraphicsDevice& device, const GameState& state) {
    CellBatch batch(*this, device, false);
    HResult result = S_OK;
    const int count = std::clamp(state.debris.count, 0, DebrisCapacity);
    for (int i = 0; i < count && !Failed(result); ++i) {
        const Cell& cell = state.debris.cells[static_cast<size_t>(i)];
        const float p = cell.debrisProgress;
        // Falls from its place to 10 units below the middle while coming towards the viewer.
        const float y = (1.0f - p) * CellY(cell.row) - 10.0f * std::sin(p * Pi / 2);
        result = batch.Add(cell.colour, MatrixTranslation(CellX(cell.column), y, WellDepth - 14.666667f * p));
    }
    batch.Flush();
    return result;
}

HResult Scene::DrawBonusItem(GraphicsDevice& device, int kind, int column, int row, float now) {
    if (kind != PointsBonus && kind != ClearBonus) return E_FAIL;
    const Matrix world = MatrixRotationX(-Pi / 2) * MatrixRotationY(2.0f * now) *
                         MatrixTranslation(CellX(column), 11.05f - static_cast<float>(row), WellDepth);
    const HResult set = device.SetTransform(TransformKind::World, world);
    if (Failed(set)) return set;
    return meshes.DrawMesh(device, meshes.FindMesh(kind == PointsBonus ? "bonus.x" : "bonus2.x"));
}

HResult Scene::DrawShapeCells(GraphicsDevice& device, std::span<const Vector3> offsets,
                              std::span<const int> colours, float x, float y, float z, float rotX, float rotY,
                              float rotZ, float scale, int count) {
    CellBatch batch(*this, device, true);
    HResult result = S_OK;
    for (int i = 0; i < count && !Failed(result); ++i) {
        const Matrix world =
            ShapeCellWorld(offsets[static_cast<size_t>(i)], x, y, z, rotX, rotY, rotZ, scale);
        const int colour = colours[static_cast<size_t>(i)];
        if (colour < 0 || colour >= ColourCount) {
            // A bar with an unknown colour stops at that cell (its world is still set first).
            result = device.SetTransform(TransformKind::World, world);
            if (!Failed(result)) result = E_FAIL;
            break;
        }
        result = batch.Add(colour, world);
    }
    batch.Flush();
    return result;
}

HResult Scene::DrawPiece(GraphicsDevice& device, int shape, int colour, float x, float y, float z, float rotX,
                         float rotY, float rotZ, float scale) {
    if (shape < 1 || shape > 7 || colour < 0 || colour >= ColourCount) return E_FAIL;
    std::array<Vector3, 4> offsets{};
    std::array<int, 4> colours{};
    for (size_t i = 0; i < 4; ++i) {
        // The shape table's offsets are taken with dy upwards; callers turn the shape over with rotX = pi.
        offsets[i] = {static_cast<float>(PieceShapeTable[static_cast<size_t>(shape)][i].dx),
                      static_cast<float>(PieceShapeTable[static_cast<size_t>(shape)][i].dy), 0};
        colours[i] = colour;
    }
    return DrawShapeCells(device, offsets, colours, x, y, z, rotX, rotY, rotZ, scale, 4);
}

HResult Scene::DrawColourBar(GraphicsDevice& device, const std::array<int32_t, 4>& colours, GameType gameType,
                             float x, float y, float z, float rotX, float rotY, float rotZ, float scale) {
    std::array<Vector3, 3> offsets{};
    std::array<int, 3> barColours{};
    for (size_t i = 0; i < 3; ++i) {
        const float step = static_cast<float>(i);
        offsets[i] = gameType == ColorBlocks ? Vector3{0, step, 0} : Vector3{step, 0, 0};
        barColours[i] = colours[i];
    }
    return DrawShapeCells(device, offsets, barColours, x, y, z, rotX, rotY, rotZ, scale, 3);
}

HResult Scene::DrawNextPiece(GraphicsDevice& device, const GameState& state, const Vector3& centre,
                             float turn) {
    // The cells' offsets and the middle of the box around them.
    const bool classic = state.gameType == Classic;
    const int count = classic ? 4 : 3;
    float low[2] = {0, 0}, high[2] = {0, 0};
    for (int i = 0; i < count; ++i) {
        float dx = 0, dy = 0;
        if (classic) {
            if (state.nextShape < 1 || state.nextShape > 7) break;
            const Offset offset =
                PieceShapeTable[static_cast<size_t>(state.nextShape)][static_cast<size_t>(i)];
            dx = static_cast<float>(offset.dx);
            dy = static_cast<float>(offset.dy);
        } else {
            (state.gameType == ColorBlocks ? dy : dx) = static_cast<float>(i);
        }
        low[0] = std::min(low[0], dx), high[0] = std::max(high[0], dx);
        low[1] = std::min(low[1], dy), high[1] = std::max(high[1], dy);
    }
    // Where that middle goes under the preview's turns; the shape is placed so that it lands on centre.
    const Vector4 middle = TransformPoint({(low[0] + high[0]) / 2, (low[1] + high[1]) / 2, 0},
                                          MatrixRotationX(Pi) * MatrixRotationY(turn));
    const float x = centre.x - middle.x, y = centre.y - middle.y, z = centre.z - middle.z;
    if (classic) return DrawPiece(device, state.nextShape, state.nextColour, x, y, z, Pi, turn, 0, 1);
    return DrawColourBar(device, state.nextBarColours, state.gameType, x, y, z, Pi, turn, 0, 1);
}

void Scene::DrawGlass(GraphicsDevice& device) {
    const Matrix world =
        MatrixRotationX(-Pi / 2) * MatrixRotationY(Pi) * MatrixTranslation(0, -0.5f, WellDepth);
    device.SetTransform(TransformKind::World, world);
    device.SetRenderState(RenderState::SpecularEnable, 1);
    meshes.DrawMesh(device, meshes.FindMesh("glass.x"));
    device.SetRenderState(RenderState::SpecularEnable, 0);
}
