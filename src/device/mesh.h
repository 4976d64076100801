// Meshes read from DirectX .x files (text or binary) through Assimp, in the file's own left-handed
// coordinates, winding and frame transforms (baked into the vertices). One subset per material. Meshes
// do not depend on the device: they are loaded once and survive device changes; the device keeps
// whatever GPU copies it needs. RenderMesh draws the opaque subsets first, then those whose material
// carries alpha, blended (source alpha, inverse source alpha), and restores the device state.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/device.h"

struct MeshMaterial {
    ColourValue diffuse;  // with alpha; also used as the ambient colour
    float power = 0;
    ColourValue specular;
    ColourValue emissive;
    std::string textureFile;  // bare file name as the material names it, "" for none
};

struct MeshSubset {
    MeshMaterial material;
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;  // triangle list
};

class Mesh {
public:
    // nullptr when the file is missing or not a readable mesh; reason then says why.
    static std::unique_ptr<Mesh> LoadFromFile(const std::string& nativePath);
    static std::unique_ptr<Mesh> LoadFromFile(const std::string& nativePath, std::string& reason);
    static std::unique_ptr<Mesh> LoadFromMemory(std::span<const uint8_t> bytes);
    static std::unique_ptr<Mesh> LoadFromMemory(std::span<const uint8_t> bytes, std::string& reason);

    const std::vector<MeshSubset>& Subsets() const { return subsets; }
    // Write access counts as a change: the device's GPU copy of the old geometry is dropped and the next
    // draw uploads the subsets again. Read through a const Mesh to keep the copy.
    std::vector<MeshSubset>& Subsets() {
        cacheToken = NewCacheToken();
        return subsets;
    }

    // Identifies this mesh's current geometry to the device (see GraphicsDevice::DrawStaticIndexed);
    // the value is unique for the whole run and never reused.
    const std::shared_ptr<const uint64_t>& CacheToken() const { return cacheToken; }

private:
    static std::shared_ptr<const uint64_t> NewCacheToken();

    std::vector<MeshSubset> subsets;
    std::shared_ptr<const uint64_t> cacheToken = NewCacheToken();
};

// Resolves a material's texture file name to a loaded texture (nullptr: drawn untextured).
using MeshTextureLookup = std::function<Texture*(const std::string& textureFile)>;

// Draws the mesh under the device's current world transform (or once per matrix of worlds, in one
// call per subset, when worlds is not empty). Restores material, stage-0 texture, world transform and
// the blending states afterwards.
HResult RenderMesh(GraphicsDevice& device, const Mesh& mesh, const MeshTextureLookup& lookup,
                   std::span<const Matrix> worlds = {});
