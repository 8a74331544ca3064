// The texture loader: decodes JPEG, PNG, TGA, BMP and DDS images, keys out a
// colour, resamples to the requested size and builds the mip chain, producing
// the RGBA8 image the device turns into a texture.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/device/Device.h"

// An image as decoded: RGBA8, row 0 = top. `bits` holds the precision of the
// red, green, blue and alpha channels in the file (8 for a missing alpha
// channel, which decodes as opaque).
struct DecodedImage {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;
    std::array<uint8_t, 4> bits{8, 8, 8, 8};
};

// The largest width or height an image or texture may have.
constexpr uint32_t kMaxTextureSize = 16384;

// Throws ContentError naming `name` unless both sizes lie in 1 to kMaxTextureSize.
void CheckTextureSize(uint64_t width, uint64_t height, const std::string& name);

// Decodes an image file's bytes; the format is recognised from the contents.
// Throws ContentError naming `name` and what is wrong.
DecodedImage DecodeImage(std::string_view bytes, const std::string& name);

// The format of an image file's bytes, for people: "JPEG", "PNG", "TGA", "BMP",
// "DDS DXT1", "DDS 32-bit" and so on; "unknown" when none fits.
std::string ImageFormat(std::string_view bytes);

struct ImageSize {
    uint32_t width = 0;
    uint32_t height = 0;
};

// The size an image file claims, after every check DecodeImage makes before
// it decodes pixels (format, header, size against the file's length).
// Throws ContentError naming `name` and what is wrong.
ImageSize ReadImageSize(std::string_view bytes, const std::string& name);

// How a texture is made from an image; the values and their defaults are
// those of the D3DX texture creation call.
struct TextureOptions {
    uint32_t width = D3DX_DEFAULT;      // 0 or D3DX_DEFAULT: the image's, rounded up to a power of two
    uint32_t height = D3DX_DEFAULT;
    uint32_t mipLevels = D3DX_DEFAULT;  // 0 or D3DX_DEFAULT: a full chain down to 1 x 1
    DWORD filter = D3DX_DEFAULT;        // D3DX_FILTER_* for the resampling of level 0
    DWORD mipFilter = D3DX_DEFAULT;     // D3DX_FILTER_* for the mip levels
    D3DCOLOR colorKey = 0;              // ARGB texel value made transparent black; 0 = none
};

// Replaces every texel equal to `colorKey` (compared at the image's channel
// precision, as opaque ARGB when the image has no alpha) with transparent black.
void ApplyColorKey(DecodedImage& image, D3DCOLOR colorKey);

// Resamples one level to width x height with a D3DX_FILTER_* filter: POINT takes
// the nearest texel, NONE copies without scaling, every other filter averages
// (box over the covered area when reducing, bilinear when enlarging).
TextureLevel Resample(const TextureLevel& source, uint32_t width, uint32_t height, DWORD filter);

// Keys, resamples and builds the mip chain. Throws ContentError naming `name`
// when the requested size is unusable.
TextureImage BuildTexture(DecodedImage image, const TextureOptions& options, const std::string& name);
