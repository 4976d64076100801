#include "device/mesh.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>
#include <atomic>
#include <cmath>
#include <map>

#include "device/image_loader.h"
#include "device/xfile_check.h"

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
    std::string reason;
    return LoadFromFile(nativePath, reason);
}

std::unique_ptr<Mesh> Mesh::LoadFromFile(const std::string& nativePath, std::string& reason) {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(nativePath, MaxMeshFileBytes, bytes, reason)) return nullptr;
    return LoadFromMemory(bytes, reason);
}

std::unique_ptr<Mesh> Mesh::LoadFromMemory(std::span<const uint8_t> bytes) {
    std::string reason;
    return LoadFromMemory(bytes, reason);
}

namespace {

// Frames nest; a file nesting deeper than this is not a model.
constexpr int MaxFrameDepth = 256;

// The importer hands the scene over converted to right-handed axes (z negated, windings reversed,
// v flipped, frame matrices conjugated to match). Converting back here rather than in the library's
// post-processing keeps the file's own numbers and, as a malformed file can trip asserts in those steps
// that end the process, keeps a broken asset from taking the game down.
struct SceneBaker {
    const aiScene& scene;
    std::map<unsigned, size_t> subsetOfMaterial;
    std::vector<MeshSubset>& subsets;
    size_t vertexCount = 0;
    bool failed = false;

    void Walk(const aiNode& node, const aiMatrix4x4& parent, int depth) {
        if (failed) return;
        if (depth > MaxFrameDepth) {
            failed = true;
            return;
        }
        const aiMatrix4x4 transform = parent * node.mTransformation;
        for (unsigned i = 0; i < node.mNumMeshes && !failed; ++i) {
            if (!node.mMeshes || node.mMeshes[i] >= scene.mNumMeshes || !scene.mMeshes[node.mMeshes[i]]) {
                failed = true;
                return;
            }
            Bake(*scene.mMeshes[node.mMeshes[i]], transform);
        }
        for (unsigned i = 0; i < node.mNumChildren && !failed; ++i)
            if (node.mChildren && node.mChildren[i]) Walk(*node.mChildren[i], transform, depth + 1);
    }

    void Bake(const aiMesh& source, const aiMatrix4x4& transform) {
        if (!source.mVertices || source.mNumVertices == 0 || !source.mFaces) return;
        vertexCount += source.mNumVertices;
        if (vertexCount > MaxMeshVertices) {
            failed = true;
            return;
        }
        auto [entry, added] = subsetOfMaterial.try_emplace(source.mMaterialIndex, subsets.size());
        if (added) {
            MeshSubset subset;
            if (scene.mMaterials && source.mMaterialIndex < scene.mNumMaterials &&
                scene.mMaterials[source.mMaterialIndex])
                subset.material = ReadMaterial(*scene.mMaterials[source.mMaterialIndex]);
            else
                subset.material.diffuse = {1, 1, 1, 1};
            subsets.push_back(std::move(subset));
        }
        MeshSubset& subset = subsets[entry->second];
        aiMatrix3x3 normalMatrix(transform);
        if (std::abs(normalMatrix.Determinant()) > 1e-20f) normalMatrix.Inverse().Transpose();
        const bool rigid = normalMatrix == aiMatrix3x3();
        const size_t base = subset.vertices.size();
        const aiVector3D* uv = source.mTextureCoords[0];
        for (unsigned v = 0; v < source.mNumVertices; ++v) {
            const aiVector3D position = transform * source.mVertices[v];
            MeshVertex vertex{};
            vertex.x = position.x;
            vertex.y = position.y;
            vertex.z = -position.z;
            if (source.mNormals) {
                aiVector3D normal = source.mNormals[v];
                if (!rigid) {
                    normal = normalMatrix * normal;
                    if (normal.SquareLength() > 0) normal.Normalize();
                }
                vertex.nx = normal.x;
                vertex.ny = normal.y;
                vertex.nz = -normal.z;
            }
            if (uv) {
                vertex.u = uv[v].x;
                vertex.v = 1.0f - uv[v].y;
            }
            subset.vertices.push_back(vertex);
        }
        for (unsigned f = 0; f < source.mNumFaces; ++f) {
            const aiFace& face = source.mFaces[f];
            // Points and lines have no surface to draw.
            if (face.mNumIndices < 3 || !face.mIndices) continue;
            for (unsigned i = 0; i < face.mNumIndices; ++i)
                if (face.mIndices[i] >= source.mNumVertices) {
                    failed = true;
                    return;
                }
            // The file's corner order is the reverse of the importer's; polygons become fans.
            auto corner = [&](unsigned i) {
                return uint32_t(base + face.mIndices[face.mNumIndices - 1 - i]);
            };
            for (unsigned i = 1; i + 1 < face.mNumIndices; ++i) {
                subset.indices.push_back(corner(0));
                subset.indices.push_back(corner(i));
                subset.indices.push_back(corner(i + 1));
            }
            if (subset.indices.size() > 3 * MaxMeshVertices) {
                failed = true;
                return;
            }
        }
    }
};

}  // namespace

std::unique_ptr<Mesh> Mesh::LoadFromMemory(std::span<const uint8_t> bytes, std::string& reason) {
    // The importer's .x reader trusts what it reads (a count sizes an array before the elements are read, an
    // unknown object inside a material reaches a null pointer), so a file is handed over only once its whole
    // structure has been checked here.
    std::vector<uint8_t> importable;
    if (bytes.empty()) {
        reason = "empty file";
        return nullptr;
    }
    if (bytes.size() > MaxMeshFileBytes) {
        reason = "file too large";
        return nullptr;
    }
    if (!PrepareXFileForImport(bytes, importable, reason)) return nullptr;
    Assimp::Importer importer;
    const aiScene* scene = nullptr;
    try {
        scene = importer.ReadFileFromMemory(importable.data(), importable.size(),
                                            aiProcess_ValidateDataStructure, "x");
    } catch (...) {
        reason = "the mesh reader gave up on it";
        return nullptr;
    }
    if (!scene || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) || !scene->mMeshes || scene->mNumMeshes == 0 ||
        !scene->mRootNode) {
        const char* error = importer.GetErrorString();
        reason =
            error && *error ? std::string("the mesh reader refused it: ") + error : "no mesh in the file";
        return nullptr;
    }

    auto mesh = std::make_unique<Mesh>();
    // One subset per material, in the order the materials first appear in the frame tree.
    SceneBaker baker{*scene, {}, mesh->subsets};
    baker.Walk(*scene->mRootNode, aiMatrix4x4(), 0);
    if (baker.failed) {
        reason = "frames nested too deep, too many vertices or a face outside its vertex list";
        return nullptr;
    }
    // Subsets without a single triangle draw nothing; leave them out.
    std::erase_if(mesh->subsets, [](const MeshSubset& subset) { return subset.indices.empty(); });
    if (mesh->subsets.empty()) {
        reason = "no triangle to draw";
        return nullptr;
    }
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
