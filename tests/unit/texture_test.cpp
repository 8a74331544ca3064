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
            s += {char(t[2]), char(t[1]), char(t[0])};
            if (alpha) s += char(t[3]);
        }
    }
    return s;
}

constexpr uint32_t kRGB = 0x40, kAlphaPixels = 0x1, kFourCC = 0x4, kLuminance = 0x20000;

std::string Dds(uint32_t w, uint32_t h, uint32_t flags, const char* fourCC, uint32_t bits,
                std::array<uint32_t, 4> masks, const std::string& data) {
    uint32_t header[31] = {124, 0x1007, h, w};
    header[18] = 32;
    header[19] = flags;
    if (fourCC) std::memcpy(&header[20], fourCC, 4);
    header[21] = bits;
    for (size_t i = 0; i < 4; ++i) header[22 + i] = masks[i];
    header[26] = 0x1000;
    return "DDS " + std::string(reinterpret_cast<const char*>(header), sizeof header) + data;
}

void ExpectTexel(const Texel& actual, const Texel& expected, int tolerance = 0) {
    for (size_t c = 0; c < 4; ++c) EXPECT_NEAR(int(actual[c]), int(expected[c]), tolerance) << "channel " << c;
}

const Texel kWhite{255, 255, 255, 255}, kNearWhite{255, 255, 254, 255}, kClear{0, 0, 0, 0};

TEST(TextureKey, KeysMatchExactlyIncludingAlphaAndBeforeFiltering) {
    for (const bool viaFile : {false, true}) {
        SCOPED_TRACE(viaFile ? "24-bit TGA" : "decoded image");
        const DecodedImage source = viaFile ? DecodeImage(Tga(2, 1, {kWhite, kNearWhite}, false, true), "keys.tga")
                                            : Image(2, 1, {kWhite, kNearWhite});
        TextureOptions options;
        options.width = 2;
        options.height = 1;
        options.filter = D3DX_FILTER_POINT;
        const struct {
            D3DCOLOR key;
            Texel first, second;
        } keys[] = {{0xFFFFFFFF, kClear, kNearWhite}, {0xFFFFFFFE, kWhite, kClear}, {0, kWhite, kNearWhite}};
        for (const auto& k : keys) {
            options.colorKey = k.key;
            const TextureImage keyed = BuildTexture(source, options, "keys");
            ExpectTexel(At(keyed.levels[0], 0, 0), k.first);
            ExpectTexel(At(keyed.levels[0], 1, 0), k.second);
        }
    }
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

    // The keyed texel blends in as transparent black: a dark, half-transparent result.
    TextureOptions shrink;
    shrink.width = shrink.height = shrink.mipLevels = 1;
    shrink.filter = D3DX_FILTER_LINEAR;
    shrink.colorKey = 0xFFFFFFFF;
    ExpectTexel(At(BuildTexture(Image(2, 1, {kWhite, {0, 0, 0, 255}}), shrink, "fringe").levels[0], 0, 0),
                {0, 0, 0, 128}, 1);
}

TEST(TextureResample, ReductionAndEnlargementByFilter) {
    // Halving averages each 2 x 2 block, rounding half up.
    const TextureLevel block{4, 2, {0, 1, 2, 3, 40, 1, 2, 3, 80, 1, 2, 3, 120, 1, 2, 3,
                                    10, 1, 2, 3, 50, 1, 2, 3, 90, 1, 2, 3, 130, 2, 2, 3}};
    const TextureLevel half = Resample(block, 2, 1, D3DX_FILTER_BOX);
    ExpectTexel(At(half, 0, 0), {25, 1, 2, 3});
    ExpectTexel(At(half, 1, 0), {105, 1, 2, 3});
    const TextureLevel wide = Resample(TextureLevel{4, 1, {0, 10, 20, 30, 3, 11, 21, 31, 100, 0, 0, 0, 201, 0, 0, 0}},
                                       2, 1, D3DX_FILTER_LINEAR);
    ExpectTexel(At(wide, 0, 0), {2, 11, 21, 31});  // 1.5 rounds up
    ExpectTexel(At(wide, 1, 0), {151, 0, 0, 0});
    ExpectTexel(At(Resample(TextureLevel{1, 2, {0, 0, 0, 0, 255, 255, 255, 255}}, 1, 1, D3DX_FILTER_LINEAR), 0, 0),
                {128, 128, 128, 128});
    // Point reduction takes the texel nearest each centre: the odd ones here.
    const TextureLevel point = Resample(block, 2, 1, D3DX_FILTER_POINT);
    EXPECT_EQ(At(point, 0, 0)[0], 50);
    EXPECT_EQ(At(point, 1, 0)[0], 130);

    const TextureLevel two{2, 1, {0, 0, 0, 255, 200, 0, 0, 255}};
    const TextureLevel four = Resample(two, 4, 1, D3DX_FILTER_LINEAR);
    EXPECT_EQ((std::array<int, 4>{At(four, 0, 0)[0], At(four, 1, 0)[0], At(four, 2, 0)[0], At(four, 3, 0)[0]}),
              (std::array<int, 4>{0, 50, 150, 200}));  // clamped at the edges, quarters between
    const TextureLevel none = Resample(two, 3, 2, D3DX_FILTER_NONE);
    EXPECT_EQ(At(none, 1, 0)[0], 200);
    ExpectTexel(At(none, 2, 0), kClear);
    ExpectTexel(At(none, 0, 1), kClear);

    for (const DWORD filter : {D3DX_FILTER_POINT, D3DX_FILTER_LINEAR, D3DX_FILTER_TRIANGLE}) {
        TextureOptions up;
        up.width = up.height = 64;
        up.filter = filter;
        const TextureImage t = BuildTexture(Image(1, 1, {{10, 20, 30, 255}}), up, "one");
        ASSERT_EQ(t.levels[0].width, 64u);
        for (uint32_t i = 0; i < 64; i += 7) ExpectTexel(At(t.levels[0], i, 63 - i), {10, 20, 30, 255});
    }
}

TEST(TextureMips, ChainSizesAndFilters) {
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
    // The image's own size, rounded up to a power of two, when none is asked for.
    const TextureImage rounded = BuildTexture(Image(100, 30, std::vector<Texel>(3000, Texel{1, 2, 3, 255})), {}, "odd");
    EXPECT_EQ(sizes(rounded).front(), (std::pair<uint32_t, uint32_t>{128, 32}));
    EXPECT_EQ(rounded.levels.size(), 8u);

    TextureOptions box;
    box.width = box.height = 2;
    box.mipFilter = D3DX_FILTER_BOX;
    const TextureImage stripes =
        BuildTexture(Image(2, 2, {{0, 0, 0, 255}, {200, 0, 0, 255}, {0, 0, 0, 255}, {200, 0, 0, 255}}), box, "c");
    ASSERT_EQ(stripes.levels.size(), 2u);
    ExpectTexel(At(stripes.levels[1], 0, 0), {100, 0, 0, 255});
    box.mipFilter = D3DX_FILTER_POINT;
    const TextureImage pointMips =
        BuildTexture(Image(2, 2, {{0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 0, 255}, {0, 0, 255, 255}}), box, "c");
    ExpectTexel(At(pointMips.levels[1], 0, 0), {0, 0, 255, 255});
}

TEST(TextureDecode, DdsCompressedBlocks) {
    // DXT1: a four-colour block (red, blue and two blends) beside a
    // three-colour block whose index 3 is transparent black.
    std::string blocks;
    for (const uint32_t v : {0x001FF800u, 0xE4u, 0xF800001Fu, 0xFFFFFFFFu}) Put32(blocks, v);
    const DecodedImage dxt1 = DecodeImage(Dds(8, 4, kFourCC, "DXT1", 0, {}, blocks), "dxt1.dds");
    ASSERT_EQ(dxt1.width, 8u);
    ExpectTexel(At(dxt1, 0, 0), {255, 0, 0, 255});
    ExpectTexel(At(dxt1, 1, 0), {0, 0, 255, 255});
    ExpectTexel(At(dxt1, 2, 0), {170, 0, 85, 255}, 1);
    ExpectTexel(At(dxt1, 3, 0), {85, 0, 170, 255}, 1);
    ExpectTexel(At(dxt1, 0, 3), {255, 0, 0, 255});
    ExpectTexel(At(dxt1, 5, 2), kClear);

    // DXT5: alpha endpoints 255 and 0, texels 0 to 2 on indices 0 to 2; a green colour block.
    const std::string dxt5 = std::string("\xFF\x00\x88\0\0\0\0\0\xE0\x07\0\0\0\0\0\0", 16);
    const DecodedImage five = DecodeImage(Dds(4, 4, kFourCC, "DXT5", 0, {}, dxt5), "dxt5.dds");
    ExpectTexel(At(five, 0, 0), {0, 255, 0, 255});
    ExpectTexel(At(five, 1, 0), {0, 255, 0, 0});
    ExpectTexel(At(five, 2, 0), {0, 255, 0, 219}, 1);
    ExpectTexel(At(five, 3, 3), {0, 255, 0, 255});
}

TEST(TextureDecode, DdsUncompressedLayouts) {
    std::string padded =
        Dds(1, 2, kRGB, nullptr, 24, {0xFF0000, 0xFF00, 0xFF, 0}, std::string("\x33\x22\x11\0\x66\x55\x44\0", 8));
    padded[8] = char(padded[8] | 0x8);  // rows padded to four bytes, announced by the pitch flag
    padded[20] = 4;
    const std::string argb("\x33\x22\x11\x80\x66\x55\x44\xFF", 8);
    const struct {
        std::string file;
        uint32_t x, y;
        Texel expected;
    } cases[] = {
        {Dds(2, 1, kRGB | kAlphaPixels, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, argb), 0, 0, {0x11, 0x22, 0x33, 0x80}},
        {Dds(2, 1, kRGB | kAlphaPixels, nullptr, 32, {0xFF0000, 0xFF00, 0xFF, 0xFF000000u}, argb), 1, 0, {0x44, 0x55, 0x66, 0xFF}},
        {Dds(1, 2, kRGB, nullptr, 24, {0xFF0000, 0xFF00, 0xFF, 0}, "\x33\x22\x11\x66\x55\x44"), 0, 1, {0x44, 0x55, 0x66, 255}},
        {Dds(2, 1, kRGB, nullptr, 16, {0xF800, 0x07E0, 0x001F, 0}, "\x1F\xF8\x10\x84"), 0, 0, {255, 0, 255, 255}},
        // Low bits are filled by repeating the high ones.
        {Dds(2, 1, kRGB, nullptr, 16, {0xF800, 0x07E0, 0x001F, 0}, "\x1F\xF8\x10\x84"), 1, 0, {132, 130, 132, 255}},
        {Dds(1, 1, kRGB | kAlphaPixels, nullptr, 16, {0x7C00, 0x03E0, 0x001F, 0x8000}, "\xFF\x7F"), 0, 0, {255, 255, 255, 0}},
        {padded, 0, 1, {0x44, 0x55, 0x66, 255}},
        {Dds(2, 1, kLuminance, nullptr, 8, {0xFF, 0, 0, 0}, "\x40\xC0"), 1, 0, {0xC0, 0xC0, 0xC0, 255}},
        {Dds(1, 1, kLuminance | kAlphaPixels, nullptr, 16, {0xFF, 0, 0, 0xFF00}, "\x40\x80"), 0, 0, {0x40, 0x40, 0x40, 0x80}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        ExpectTexel(At(DecodeImage(c.file, "layout.dds"), c.x, c.y), c.expected);
    }
    EXPECT_EQ(DecodeImage(cases[3].file, "565.dds").bits, (std::array<uint8_t, 4>{5, 6, 5, 8}));
}

TEST(TextureDecode, BadImagesFailWithReason) {
    const std::string jpeg = Jpeg(16, 16, 255);
    const std::array<uint32_t, 4> argb{0xFF0000, 0xFF00, 0xFF, 0};
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {"hello, not an image", "not a readable image"},
        {"DDS " + std::string(20, '\0'), "header is truncated"},
        {Dds(0, 4, kRGB, nullptr, 32, argb, ""), "size 0 x 4"},
        {Dds(20000, 4, kRGB, nullptr, 32, argb, ""), "outside 1 to 16384"},
        {Dds(64, 64, kRGB, nullptr, 32, argb, "abcd"), "data is truncated"},
        {Dds(64, 64, kFourCC, "DXT5", 0, {}, std::string(100, '\0')), "data is truncated"},
        {Dds(4, 4, kFourCC, "ATI2", 0, {}, std::string(16, '\0')), "unsupported DDS compression 'ATI2'"},
        {Dds(4, 4, kRGB, nullptr, 12, {0xF, 0xF0, 0xF00, 0}, std::string(64, '\0')), "bit count 12"},
        {Tga(20000, 20000, {}, false, true), "outside 1 to 16384"},
        {Tga(16000, 16000, {}, false, true), "more than a 18-byte file can hold"},
        {jpeg.substr(0, jpeg.size() / 2), "JPEG data is truncated"},
        // Formats the textures never come in are refused before any reader sees them.
        {"GIF89a" + std::string(40, '\0'), "not a JPEG, PNG, TGA, BMP or DDS image"},
    };
    for (const auto& [bytes, fragment] : cases) {
        try {
            DecodeImage(bytes, "img.bin");
            ADD_FAILURE() << "no error, expected " << fragment;
        } catch (const ContentError& e) {
            const std::string message = e.what();
            EXPECT_EQ(message.rfind("img.bin: ", 0), 0u) << message;
            EXPECT_NE(message.find(fragment), std::string::npos) << message;
        }
    }
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
    const DecodedImage decoded = DecodeImage(Jpeg(16, 8, 255, 95), "white.jpg");
    EXPECT_EQ(decoded.width, 16u);
    EXPECT_EQ(decoded.height, 8u);
    ExpectTexel(At(decoded, 7, 3), kWhite);
    std::string png;
    const uint8_t rgba[8] = {1, 2, 3, 4, 250, 251, 252, 253};
    stbi_write_png_to_func(
        [](void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<char*>(data), size_t(size)); },
        &png, 2, 1, 4, rgba, 8);
    ExpectTexel(At(DecodeImage(png, "a.png"), 1, 0), {250, 251, 252, 253});
}

}  // namespace
