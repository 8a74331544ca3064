// The texture loader's JPEG and TGA paths (and whatever else the image
// decoder recognises) with the colour key and resampling. The first eight
// bytes choose the options; the rest is the file.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "base/Errors.h"
#include "platform/texture/TextureLoader.h"

namespace {

constexpr size_t kOptionBytes = 8;

DWORD Filter(uint8_t selector) {
    static constexpr DWORD kFilters[] = {D3DX_DEFAULT,        D3DX_FILTER_NONE, D3DX_FILTER_POINT,
                                         D3DX_FILTER_LINEAR,  D3DX_FILTER_TRIANGLE, D3DX_FILTER_BOX};
    return kFilters[selector % (sizeof kFilters / sizeof kFilters[0])];
}

// 0: the image's own size rounded up; otherwise a power of two up to 256
// (larger sizes only make each run slower, not the code paths different).
uint32_t Size(uint8_t selector) { return selector % 10 == 0 ? D3DX_DEFAULT : 1u << (selector % 10 - 1); }

// Images above this many texels are decoded but not built into textures, and
// headers claiming more than kLargestDecoded are not decoded: at full size
// that takes seconds and gigabytes per run and reaches no other code.
constexpr uint64_t kLargestBuilt = 512 * 512;
constexpr uint64_t kLargestDecoded = 2048 * 2048;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kOptionBytes) return 0;
    TextureOptions options;
    options.filter = Filter(data[0]);
    options.mipFilter = Filter(data[1]);
    options.width = Size(data[2]);
    options.height = Size(data[3]);
    options.mipLevels = data[4] & 0x10 ? D3DX_DEFAULT : (data[4] & 0x0F);
    // The key's alpha comes from the file's bytes too, so both opaque keys
    // (the demo's magenta) and translucent ones are tried.
    options.colorKey = D3DCOLOR(data[4] & 0x20 ? 0xFF000000u : uint32_t(data[5]) << 24) |
                       (uint32_t(data[5]) << 16) | (uint32_t(data[6]) << 8) | data[7];
    const std::string_view bytes(reinterpret_cast<const char*>(data) + kOptionBytes, size - kOptionBytes);
    // DDS files belong to their own target.
    if (bytes.substr(0, 4) == "DDS ") return 0;
    try {
        // The loader's own checks come first, as in the demo: formats it
        // refuses never reach the decoder's header readers.
        const ImageSize claimed = ReadImageSize(bytes, "fuzz.img");
        if (uint64_t(claimed.width) * claimed.height > kLargestDecoded) return 0;
        DecodedImage image = DecodeImage(bytes, "fuzz.img");
        if (image.rgba.size() != size_t(image.width) * image.height * 4) __builtin_trap();
        if (uint64_t(image.width) * image.height > kLargestBuilt) return 0;
        const TextureImage texture = BuildTexture(std::move(image), options, "fuzz.img");
        for (const TextureLevel& level : texture.levels) {
            if (level.rgba.size() != size_t(level.width) * level.height * 4) __builtin_trap();
        }
    } catch (const ContentError&) {
    }
    return 0;
}
