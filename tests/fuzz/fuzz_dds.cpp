// The DDS reader: compressed (DXT1/3/5) and uncompressed pixel formats, then
// the texture build at the image's own size.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "base/Errors.h"
#include "platform/texture/TextureLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Other formats belong to the texture target.
    if (bytes.substr(0, 4) != "DDS ") return 0;
    try {
        DecodedImage image = DecodeImage(bytes, "fuzz.dds");
        if (image.rgba.size() != size_t(image.width) * image.height * 4) __builtin_trap();
        // Large images reach no other code when built, only slower.
        if (uint64_t(image.width) * image.height > 512 * 512) return 0;
        TextureOptions options;
        options.mipLevels = 2;
        BuildTexture(std::move(image), options, "fuzz.dds");
    } catch (const ContentError&) {
    }
    return 0;
}
