// Textures from decoded images: colour key, resampling to the requested
// size and the mip chain.
#include "platform/texture/TextureLoader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

// Bilinear sampling along one axis: destination texel i falls between source
// texels i0 and i1 (clamped at the edges), `frac` of the way to i1.
struct BilinearPosition {
    uint32_t i0, i1;
    double frac;
};

BilinearPosition Bilinear(uint32_t i, double scale, uint32_t src) {
    const double centre = (i + 0.5) * scale - 0.5;
    const double base = std::floor(centre);
    return {uint32_t(std::clamp<int64_t>(int64_t(base), 0, src - 1)),
            uint32_t(std::clamp<int64_t>(int64_t(base) + 1, 0, src - 1)), centre - base};
}

// Per destination texel along one axis: the source texels and their weights.
struct Taps {
    std::vector<uint32_t> first;  // dst + 1 offsets into index/weight
    std::vector<uint32_t> index;
    std::vector<float> weight;
};

Taps MakeTaps(uint32_t src, uint32_t dst) {
    Taps t;
    t.first.reserve(dst + 1);
    const double scale = double(src) / dst;
    for (uint32_t i = 0; i < dst; ++i) {
        t.first.push_back(uint32_t(t.index.size()));
        if (dst < src) {
            // Reduction: average the source texels the destination texel covers.
            const double x0 = i * scale, x1 = (i + 1) * scale;
            for (uint32_t j = uint32_t(x0); j < src && j < x1; ++j) {
                const double overlap = std::min<double>(x1, j + 1) - std::max<double>(x0, j);
                if (overlap <= 0) continue;
                t.index.push_back(j);
                t.weight.push_back(float(overlap / scale));
            }
        } else {
            // Enlargement: bilinear between the two nearest texel centres.
            const BilinearPosition b = Bilinear(i, scale, src);
            const float frac = float(b.frac);
            t.index.push_back(b.i0);
            t.weight.push_back(1.0f - frac);
            t.index.push_back(b.i1);
            t.weight.push_back(frac);
        }
    }
    t.first.push_back(uint32_t(t.index.size()));
    return t;
}

uint8_t ToByte(float v) { return uint8_t(std::clamp(v + 0.5f, 0.0f, 255.0f)); }

// Exact halving (a side of 1 stays 1): each texel the rounded mean of the
// texels it covers, the same result as the general averaging path.
TextureLevel Halve(const TextureLevel& source, uint32_t width, uint32_t height) {
    TextureLevel out;
    out.width = width;
    out.height = height;
    out.rgba.resize(size_t(width) * height * 4);
    const uint32_t sx = source.width / width, sy = source.height / height;
    const uint32_t count = sx * sy;
    const size_t stride = size_t(source.width) * 4;
    if (count == 4) {
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* __restrict r0 = &source.rgba[size_t(y) * 2 * stride];
            const uint8_t* __restrict r1 = r0 + stride;
            uint8_t* __restrict d = &out.rgba[size_t(y) * width * 4];
            for (uint32_t x = 0; x < width; ++x, d += 4, r0 += 8, r1 += 8) {
                for (int k = 0; k < 4; ++k) d[k] = uint8_t((r0[k] + r0[k + 4] + r1[k] + r1[k + 4] + 2) >> 2);
            }
        }
        return out;
    }
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* row0 = &source.rgba[size_t(y) * sy * stride];
        const uint8_t* row1 = row0 + (sy - 1) * stride;
        uint8_t* d = &out.rgba[size_t(y) * width * 4];
        for (uint32_t x = 0; x < width; ++x, d += 4) {
            const uint8_t* a = row0 + size_t(x) * sx * 4;
            const uint8_t* b = a + (sx - 1) * 4;
            const uint8_t* c = row1 + size_t(x) * sx * 4;
            // One or two texels: 2 x 2 blocks took the loop above.
            for (int k = 0; k < 4; ++k) {
                const uint32_t sum = uint32_t(a[k]) + (sx > 1 ? b[k] : c[k]);
                d[k] = uint8_t(count == 1 ? a[k] : (sum + count / 2) / count);
            }
        }
    }
    return out;
}

// Bilinear enlargement in 8-bit fixed point: every destination texel blends
// the two nearest source texel centres on each axis, clamped at the edges.
struct LinearTap {
    uint32_t i0, i1;
    uint32_t f;  // weight of i1, 0..256
};

std::vector<LinearTap> LinearTaps(uint32_t src, uint32_t dst) {
    std::vector<LinearTap> taps(dst);
    const double scale = double(src) / dst;
    for (uint32_t i = 0; i < dst; ++i) {
        const BilinearPosition b = Bilinear(i, scale, src);
        taps[i] = {b.i0, b.i1, uint32_t(std::lround(b.frac * 256))};
    }
    return taps;
}

TextureLevel Enlarge(const TextureLevel& source, uint32_t width, uint32_t height) {
    const uint32_t sw = source.width, sh = source.height;
    const std::vector<LinearTap> tx = LinearTaps(sw, width), ty = LinearTaps(sh, height);
    // Rows first, keeping 8 extra bits of precision.
    std::vector<uint16_t> rows(size_t(width) * sh * 4);
    for (uint32_t y = 0; y < sh; ++y) {
        const uint8_t* __restrict srow = &source.rgba[size_t(y) * sw * 4];
        uint16_t* __restrict drow = &rows[size_t(y) * width * 4];
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* a = srow + size_t(tx[x].i0) * 4;
            const uint8_t* b = srow + size_t(tx[x].i1) * 4;
            const uint32_t f = tx[x].f, g = 256 - f;
            for (int c = 0; c < 4; ++c) drow[x * 4 + c] = uint16_t(a[c] * g + b[c] * f);
        }
    }
    TextureLevel out;
    out.width = width;
    out.height = height;
    out.rgba.resize(size_t(width) * height * 4);
    for (uint32_t y = 0; y < height; ++y) {
        const uint16_t* __restrict r0 = &rows[size_t(ty[y].i0) * width * 4];
        const uint16_t* __restrict r1 = &rows[size_t(ty[y].i1) * width * 4];
        const uint32_t f = ty[y].f, g = 256 - f;
        uint8_t* __restrict d = &out.rgba[size_t(y) * width * 4];
        for (size_t k = 0; k < size_t(width) * 4; ++k) d[k] = uint8_t((r0[k] * g + r1[k] * f + 32768) >> 16);
    }
    return out;
}

}  // namespace

void ApplyColorKey(DecodedImage& image, D3DCOLOR colorKey) {
    if (colorKey == 0) return;
    const uint8_t key[4] = {uint8_t(colorKey >> 16), uint8_t(colorKey >> 8), uint8_t(colorKey), uint8_t(colorKey >> 24)};
    uint8_t shift[4];
    uint8_t quantised[4];
    for (int c = 0; c < 4; ++c) {
        shift[c] = uint8_t(8 - std::clamp<int>(image.bits[c], 1, 8));
        quantised[c] = uint8_t(key[c] >> shift[c]);
    }
    uint8_t* px = image.rgba.data();
    const size_t count = size_t(image.width) * image.height;
    for (size_t i = 0; i < count; ++i, px += 4) {
        if ((px[0] >> shift[0]) == quantised[0] && (px[1] >> shift[1]) == quantised[1] &&
            (px[2] >> shift[2]) == quantised[2] && (px[3] >> shift[3]) == quantised[3]) {
            std::memset(px, 0, 4);
        }
    }
}

TextureLevel Resample(const TextureLevel& source, uint32_t width, uint32_t height, DWORD filter) {
    const uint32_t sw = source.width, sh = source.height;
    const DWORD kind = filter & 0xFFFF;
    if (sw == width && sh == height) return source;
    const bool halvesX = sw == width * 2 || (sw == 1 && width == 1);
    const bool halvesY = sh == height * 2 || (sh == 1 && height == 1);
    if (kind != D3DX_FILTER_NONE && kind != D3DX_FILTER_POINT) {
        if (halvesX && halvesY) return Halve(source, width, height);
        if (width >= sw && height >= sh) return Enlarge(source, width, height);
    }
    TextureLevel out;
    out.width = width;
    out.height = height;
    out.rgba.assign(size_t(width) * height * 4, 0);
    if (kind == D3DX_FILTER_NONE) {
        // No scaling: the image keeps its size; the rest is transparent black.
        for (uint32_t y = 0; y < std::min(sh, height); ++y) {
            std::memcpy(&out.rgba[size_t(y) * width * 4], &source.rgba[size_t(y) * sw * 4],
                        size_t(std::min(sw, width)) * 4);
        }
        return out;
    }
    if (kind == D3DX_FILTER_POINT) {
        std::vector<uint32_t> xs(width);
        for (uint32_t x = 0; x < width; ++x) {
            xs[x] = std::min<uint32_t>(sw - 1, uint32_t((uint64_t(2 * x + 1) * sw) / (2 * uint64_t(width))));
        }
        for (uint32_t y = 0; y < height; ++y) {
            const uint32_t sy = std::min<uint32_t>(sh - 1, uint32_t((uint64_t(2 * y + 1) * sh) / (2 * uint64_t(height))));
            const uint8_t* srow = &source.rgba[size_t(sy) * sw * 4];
            uint8_t* drow = &out.rgba[size_t(y) * width * 4];
            for (uint32_t x = 0; x < width; ++x) std::memcpy(drow + x * 4, srow + size_t(xs[x]) * 4, 4);
        }
        return out;
    }
    // Separable averaging: rows first into a float buffer, then columns.
    const Taps tx = MakeTaps(sw, width), ty = MakeTaps(sh, height);
    std::vector<float> rows(size_t(width) * sh * 4);
    for (uint32_t y = 0; y < sh; ++y) {
        const uint8_t* srow = &source.rgba[size_t(y) * sw * 4];
        float* drow = &rows[size_t(y) * width * 4];
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (uint32_t k = tx.first[x]; k < tx.first[x + 1]; ++k) {
                const uint8_t* s = srow + size_t(tx.index[k]) * 4;
                const float w = tx.weight[k];
                for (int c = 0; c < 4; ++c) acc[c] += s[c] * w;
            }
            std::memcpy(drow + x * 4, acc, sizeof acc);
        }
    }
    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* drow = &out.rgba[size_t(y) * width * 4];
        for (uint32_t x = 0; x < width; ++x) {
            float acc[4] = {0, 0, 0, 0};
            for (uint32_t k = ty.first[y]; k < ty.first[y + 1]; ++k) {
                const float* s = &rows[(size_t(ty.index[k]) * width + x) * 4];
                const float w = ty.weight[k];
                for (int c = 0; c < 4; ++c) acc[c] += s[c] * w;
            }
            for (int c = 0; c < 4; ++c) drow[x * 4 + c] = ToByte(acc[c]);
        }
    }
    return out;
}

TextureImage BuildTexture(DecodedImage image, const TextureOptions& options, const std::string& name) {
    auto chooseSize = [&](uint32_t requested, uint32_t own) -> uint32_t {
        if (requested == 0 || requested == D3DX_DEFAULT) return std::bit_ceil(own);
        return requested;
    };
    const uint32_t width = chooseSize(options.width, image.width);
    const uint32_t height = chooseSize(options.height, image.height);
    CheckTextureSize(width, height, name);
    ApplyColorKey(image, options.colorKey);

    const DWORD filter = options.filter == D3DX_DEFAULT ? D3DX_FILTER_TRIANGLE : options.filter;
    DWORD mipFilter = options.mipFilter == D3DX_DEFAULT ? D3DX_FILTER_BOX : options.mipFilter;
    // A mip level must shrink, so "no filter" samples like point.
    if ((mipFilter & 0xFFFF) == D3DX_FILTER_NONE) mipFilter = D3DX_FILTER_POINT;
    TextureLevel source;
    source.width = image.width;
    source.height = image.height;
    source.rgba = std::move(image.rgba);

    const uint32_t fullChain = uint32_t(std::bit_width(std::max(width, height)));
    const uint32_t levels = (options.mipLevels == 0 || options.mipLevels == D3DX_DEFAULT)
                                ? fullChain
                                : std::min(options.mipLevels, fullChain);
    TextureImage result;
    result.levels.reserve(levels);
    result.levels.push_back(Resample(source, width, height, filter));
    while (result.levels.size() < levels) {
        const TextureLevel& prev = result.levels.back();
        const uint32_t w = std::max<uint32_t>(1, prev.width / 2), h = std::max<uint32_t>(1, prev.height / 2);
        TextureLevel next = Resample(prev, w, h, mipFilter);
        result.levels.push_back(std::move(next));
    }
    return result;
}
