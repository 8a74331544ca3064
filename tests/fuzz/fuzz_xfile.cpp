// The .x reader on arbitrary bytes: text, binary and compressed files alike.
// A malformed file must end in ContentError; anything else is a finding.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "base/Errors.h"
#include "platform/xfile/XFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const XMesh mesh = ParseXFile(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.x");
        // Every index and subset must stay inside what the mesh holds.
        const size_t vertices = mesh.geometry.vertices.size();
        for (uint32_t index : mesh.geometry.indices) {
            if (index >= vertices) __builtin_trap();
        }
        if (mesh.geometry.subsets.size() != mesh.materials.size()) __builtin_trap();
        for (const auto& ranges : mesh.geometry.subsets) {
            for (const IndexRange& r : ranges) {
                if (size_t(r.firstIndex) + r.indexCount > mesh.geometry.indices.size()) __builtin_trap();
            }
        }
    } catch (const ContentError&) {
    }
    return 0;
}
