// Any bytes handed to the mesh loader either give a mesh whose every subset indexes only its own
// vertices in whole triangles, or no mesh. A file the .x check passes must also load: the check exists
// to hand the importer only what it reads correctly, so a passed file that the importer refuses (or
// leaks on, which the leak checker reports) means the check and the importer read it differently.
#include <cstdlib>
#include <string>

#include "device/mesh.h"
#include "device/xfile_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    auto mesh = Mesh::LoadFromMemory(bytes);
    std::string reason;
    const bool passed = CheckXFile(bytes, reason);
    if (passed != (mesh != nullptr)) std::abort();
    if (!mesh) return 0;
    if (mesh->Subsets().empty()) std::abort();
    for (const MeshSubset& subset : static_cast<const Mesh&>(*mesh).Subsets()) {
        if (subset.indices.empty() || subset.indices.size() % 3 != 0) std::abort();
        for (uint32_t index : subset.indices)
            if (index >= subset.vertices.size()) std::abort();
    }
    return 0;
}
