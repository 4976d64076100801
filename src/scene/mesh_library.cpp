// The mesh table and the mesh texture set.
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/paths.h"
#include "persist/log.h"
#include "scene/scene.h"

HResult MeshTextureSet::LoadMeshTextures(GraphicsDevice& loadDevice, const std::string& directory) {
    entries.clear();
    refused = 0;
    device = &loadDevice;
    for (const char* pattern : {"*.bmp", "*.tga"}) {
        for (const std::string& name : ListFiles(directory + pattern)) {
            // The table has room for 101 names; a folder with more images keeps the first ones in
            // name order rather than writing past the table.
            if (entries.size() >= static_cast<size_t>(MeshTextureCapacity) || name.size() > SceneNameLimit) {
                ++refused;
                continue;
            }
            const std::string path = directory + name;
            if (!device->CheckTextureFile(LocateGameFile(path))) {
                // Not registered: a mesh whose material names it is drawn without it.
                const std::string reason = device->TextureLoadProblem();
                WriteLog("Mesh texture loading: '" + path + "' ... FAILED" +
                             (reason.empty() ? "" : " (" + reason + ")"),
                         LogTimeStamp);
                continue;
            }
            const std::string problem = device->TextureLoadProblem();
            if (!problem.empty())
                WriteLog("Mesh texture '" + path + "': " + problem, LogTimeStamp | LogWarning);
            entries.push_back({name, path, nullptr});
        }
    }
    return S_OK;
}

HResult MeshTextureSet::ReleaseMeshTextures() {
    entries.clear();
    device = nullptr;
    return S_OK;
}

Texture* MeshTextureSet::Find(const std::string& name) {
    for (Entry& entry : entries) {
        if (entry.name != name) continue;
        if (!entry.texture && !entry.failed && device) {
            entry.texture = device->CreateTextureFromFile(LocateGameFile(entry.path));
            if (!entry.texture) {
                // The file changed since the folder was read; the mesh is drawn without it.
                entry.failed = true;
                const std::string reason = device->TextureLoadProblem();
                WriteLog("Mesh texture loading: '" + entry.path + "' ... FAILED" +
                             (reason.empty() ? "" : " (" + reason + ")"),
                         LogTimeStamp);
            }
        }
        return entry.texture.get();
    }
    return nullptr;
}

MeshLibrary::MeshLibrary() {
    lookup = [this](const std::string& textureFile) -> Texture* {
        if (textureFile.empty()) return nullptr;
        Texture* texture = textures.Find(textureFile);
        if (!texture && missingTextures.insert(textureFile).second)
            WriteLog("Mesh texture '" + textureFile + "' named by a mesh is not loaded; drawn without it",
                     LogTimeStamp);
        return texture;
    };
}

void MeshLibrary::LoadAllMeshes(const std::string& directory) {
    entries.clear();
    failedFiles.clear();
    for (const std::string& name : ListFiles(directory + "*.x")) LoadMesh(directory, name);
}

HResult MeshLibrary::LoadMesh(const std::string& directory, const std::string& fileName) {
    std::string reason;
    std::unique_ptr<Mesh> mesh;
    if (entries.size() >= static_cast<size_t>(MeshCapacity))
        reason = "the mesh table is full (" + std::to_string(MeshCapacity) + " meshes)";
    else if (fileName.size() > SceneNameLimit)
        reason = "name longer than " + std::to_string(SceneNameLimit) + " characters";
    else
        mesh = Mesh::LoadFromFile(LocateGameFile(directory + fileName), reason);
    if (!mesh) {
        // What is drawn with this mesh (cells of one colour, the glass, a bonus item) stays invisible.
        WriteLog("Mesh loading: '" + directory + fileName + "' ... FAILED (" + reason + ")", LogTimeStamp);
        failedFiles.insert(fileName);
        return E_FAIL;
    }
    return AddMesh(fileName, std::move(mesh));
}

void MeshLibrary::ReportMissing(const std::string& directory, const std::vector<std::string>& fileNames) {
    for (const std::string& name : fileNames) {
        if (FindMesh(name) || failedFiles.contains(name)) continue;
        const std::string path = LocateGameFile(directory + name);
        struct stat st {};
        const std::string reason = ::stat(path.c_str(), &st) != 0 ? std::strerror(errno)
                                   : !S_ISREG(st.st_mode)         ? "not a regular file"
                                                                  : "not loaded";
        WriteLog("Mesh loading: '" + directory + name + "' ... FAILED (" + reason + ")", LogTimeStamp);
        failedFiles.insert(name);
    }
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
