// Any bytes handed to the mesh loader either give a mesh whose every subset indexes only its own
// vertices in whole triangles, or no mesh.
#include <cmath>
#include <cstdlib>

#include "platform/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto mesh = Mesh::LoadFromMemory(std::span<const uint8_t>(data, size));
    if (!mesh) return 0;
    if (mesh->Subsets().empty()) std::abort();
    for (const MeshSubset& subset : static_cast<const Mesh&>(*mesh).Subsets()) {
        if (subset.indices.empty() || subset.indices.size() % 3 != 0) std::abort();
        for (uint32_t index : subset.indices)
            if (index >= subset.vertices.size()) std::abort();
    }
    return 0;
}
