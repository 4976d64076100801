// The 3D scene: the table of meshes loaded from "Graphics\*.x" and the textures their materials name,
// the shared world-space quads, the projection of world points to pixels and the scene light, the
// drawing of the well, the pieces, the removal effect and the bonus items, the camera, the two
// backgrounds, the glass and the pieces that fall behind the menus.
// What stays true: meshes live from start-up to shut-down and survive device changes; mesh textures
// live with the device objects. Drawing only reads the game state: the animation fields are advanced by
// GameCore::AdvanceAnimations before each drawn frame. Cells that share a mesh are drawn in one
// instanced call, with the same picture as drawing them one by one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "core/game_state.h"
#include "device/device.h"
#include "device/mesh.h"

class TextureRegistry;

// The graphics folder, joined to file names by plain concatenation.
inline constexpr const char* GraphicsDirectory = "Graphics\\";

constexpr int MeshCapacity = 100;
constexpr int MeshTextureCapacity = 101;
// Names are kept in 255-byte fields: at most 254 characters.
constexpr size_t SceneNameLimit = 254;

// The textures that mesh materials name, owned by their bare file names. Device objects: loaded with
// the device, released before it goes.
class MeshTextureSet {
public:
    // Every "*.bmp", then every "*.tga" of the directory, in name order, that the device can make a
    // texture of. Files beyond the 101st and names too long for the table are refused (counted in
    // Refused()) instead of overrunning it. The folder holds the backgrounds and the font as well, which
    // no mesh names: each texture is made when a mesh first asks for it, so those are not held twice.
    HResult LoadMeshTextures(GraphicsDevice& device, const std::string& directory);
    HResult ReleaseMeshTextures();

    // The texture registered under exactly this bare name, made on the first call; nullptr when the
    // name is not registered or its file no longer makes a texture (logged once).
    Texture* Find(const std::string& name);
    int Count() const { return static_cast<int>(entries.size()); }
    const std::string& Name(int index) const { return entries[static_cast<size_t>(index)].name; }
    // Image files the last load did not take because the table was full or the name too long.
    int Refused() const { return refused; }

private:
    struct Entry {
        std::string name;
        std::string path;  // as the game names it, directory included
        std::unique_ptr<Texture> texture;
        bool failed = false;
    };
    GraphicsDevice* device = nullptr;  // the one the set was loaded for, until released
    std::vector<Entry> entries;
    int refused = 0;
};

// Every mesh of the graphics folder, in load order, found again by its bare file name.
class MeshLibrary {
public:
    MeshLibrary();
    // The texture lookup points back at this object.
    MeshLibrary(const MeshLibrary&) = delete;
    MeshLibrary& operator=(const MeshLibrary&) = delete;

    // The textures resolved for the meshes' materials (kept here so every mesh draw finds them).
    MeshTextureSet textures;

    // Empties the table, then loads every directory + "*.x" in name order. Failures are skipped.
    void LoadAllMeshes(const std::string& directory);
    // E_FAIL when the table is full or the name does not fit; otherwise the loader's result. A failure
    // is logged with the file and the reason.
    HResult LoadMesh(const std::string& directory, const std::string& fileName);
    // Logs each of these meshes that is not in the table and was not already logged as failed, with
    // the reason (missing, not a regular file): what the game draws with it stays invisible.
    void ReportMissing(const std::string& directory, const std::vector<std::string>& fileNames);
    // Adds a mesh built in memory under a file name, with the same capacity rule as LoadMesh.
    HResult AddMesh(const std::string& fileName, std::unique_ptr<Mesh> mesh);
    // Byte-for-byte comparison: "Glass.x" is not "glass.x". nullptr when absent.
    const Mesh* FindMesh(const std::string& fileName) const;
    // E_FAIL for no mesh. Unbinds texture stage 0 first, then draws under the current world transform.
    HResult DrawMesh(GraphicsDevice& device, const Mesh* mesh) const;
    // The same mesh once per world matrix in one call per subset (nothing for an empty list).
    HResult DrawMeshInstanced(GraphicsDevice& device, const Mesh* mesh, std::span<const Matrix> worlds) const;
    void ReleaseMeshes();

    int Count() const { return static_cast<int>(entries.size()); }
    const std::string& FileName(int index) const { return entries[static_cast<size_t>(index)].fileName; }
    const MeshTextureLookup& TextureLookup() const { return lookup; }

private:
    struct Entry {
        std::string fileName;
        std::unique_ptr<Mesh> mesh;
    };
    std::vector<Entry> entries;
    MeshTextureLookup lookup;
    std::set<std::string> failedFiles;      // logged by LoadMesh
    std::set<std::string> missingTextures;  // named by a material, not loaded: logged once
};

// The meshes the game draws: the glass, the two bonus items and the cell meshes of every block style.
std::vector<std::string> SceneMeshFiles();

// One corner of a world-space quad: position and colour.
struct QuadCorner {
    float x, y, z;
    ColourArgb diffuse;
};

// A transformed-and-lit vertex: ProjectToScreen fills x, y (pixels), z (depth) and w.
struct ScreenPoint {
    float x = 0, y = 0, z = 0, w = 0;
    ColourArgb colour = 0, specular = 0;
    float u = 0, v = 0;
};

// Texture offset of a scrolling quad at `time` seconds: runs from 0 to `tiling` over one period of
// 1 / speed seconds, then starts again; 0 for speed 0; negative speeds run the other way.
float ScrollOffset(float time, float tiling, float speed);
// The four corners DrawCentredQuad uses (template order: lower left, lower right, upper left, upper right).
std::array<QuadVertex, 4> CentredQuadVertices(float centreX, float centreY, float width, float height,
                                              float z);
std::array<QuadVertex, 4> ScrollingQuadVertices(const std::array<QuadCorner, 4>& corners, float time,
                                                float tiling, float speedU, float speedV);
// A textured quad at depth z, world identity, drawn unlit. Blending and depth states are the caller's.
HResult DrawCentredQuad(GraphicsDevice& device, Texture* texture, float centreX, float centreY, float width,
                        float height, float z);
// A quad with tiled, time-scrolled texture coordinates, white material, vertex colours, unlit.
HResult DrawScrollingQuad(GraphicsDevice& device, Texture* texture, const std::array<QuadCorner, 4>& corners,
                          float time, float tiling, float speedU, float speedV);
// World points to viewport pixels through the device's world, view and projection (viewport origin
// not added).
HResult ProjectToScreen(GraphicsDevice& device, std::span<ScreenPoint> points);
// Ambient grey trunc(255 x intensity) and directional light 0 of that intensity, enabled.
void SetSceneLight(GraphicsDevice& device, float intensity);

// The camera and the base render states shared by all 3D drawing; clears the target once.
Matrix SceneViewMatrix();
Matrix SceneProjectionMatrix();
HResult SetUpSceneCamera(GraphicsDevice& device);

// The first drawing of every frame: the scrolling tunnel of backgroundIndex (0..2) with its horizon
// strip, or with `dynamic` off the static picture over a cleared target. Ends with linear filtering,
// lighting on, depth test less-or-equal and the scene light at 0.55. Fails only when the clear fails.
HResult DrawBackground(GraphicsDevice& device, TextureRegistry& registry, float now, bool dynamic,
                       int backgroundIndex);

// The well's contents and the shapes drawn from cell meshes.
// Where the next piece turns beside the well: the world point that the in-game screen's next-piece
// panel shows in the middle of its room below the label (a piece there, seen from below the eye's
// level, covers about 0.80..0.87 by 0.39..0.52 of the window).
inline constexpr Vector3 NextPieceCentre{10, 0.9f, 22};

class Scene {
public:
    explicit Scene(const MeshLibrary& meshes);

    // The seven cell meshes of a block style (0..4), "cell_t<style+1>_<colour+1>.x". A missing file
    // leaves that colour undrawn.
    void LoadCellMeshes(int blockStyle);
    const Mesh* CellMesh(int colour) const;

    // The piece while it is active, then every settled cell.
    HResult DrawWell(GraphicsDevice& device, const GameState& state);
    // The piece while it appears, dropping in from four units above. appearingThisFrame: the piece was
    // appearing when the frame began, so it is drawn here even if this frame's advance just finished
    // the appearance (DrawWell shows it in place from the next frame on).
    HResult DrawFallingPiece(GraphicsDevice& device, const GameState& state, bool appearingThisFrame = false);
    // The removed cells falling towards the viewer.
    HResult DrawDebris(GraphicsDevice& device, const GameState& state);
    // kind 0 "bonus.x", kind 1 "bonus2.x", spinning above its cell.
    HResult DrawBonusItem(GraphicsDevice& device, int kind, int column, int row, float now);
    // A Classic shape (1..7) of one colour (0..6) at (x, y, z); E_FAIL and nothing drawn otherwise.
    HResult DrawPiece(GraphicsDevice& device, int shape, int colour, float x, float y, float z, float rotX,
                      float rotY, float rotZ, float scale);
    // A three-cell colour bar, vertical in ColorBlocks, horizontal otherwise; stops (E_FAIL) at the first
    // colour outside 0..6.
    HResult DrawColourBar(GraphicsDevice& device, const std::array<int32_t, 4>& colours, GameType gameType,
                          float x, float y, float z, float rotX, float rotY, float rotZ, float scale);
    // The next piece beside the well (the Classic shape or the colour bar of the game type), turned
    // over about X as it will lie in the well and by `turn` about the vertical, with the middle of its
    // cells at `centre` whatever its shape, so it turns in place. E_FAIL before there is a next piece.
    HResult DrawNextPiece(GraphicsDevice& device, const GameState& state, const Vector3& centre, float turn);
    // The glass around the well, with specular highlights, leaving them off.
    void DrawGlass(GraphicsDevice& device);

    const MeshLibrary& Meshes() const { return meshes; }

    // Draw every cell with its own call instead of one instanced call per mesh. Same picture, much
    // slower on a software renderer; kept to check the batching against.
    bool drawOneByOne = false;

private:
    class CellBatch;
    struct CellMeshParts {
        const Mesh* whole = nullptr;
        // Only when the mesh mixes opaque and see-through subsets: the two halves, so that a batch can
        // draw every opaque part before any blended one.
        std::unique_ptr<Mesh> opaque, blended;
    };

    HResult DrawShapeCells(GraphicsDevice& device, std::span<const Vector3> offsets,
                           std::span<const int> colours, float x, float y, float z, float rotX, float rotY,
                           float rotZ, float scale, int count);

    const MeshLibrary& meshes;
    std::array<CellMeshParts, ColourCount> cellMeshes;
    // The world matrices gathered per colour while a batch is open, kept to save allocations.
    // The well keeps two batches open at once (the resting cells, and the piece with the sinking cells).
    using BatchWorlds = std::array<std::vector<Matrix>, ColourCount>;
    std::array<BatchWorlds, 2> batchWorlds;
};

// One of the two items falling behind the menu screens.
struct BackdropSlot {
    int32_t kind = 0;  // 1..7 a piece shape, 8 "bonus.x", 9 "bonus2.x", 0 none yet
    int32_t colour = 0;
    float y = 0;
    float previousY = 0;
    float x = 0;
};

// The two slots fall at 2 units per second from y 15 to -15, half a cycle apart; each time one wraps
// to the top it picks a new colour and kind at random.
class MenuBackdrop {
public:
    // Moves both slots to where the clock puts them (picking on a wrap) without drawing.
    void Advance(float now);
    // Advance, then draw both slots, slot 0 first.
    void Draw(Scene& scene, GraphicsDevice& device, float now);

    std::array<BackdropSlot, 2> slots{};

private:
    void AdvanceSlot(int index, float now);
};
