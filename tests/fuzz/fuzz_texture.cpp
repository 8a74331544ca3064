// The texture loader's JPEG and TGA paths (and whatever else the image
// decoder recognises) with the colour key and resampling. The first eight
// bytes choose the options; the rest is the file.
#include <stb_image.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>

#include "common/Errors.h"
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

// The size an image's header claims, read without the decoder for JPEG (whose
// header reading the loader guards) and with it for the other formats.
uint64_t ClaimedTexels(std::string_view bytes) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    if (!bytes.empty() && uint8_t(bytes[0]) == 0xFF) {
        uint64_t largest = 0;
        for (size_t p = 2; p + 9 <= bytes.size(); ++p) {
            if (b[p] == 0xFF && b[p + 1] >= 0xC0 && b[p + 1] <= 0xCF && b[p + 1] != 0xC4 && b[p + 1] != 0xC8 &&
                b[p + 1] != 0xCC) {
                const uint64_t height = (uint64_t(b[p + 5]) << 8) | b[p + 6], width = (uint64_t(b[p + 7]) << 8) | b[p + 8];
                largest = std::max(largest, width * height);
            }
        }
        return largest;
    }
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(b, int(bytes.size()), &w, &h, &channels)) return 0;
    return uint64_t(std::max(w, 0)) * uint64_t(std::max(h, 0));
}

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
    if (ClaimedTexels(bytes) > kLargestDecoded) return 0;
    try {
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
