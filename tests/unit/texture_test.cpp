// The texture loader: decoding, colour keys, resampling and mip chains.
#include <gtest/gtest.h>
#include <stb_image_write.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "platform/texture/TextureLoader.h"
#include "support/Bytes.h"

namespace {

using Texel = std::array<uint8_t, 4>;

// The texel at (x, y) of a DecodedImage or a TextureLevel.
template <class Image>
Texel At(const Image& image, uint32_t x, uint32_t y) {
    const uint8_t* p = &image.rgba.at((size_t(y) * image.width + x) * 4);
    return {p[0], p[1], p[2], p[3]};
}

DecodedImage Image(uint32_t w, uint32_t h, const std::vector<Texel>& texels) {
    DecodedImage image;
    image.width = w;
    image.height = h;
    for (const Texel& t : texels) image.rgba.insert(image.rgba.end(), t.begin(), t.end());
    return image;
}

// An uncompressed TGA; rows are given top first and stored in the file's order.
std::string Tga(uint16_t w, uint16_t h, const std::vector<Texel>& texels, bool alpha, bool topFirst) {
    std::string s = TgaHeader(2, w, h, alpha ? 32 : 24, topFirst);
    for (uint16_t row = 0; row < h; ++row) {
        const uint16_t y = topFirst ? row : uint16_t(h - 1 - row);
        for (uint16_t x = 0; x < w && size_t(y) * w + x < texels.size(); ++x) {
            const Texel& t = texels[size_t(y) * w + x];
            s += char(t[2]);
            s += char(t[1]);
            s += char(t[0]);
            if (alpha) s += char(t[3]);
        }
    }
    return s;
}

constexpr uint32_t kRGB = 0x40, kAlphaPixels = 0x1, kFourCC = 0x4, kLuminance = 0x20000;

std::string Dds(uint32_t w, uint32_t h, uint32_t flags, const char* fourCC, uint32_t bits,
                std::array<uint32_t, 4> masks, const std::string& data) {
    uint32_t header[31] = {};
    header[0] = 124;
    header[1] = 0x1007;
    header[2] = h;
    header[3] = w;
    header[18] = 32;
    header[19] = flags;
    if (fourCC) std::memcpy(&header[20], fourCC, 4);
    header[21] = bits;
    for (int i = 0; i < 4; ++i) header[22 + i] = masks[size_t(i)];
    header[26] = 0x1000;
    std::string s = "DDS ";
    s.append(reinterpret_cast<const char*>(header), sizeof header);
    return s + data;
}

std::string Pixels32(std::initializer_list<uint32_t> values) {
    std::string s;
    for (uint32_t v : values) Put32(s, v);
    return s;
}

void ExpectTexel(const Texel& actual, const Texel& expected, int tolerance = 0) {
    for (size_t c = 0; c < 4; ++c) {
        EXPECT_NEAR(int(actual[c]), int(expected[c]), tolerance) << "channel " << c;
    }
}

const Texel kWhite{255, 255, 255, 255};
const Texel kNearWhite{255, 255, 254, 255};
const Texel kClear{0, 0, 0, 0};

TEST(TextureKey, WhiteKeysTellPureWhiteFromNearWhite) {
    for (const bool viaFile : {false, true}) {
        SCOPED_TRACE(viaFile ? "24-bit TGA" : "decoded image");
        const DecodedImage source = viaFile ? DecodeImage(Tga(2, 1, {kWhite, kNearWhite}, false, true), "keys.tga")
                                            : Image(2, 1, {kWhite, kNearWhite});
        TextureOptions options;
        options.width = 2;
        options.height = 1;
        options.filter = D3DX_FILTER_POINT;
        options.colorKey = 0xFFFFFFFF;
        TextureImage keyed = BuildTexture(source, options, "keys");
        ExpectTexel(At(keyed.levels[0], 0, 0), kClear);
        ExpectTexel(At(keyed.levels[0], 1, 0), kNearWhite);
        options.colorKey = 0xFFFFFFFE;
        keyed = BuildTexture(source, options, "keys");
        ExpectTexel(At(keyed.levels[0], 0, 0), kWhite);
        ExpectTexel(At(keyed.levels[0], 1, 0), kClear);
        options.colorKey = 0;  // no key
        keyed = BuildTexture(source, options, "keys");
        ExpectTexel(At(keyed.levels[0], 0, 0), kWhite);
    }
}

TEST(TextureKey, AlphaTakesPartAndLowPrecisionChannelsMatchQuantised) {
    DecodedImage translucent = Image(1, 1, {{255, 255, 255, 128}});
    ApplyColorKey(translucent, 0xFFFFFFFF);
    ExpectTexel(At(translucent, 0, 0), {255, 255, 255, 128});
    ApplyColorKey(translucent, 0x80FFFFFF);
    ExpectTexel(At(translucent, 0, 0), kClear);

    // 5-6-5 magenta matches a key that differs only below the file's precision.
    DecodedImage magenta = DecodeImage(Dds(1, 1, kRGB, nullptr, 16, {0xF800, 0x07E0, 0x001F, 0}, "\x1F\xF8"), "m.dds");
    ApplyColorKey(magenta, 0xFFF800F8);
    ExpectTexel(At(magenta, 0, 0), kClear);
    DecodedImage exact = Image(1, 1, {{255, 0, 255, 255}});
    ApplyColorKey(exact, 0xFFF800F8);
    ExpectTexel(At(exact, 0, 0), {255, 0, 255, 255});
}

TEST(TextureKey, KeyingHappensBeforeFiltering) {
    TextureOptions options;
    options.width = 1;
    options.height = 1;
    options.mipLevels = 1;
    options.filter = D3DX_FILTER_LINEAR;
    options.colorKey = 0xFFFFFFFF;
    const TextureImage t = BuildTexture(Image(2, 1, {kWhite, {0, 0, 0, 255}}), options, "fringe");
    // The keyed texel blends in as transparent black: a dark, half-transparent result.
    ExpectTexel(At(t.levels[0], 0, 0), {0, 0, 0, 128}, 1);
}

TEST(TextureResample, ReductionAndEnlargement) {
    // 1024 x 1024 with alternating columns (red) and rows (green).
    DecodedImage big;
    big.width = big.height = 1024;
    big.rgba.resize(1024 * 1024 * 4);
    for (uint32_t y = 0; y < 1024; ++y) {
        for (uint32_t x = 0; x < 1024; ++x) {
            uint8_t* p = &big.rgba[(size_t(y) * 1024 + x) * 4];
            p[0] = (x % 2) ? 255 : 0;
            p[1] = (y % 2) ? 255 : 0;
            p[2] = uint8_t(x / 4);
            p[3] = 255;
        }
    }
    TextureOptions options;
    options.width = options.height = 512;
    options.filter = D3DX_FILTER_LINEAR;
    TextureImage linear = BuildTexture(big, options, "big");
    ASSERT_EQ(linear.levels[0].width, 512u);
    ASSERT_EQ(linear.levels[0].height, 512u);
    ExpectTexel(At(linear.levels[0], 0, 0), {128, 128, 0, 255}, 1);
    ExpectTexel(At(linear.levels[0], 301, 77), {128, 128, 150, 255}, 1);
    options.filter = D3DX_FILTER_POINT;
    TextureImage point = BuildTexture(big, options, "big");
    // Nearest texel to each centre: odd source columns and rows.
    ExpectTexel(At(point.levels[0], 10, 20), {255, 255, 5, 255});

    const DecodedImage one = Image(1, 1, {{10, 20, 30, 255}});
    for (const DWORD filter : {D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE}) {
        TextureOptions up;
        up.width = up.height = 64;
        up.filter = filter;
        const TextureImage t = BuildTexture(one, up, "one");
        ASSERT_EQ(t.levels[0].width, 64u);
        for (uint32_t y = 0; y < 64; y += 7) {
            for (uint32_t x = 0; x < 64; x += 5) ExpectTexel(At(t.levels[0], x, y), {10, 20, 30, 255});
        }
    }
}

TEST(TextureResample, HalvingAveragesTheCoveredTexels) {
    TextureLevel source{6, 4, {}};
    for (uint32_t i = 0; i < 6 * 4 * 4; ++i) source.rgba.push_back(uint8_t((i * 37 + 11) % 256));
    auto texel = [&](uint32_t x, uint32_t y, int c) { return int(source.rgba[(size_t(y) * 6 + x) * 4 + size_t(c)]); };
    const TextureLevel half = Resample(source, 3, 2, D3DX_FILTER_BOX);
    for (uint32_t y = 0; y < 2; ++y) {
        for (uint32_t x = 0; x < 3; ++x) {
            for (int c = 0; c < 4; ++c) {
                const int sum = texel(2 * x, 2 * y, c) + texel(2 * x + 1, 2 * y, c) + texel(2 * x, 2 * y + 1, c) +
                                texel(2 * x + 1, 2 * y + 1, c);
                EXPECT_EQ(int(At(half, x, y)[size_t(c)]), (sum + 2) / 4) << x << "," << y << "," << c;
            }
        }
    }
    const TextureLevel wide = Resample(TextureLevel{4, 1, {0, 10, 20, 30, 3, 11, 21, 31, 100, 0, 0, 0, 201, 0, 0, 0}},
                                       2, 1, D3DX_FILTER_LINEAR);
    ExpectTexel(At(wide, 0, 0), {2, 11, 21, 31});  // 1.5 rounds up
    ExpectTexel(At(wide, 1, 0), {151, 0, 0, 0});
    const TextureLevel tall = Resample(TextureLevel{1, 2, {0, 0, 0, 0, 255, 255, 255, 255}}, 1, 1, D3DX_FILTER_LINEAR);
    ExpectTexel(At(tall, 0, 0), {128, 128, 128, 128});
}

TEST(TextureResample, LinearEnlargementInterpolatesBetweenCentres) {
    const TextureLevel two{2, 1, {0, 0, 0, 255, 200, 0, 0, 255}};
    const TextureLevel four = Resample(two, 4, 1, D3DX_FILTER_LINEAR);
    EXPECT_EQ(At(four, 0, 0)[0], 0);    // clamped at the edge
    EXPECT_EQ(At(four, 1, 0)[0], 50);   // a quarter of the way
    EXPECT_EQ(At(four, 2, 0)[0], 150);
    EXPECT_EQ(At(four, 3, 0)[0], 200);
    const TextureLevel none = Resample(two, 3, 2, D3DX_FILTER_NONE);
    EXPECT_EQ(At(none, 1, 0)[0], 200);
    ExpectTexel(At(none, 2, 0), kClear);
    ExpectTexel(At(none, 0, 1), kClear);
}

TEST(TextureMips, ChainSizesAndBoxAverages) {
    auto sizes = [](const TextureImage& t) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const TextureLevel& l : t.levels) out.emplace_back(l.width, l.height);
        return out;
    };
    TextureOptions options;
    options.width = options.height = 512;
    const DecodedImage grey = Image(1, 1, {{100, 100, 100, 255}});
    EXPECT_EQ(BuildTexture(grey, options, "g").levels.size(), 10u);
    options.width = 256;
    options.height = 64;
    EXPECT_EQ(sizes(BuildTexture(grey, options, "g")),
              (std::vector<std::pair<uint32_t, uint32_t>>{
                  {256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}}));
    options.mipLevels = 3;
    EXPECT_EQ(BuildTexture(grey, options, "g").levels.size(), 3u);
    options.mipLevels = 0;
    EXPECT_EQ(BuildTexture(grey, options, "g").levels.size(), 9u);
    // The image's own size, rounded up to a power of two, when none is asked for.
    TextureOptions own;
    DecodedImage odd = Image(100, 30, std::vector<Texel>(3000, Texel{1, 2, 3, 255}));
    const TextureImage rounded = BuildTexture(odd, own, "odd");
    EXPECT_EQ(rounded.levels[0].width, 128u);
    EXPECT_EQ(rounded.levels[0].height, 32u);
    EXPECT_EQ(rounded.levels.size(), 8u);

    TextureOptions box;
    box.width = box.height = 2;
    box.mipFilter = D3DX_FILTER_BOX;
    const TextureImage checker =
        BuildTexture(Image(2, 2, {{0, 0, 0, 255}, {255, 0, 0, 255}, {255, 0, 0, 255}, {0, 0, 0, 255}}), box, "c");
    ASSERT_EQ(checker.levels.size(), 2u);
    ExpectTexel(At(checker.levels[1], 0, 0), {128, 0, 0, 255}, 1);
    box.mipFilter = D3DX_FILTER_POINT;
    const TextureImage pointMips =
        BuildTexture(Image(2, 2, {{0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 255, 255}}), box, "c");
    ExpectTexel(At(pointMips.levels[1], 0, 0), {0, 0, 255, 255});
}

TEST(TextureDecode, DdsCompressedBlocks) {
    // DXT1: a four-colour block (red, blue and two blends) beside a
    // three-colour block whose index 3 is transparent black.
    std::string blocks;
    Put16(blocks, 0xF800);
    Put16(blocks, 0x001F);
    Put32(blocks, 0xE4);  // first row: indices 0, 1, 2, 3
    Put16(blocks, 0x001F);
    Put16(blocks, 0xF800);
    Put32(blocks, 0xFFFFFFFF);
    const DecodedImage dxt1 = DecodeImage(Dds(8, 4, kFourCC, "DXT1", 0, {}, blocks), "dxt1.dds");
    ASSERT_EQ(dxt1.width, 8u);
    ExpectTexel(At(dxt1, 0, 0), {255, 0, 0, 255});
    ExpectTexel(At(dxt1, 1, 0), {0, 0, 255, 255});
    ExpectTexel(At(dxt1, 2, 0), {170, 0, 85, 255}, 1);
    ExpectTexel(At(dxt1, 3, 0), {85, 0, 170, 255}, 1);
    ExpectTexel(At(dxt1, 0, 3), {255, 0, 0, 255});
    ExpectTexel(At(dxt1, 5, 2), kClear);

    // DXT5: alpha endpoints 255 and 0 with interpolated steps, a green colour block.
    std::string dxt5;
    dxt5 += char(255);
    dxt5 += char(0);
    dxt5 += char(0x88);  // texel 0: index 0, texel 1: index 1, texel 2: index 2
    dxt5 += std::string(5, '\0');
    Put16(dxt5, 0x07E0);
    Put16(dxt5, 0x0000);
    Put32(dxt5, 0);
    const DecodedImage five = DecodeImage(Dds(4, 4, kFourCC, "DXT5", 0, {}, dxt5), "dxt5.dds");
    ExpectTexel(At(five, 0, 0), {0, 255, 0, 255});
    ExpectTexel(At(five, 1, 0), {0, 255, 0, 0});
    ExpectTexel(At(five, 2, 0), {0, 255, 0, 219}, 1);
    ExpectTexel(At(five, 3, 3), {0, 255, 0, 255});
}

TEST(TextureDecode, DdsUncompressedLayouts) {
    const DecodedImage argb = DecodeImage(
        Dds(2, 1, kRGB | kAlphaPixels, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u},
            Pixels32({0x80112233u, 0xFF445566u})),
        "argb.dds");
    ExpectTexel(At(argb, 0, 0), {0x11, 0x22, 0x33, 0x80});
    ExpectTexel(At(argb, 1, 0), {0x44, 0x55, 0x66, 0xFF});
    const DecodedImage rgb24 =
        DecodeImage(Dds(1, 2, kRGB, nullptr, 24, {0xFF0000, 0xFF00, 0xFF, 0}, "\x33\x22\x11\x66\x55\x44"), "rgb.dds");
    ExpectTexel(At(rgb24, 0, 0), {0x11, 0x22, 0x33, 255});
    ExpectTexel(At(rgb24, 0, 1), {0x44, 0x55, 0x66, 255});
    const DecodedImage r565 =
        DecodeImage(Dds(2, 1, kRGB, nullptr, 16, {0xF800, 0x07E0, 0x001F, 0}, "\x1F\xF8\x10\x84"), "565.dds");
    ExpectTexel(At(r565, 0, 0), {255, 0, 255, 255});
    ExpectTexel(At(r565, 1, 0), {132, 130, 132, 255});  // low bits filled by repetition
    EXPECT_EQ(r565.bits, (std::array<uint8_t, 4>{5, 6, 5, 8}));
    const DecodedImage a1 = DecodeImage(
        Dds(1, 1, kRGB | kAlphaPixels, nullptr, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, "\xFF\x7F"), "1555.dds");
    ExpectTexel(At(a1, 0, 0), {255, 255, 255, 0});
    // Rows padded to four bytes, announced by the pitch flag.
    std::string padded =
        Dds(1, 2, kRGB, nullptr, 24, {0xFF0000, 0xFF00, 0xFF, 0}, std::string("\x33\x22\x11\0\x66\x55\x44\0", 8));
    padded[8] = char(padded[8] | 0x8);
    padded[20] = 4;
    ExpectTexel(At(DecodeImage(padded, "pitch.dds"), 0, 1), {0x44, 0x55, 0x66, 255});
    const DecodedImage l8 = DecodeImage(Dds(2, 1, kLuminance, nullptr, 8, {0xFF, 0, 0, 0}, "\x40\xC0"), "l8.dds");
    ExpectTexel(At(l8, 1, 0), {0xC0, 0xC0, 0xC0, 255});
    const DecodedImage a8l8 =
        DecodeImage(Dds(1, 1, kLuminance | kAlphaPixels, nullptr, 16, {0xFF, 0, 0, 0xFF00}, "\x40\x80"), "a8l8.dds");
    ExpectTexel(At(a8l8, 0, 0), {0x40, 0x40, 0x40, 0x80});
}

void ExpectDecodeError(const std::string& bytes, const char* fragment) {
    try {
        DecodeImage(bytes, "img.bin");
        ADD_FAILURE() << "no error, expected " << fragment;
    } catch (const ContentError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("img.bin: ", 0), 0u) << message;
        EXPECT_NE(message.find(fragment), std::string::npos) << message;
    }
}

TEST(TextureDecode, BadImagesFailWithReason) {
    ExpectDecodeError("", "empty");
    ExpectDecodeError("hello, not an image", "not a readable image");
    ExpectDecodeError("DDS " + std::string(20, '\0'), "header is truncated");
    ExpectDecodeError(Dds(0, 4, kRGB, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0}, ""), "size 0 x 4");
    ExpectDecodeError(Dds(20000, 4, kRGB, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0}, ""), "outside 1 to 16384");
    ExpectDecodeError(Dds(64, 64, kRGB, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0}, "abcd"), "data is truncated");
    ExpectDecodeError(Dds(64, 64, kFourCC, "DXT5", 0, {}, std::string(100, '\0')), "data is truncated");
    ExpectDecodeError(Dds(4, 4, kFourCC, "ATI2", 0, {}, std::string(16, '\0')), "unsupported DDS compression 'ATI2'");
    ExpectDecodeError(Dds(4, 4, kRGB, nullptr, 12, {0xF, 0xF0, 0xF00, 0}, std::string(64, '\0')), "bit count 12");
    ExpectDecodeError(Tga(20000, 20000, {}, false, true), "outside 1 to 16384");
    ExpectDecodeError(Tga(16000, 16000, {}, false, true), "more than a 18-byte file can hold");
    const std::string truncatedJpeg = Jpeg(16, 16, 255);
    ExpectDecodeError(truncatedJpeg.substr(0, truncatedJpeg.size() / 2), "JPEG data is truncated");
    TextureOptions tooBig;
    tooBig.width = 32768;
    EXPECT_THROW(BuildTexture(Image(1, 1, {kWhite}), tooBig, "big"), ContentError);
}

TEST(TextureDecode, StbFormatsDecodeTopRowFirst) {
    const Texel red{255, 0, 0, 255}, blue{0, 0, 255, 255};
    for (const bool topFirst : {false, true}) {
        const DecodedImage tga = DecodeImage(Tga(1, 2, {blue, red}, true, topFirst), "o.tga");
        ExpectTexel(At(tga, 0, 0), blue);
        ExpectTexel(At(tga, 0, 1), red);
    }
    DecodedImage decoded = DecodeImage(Jpeg(16, 8, 255, 95), "white.jpg");
    EXPECT_EQ(decoded.width, 16u);
    EXPECT_EQ(decoded.height, 8u);
    ExpectTexel(At(decoded, 7, 3), kWhite);
    ApplyColorKey(decoded, 0xFFFFFFFF);
    ExpectTexel(At(decoded, 7, 3), kClear);
    std::string png;
    const uint8_t rgba[8] = {1, 2, 3, 4, 250, 251, 252, 253};
    stbi_write_png_to_func(
        [](void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<char*>(data), size_t(size)); },
        &png, 2, 1, 4, rgba, 8);
    const DecodedImage fromPng = DecodeImage(png, "a.png");
    ExpectTexel(At(fromPng, 1, 0), {250, 251, 252, 253});
}

TEST(TextureDecode, DamagedDdsNeverCrashes) {
    std::string blocks(64, '\x5A');
    const std::string files[] = {
        Dds(8, 8, kFourCC, "DXT1", 0, {}, blocks.substr(0, 32)),
        Dds(8, 8, kFourCC, "DXT5", 0, {}, blocks),
        Dds(4, 4, kRGB | kAlphaPixels, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, blocks),
        Tga(4, 4, std::vector<Texel>(16, kWhite), true, false),
    };
    uint32_t seed = 777;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (const std::string& file : files) {
        for (int i = 0; i < 2000; ++i) {
            std::string copy = i < int(file.size()) ? file.substr(0, size_t(i)) : file;
            if (i >= int(file.size())) {
                for (int c = 0; c < 3; ++c) copy[next() % copy.size()] = char(next());
            }
            try {
                const DecodedImage image = DecodeImage(copy, "damaged");
                EXPECT_EQ(image.rgba.size(), size_t(image.width) * image.height * 4);
            } catch (const ContentError&) {
            }
        }
    }
}

}  // namespace
