// The mesh table and the mesh texture set.
#include <utility>

#include "base/paths.h"
#include "scene/scene.h"

HResult MeshTextureSet::LoadMeshTextures(GraphicsDevice& device, const std::string& directory) {
    entries.clear();
    refused = 0;
    for (const char* pattern : {"*.bmp", "*.tga"}) {
        for (const std::string& name : ListFiles(directory + pattern)) {
            // The table has room for 101 names; a folder with more images keeps the first ones in
            // name order rather than writing past the table.
            if (entries.size() >= static_cast<size_t>(MeshTextureCapacity) || name.size() > SceneNameLimit) {
                ++refused;
                continue;
            }
            std::unique_ptr<Texture> texture = device.CreateTextureFromFile(LocateGameFile(directory + name));
            if (!texture) continue;  // a file that does not load is simply not registered
            entries.push_back({name, std::move(texture)});
        }
    }
    return S_OK;
}

HResult MeshTextureSet::ReleaseMeshTextures() {
    entries.clear();
    return S_OK;
}

Texture* MeshTextureSet::Find(const std::string& name) const {
    for (const Entry& entry : entries)
        if (entry.name == name) return entry.texture.get();
    return nullptr;
}

MeshLibrary::MeshLibrary() {
    lookup = [this](const std::string& textureFile) -> Texture* {
        return textureFile.empty() ? nullptr : textures.Find(textureFile);
    };
}

void MeshLibrary::LoadAllMeshes(const std::string& directory) {
    entries.clear();
    for (const std::string& name : ListFiles(directory + "*.x")) LoadMesh(directory, name);
}

HResult MeshLibrary::LoadMesh(const std::string& directory, const std::string& fileName) {
    if (entries.size() >= static_cast<size_t>(MeshCapacity) || fileName.size() > SceneNameLimit)
        return E_FAIL;
    std::unique_ptr<Mesh> mesh = Mesh::LoadFromFile(LocateGameFile(directory + fileName));
    if (!mesh) return E_FAIL;
    return AddMesh(fileName, std::move(mesh));
}

HResult MeshLibrary::AddMesh(const std::string& fileName, std::unique_ptr<Mesh> mesh) {
    if (!mesh || entries.size() >= static_cast<size_t>(MeshCapacity) || fileName.size() > SceneNameLimit)
        return E_FAIL;
    entries.push_back({fileName, std::move(mesh)});
    return S_OK;
}

const Mesh* MeshLibrary::FindMesh(const std::string& fileName) const {
    for (const Entry& entry : entries)
        if (entry.fileName == fileName) return entry.mesh.get();
    return nullptr;
}

HResult MeshLibrary::DrawMesh(GraphicsDevice& device, const Mesh* mesh) const {
    if (!mesh) return E_FAIL;
    const HResult unbind = device.SetTexture(0, nullptr);
    if (Failed(unbind)) return unbind;
    return RenderMesh(device, *mesh, lookup);
}

HResult MeshLibrary::DrawMeshInstanced(GraphicsDevice& device, const Mesh* mesh,
                                       std::span<const Matrix> worlds) const {
    if (!mesh) return E_FAIL;
    if (worlds.empty()) return S_OK;
    const HResult unbind = device.SetTexture(0, nullptr);
    if (Failed(unbind)) return unbind;
    return RenderMesh(device, *mesh, lookup, worlds);
}

void MeshLibrary::ReleaseMeshes() {
    entries.clear();
}
