#include "platform/mesh.h"

#include <atomic>
#include <map>

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include "platform/image_loader.h"

namespace {

// Meshes beyond these sizes are not game assets; refusing them keeps a broken file from eating memory.
constexpr size_t MaxMeshFileBytes = 64u << 20;
constexpr size_t MaxMeshVertices = 1000000;

ColourValue ReadColour(const aiMaterial& material, const char* key, unsigned type, unsigned index,
                       const ColourValue& fallback) {
    aiColor4D colour;
    if (material.Get(key, type, index, colour) != AI_SUCCESS) return fallback;
    return {colour.r, colour.g, colour.b, colour.a};
}

std::string BareFileName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

MeshMaterial ReadMaterial(const aiMaterial& material) {
    MeshMaterial result;
    result.diffuse = ReadColour(material, AI_MATKEY_COLOR_DIFFUSE, {1, 1, 1, 1});
    result.specular = ReadColour(material, AI_MATKEY_COLOR_SPECULAR, {0, 0, 0, 1});
    result.emissive = ReadColour(material, AI_MATKEY_COLOR_EMISSIVE, {0, 0, 0, 1});
    float power = 0;
    if (material.Get(AI_MATKEY_SHININESS, power) == AI_SUCCESS) result.power = power;
    aiString texture;
    if (material.GetTextureCount(aiTextureType_DIFFUSE) > 0 &&
        material.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS)
        result.textureFile = BareFileName(texture.C_Str());
    return result;
}

}  // namespace

std::shared_ptr<const uint64_t> Mesh::NewCacheToken() {
    static std::atomic<uint64_t> next{1};
    return std::make_shared<const uint64_t>(next++);
}

std::unique_ptr<Mesh> Mesh::LoadFromFile(const std::string& nativePath) {
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(nativePath, MaxMeshFileBytes, bytes, error)) return nullptr;
    return LoadFromMemory(bytes);
}

std::unique_ptr<Mesh> Mesh::LoadFromMemory(std::span<const uint8_t> bytes) {
    if (bytes.empty() || bytes.size() > MaxMeshFileBytes) return nullptr;
    // The file's own left-handed coordinates, clockwise winding and top-down texture rows are kept;
    // frame transforms are baked into the vertices.
    const unsigned flags = aiProcess_ConvertToLeftHanded | aiProcess_Triangulate | aiProcess_PreTransformVertices |
                           aiProcess_ValidateDataStructure;
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    try {
        scene = importer.ReadFileFromMemory(bytes.data(), bytes.size(), flags, "x");
    } catch (...) {
        return nullptr;
    }
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mMeshes || scene->mNumMeshes == 0)
        return nullptr;

    size_t totalVertices = 0;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) totalVertices += scene->mMeshes[m]->mNumVertices;
    if (totalVertices == 0 || totalVertices > MaxMeshVertices) return nullptr;

    auto mesh = std::make_unique<Mesh>();
    // One subset per material, in the order the materials first appear.
    std::map<unsigned, size_t> subsetOfMaterial;
    for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
        const aiMesh& source = *scene->mMeshes[m];
        if (!source.mVertices || source.mNumVertices == 0) continue;
        auto [entry, added] = subsetOfMaterial.try_emplace(source.mMaterialIndex, mesh->subsets.size());
        if (added) {
            MeshSubset subset;
            if (scene->mMaterials && source.mMaterialIndex < scene->mNumMaterials)
                subset.material = ReadMaterial(*scene->mMaterials[source.mMaterialIndex]);
            else
                subset.material.diffuse = {1, 1, 1, 1};
            mesh->subsets.push_back(std::move(subset));
        }
        MeshSubset& subset = mesh->subsets[entry->second];
        const size_t base = subset.vertices.size();
        const aiVector3D* uv = source.mTextureCoords[0];
        for (unsigned v = 0; v < source.mNumVertices; ++v) {
            MeshVertex vertex{};
            vertex.x = source.mVertices[v].x;
            vertex.y = source.mVertices[v].y;
            vertex.z = source.mVertices[v].z;
            if (source.mNormals) {
                vertex.nx = source.mNormals[v].x;
                vertex.ny = source.mNormals[v].y;
                vertex.nz = source.mNormals[v].z;
            }
            if (uv) {
                vertex.u = uv[v].x;
                vertex.v = uv[v].y;
            }
            subset.vertices.push_back(vertex);
        }
        for (unsigned f = 0; f < source.mNumFaces; ++f) {
            const aiFace& face = source.mFaces[f];
            // Points and lines have no surface to draw.
            if (face.mNumIndices != 3 || !face.mIndices) continue;
            if (face.mIndices[0] >= source.mNumVertices || face.mIndices[1] >= source.mNumVertices ||
                face.mIndices[2] >= source.mNumVertices)
                return nullptr;
            for (int i = 0; i < 3; ++i) subset.indices.push_back(uint32_t(base + face.mIndices[i]));
        }
    }
    // Subsets without a single triangle draw nothing; leave them out.
    std::erase_if(mesh->subsets, [](const MeshSubset& subset) { return subset.indices.empty(); });
    if (mesh->subsets.empty()) return nullptr;
    return mesh;
}

HResult RenderMesh(GraphicsDevice& device, const Mesh& mesh, const MeshTextureLookup& lookup,
                   std::span<const Matrix> worlds) {
    HResult result = device.SetTexture(0, nullptr);
    if (Failed(result)) return result;

    const Material savedMaterial = device.GetMaterial();
    Texture* const savedTexture = device.GetTexture(0);
    Matrix savedWorld;
    device.GetTransform(TransformKind::World, savedWorld);
    const uint32_t savedBlend = device.GetRenderState(RenderState::AlphaBlendEnable);
    const uint32_t savedSource = device.GetRenderState(RenderState::SrcBlend);
    const uint32_t savedDestination = device.GetRenderState(RenderState::DestBlend);

    const auto& subsets = mesh.Subsets();
    auto drawSubset = [&](size_t index) {
        const MeshSubset& subset = subsets[index];
        Material material;
        material.diffuse = subset.material.diffuse;
        material.ambient = subset.material.diffuse;
        material.specular = subset.material.specular;
        material.emissive = subset.material.emissive;
        material.power = subset.material.power;
        device.SetMaterial(material);
        Texture* texture = nullptr;
        if (!subset.material.textureFile.empty() && lookup) texture = lookup(subset.material.textureFile);
        device.SetTexture(0, texture);
        const HResult drawn =
            device.DrawStaticIndexed(mesh.CacheToken(), index, subset.vertices, subset.indices, worlds);
        if (Failed(drawn) && !Failed(result)) result = drawn;
    };

    // Opaque subsets first, under the caller's blending; then the see-through ones blended over them.
    bool anyTransparent = false;
    for (size_t i = 0; i < subsets.size(); ++i) {
        if (subsets[i].material.diffuse.a < 1.0f)
            anyTransparent = true;
        else
            drawSubset(i);
    }
    if (anyTransparent) {
        device.SetRenderState(RenderState::AlphaBlendEnable, 1);
        device.SetRenderState(RenderState::SrcBlend, BlendSrcAlpha);
        device.SetRenderState(RenderState::DestBlend, BlendInvSrcAlpha);
        for (size_t i = 0; i < subsets.size(); ++i)
            if (subsets[i].material.diffuse.a < 1.0f) drawSubset(i);
    }

    device.SetMaterial(savedMaterial);
    device.SetTexture(0, savedTexture);
    device.SetTransform(TransformKind::World, savedWorld);
    device.SetRenderState(RenderState::AlphaBlendEnable, savedBlend);
    device.SetRenderState(RenderState::SrcBlend, savedSource);
    device.SetRenderState(RenderState::DestBlend, savedDestination);
    return result;
}
