// .x meshes as they come from a game directory or a user's folder: text, binary and compressed forms.
#include "xfile.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    XMesh mesh;
    XLoadError error;
    if (LoadXFileFromMemory(data, size, mesh, error)) {
        // The invariants that the renderer relies on when it builds its buffers and draws the subsets.
        if (mesh.vertices.empty() || mesh.indices.size() % 3 != 0 || mesh.subsets.size() != mesh.materials.size())
            std::abort();
        std::size_t next = 0;
        for (const XSubset& s : mesh.subsets) {
            if (s.firstIndex != next)
                std::abort();
            next += std::size_t{s.faceCount} * 3;
        }
        if (next != mesh.indices.size())
            std::abort();
        for (std::uint32_t i : mesh.indices)
            if (i >= mesh.vertices.size())
                std::abort();
    } else if (error.reason.empty() || mesh.vertexCount() != 0) {
        std::abort();
    }
    return 0;
}
