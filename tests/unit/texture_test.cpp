// The texture loader: colour keys, resampling, mip chains and refused images.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "platform/texture/TextureLoader.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

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

constexpr uint32_t kRGB = 0x40, kFourCC = 0x4;

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

TEST(TextureKey, KeysMatchExactlyIncludingAlphaAndClearTheTexel) {
    const DecodedImage source = Image(2, 1, {kWhite, kNearWhite});
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
    DecodedImage translucent = Image(1, 1, {{255, 255, 255, 128}});
    ApplyColorKey(translucent, 0xFFFFFFFF);
    ExpectTexel(At(translucent, 0, 0), {255, 255, 255, 128});

    // 5-6-5 magenta matches a key that differs only below the file's precision.
    DecodedImage magenta = DecodeImage(Dds(1, 1, kRGB, nullptr, 16, {0xF800, 0x07E0, 0x001F, 0}, "\x1F\xF8"), "m.dds");
    ApplyColorKey(magenta, 0xFFF800F8);
    ExpectTexel(At(magenta, 0, 0), kClear);
}

TEST(TextureResample, HalvingAveragesBoxesAndLinearPairs) {
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
}

TEST(TextureMips, ChainSizesAndFilters) {
    auto sizes = [](const TextureImage& t) {
        std::vector<std::pair<uint32_t, uint32_t>> out;
        for (const TextureLevel& l : t.levels) out.emplace_back(l.width, l.height);
        return out;
    };
    TextureOptions options;
    const DecodedImage grey = Image(1, 1, {{100, 100, 100, 255}});
    options.width = 256;
    options.height = 64;
    EXPECT_EQ(sizes(BuildTexture(grey, options, "g")),
              (std::vector<std::pair<uint32_t, uint32_t>>{
                  {256, 64}, {128, 32}, {64, 16}, {32, 8}, {16, 4}, {8, 2}, {4, 1}, {2, 1}, {1, 1}}));

    TextureOptions box;
    box.width = box.height = 2;
    box.mipFilter = D3DX_FILTER_BOX;
    const TextureImage stripes =
        BuildTexture(Image(2, 2, {{0, 0, 0, 255}, {200, 0, 0, 255}, {0, 0, 0, 255}, {200, 0, 0, 255}}), box, "c");
    ASSERT_EQ(stripes.levels.size(), 2u);
    ExpectTexel(At(stripes.levels[1], 0, 0), {100, 0, 0, 255});
}

TEST(TextureDecode, BadImagesFailWithReason) {
    const std::string jpeg = Jpeg(16, 16, 255);
    const std::array<uint32_t, 4> argb{0xFF0000, 0xFF00, 0xFF, 0};
    const std::pair<std::string, const char*> cases[] = {
        {"", "empty"},
        {"hello, not an image", "not a readable image"},
        {Dds(0, 4, kRGB, nullptr, 32, argb, ""), "size 0 x 4"},
        {Dds(20000, 4, kRGB, nullptr, 32, argb, ""), "outside 1 to 16384"},
        {Dds(64, 64, kRGB, nullptr, 32, argb, "abcd"), "data is truncated"},
        {Dds(4, 4, kFourCC, "ATI2", 0, {}, std::string(16, '\0')), "unsupported DDS compression 'ATI2'"},
        {Tga(16000, 16000, {}, false, true), "more than a 18-byte file can hold"},
        {jpeg.substr(0, jpeg.size() / 2), "JPEG data is truncated"},
        // Formats the textures never come in are refused before any reader sees them.
        {"GIF89a" + std::string(40, '\0'), "not a JPEG, PNG, TGA, BMP or DDS image"},
    };
    for (const auto& [bytes, fragment] : cases) {
        const std::string message = ErrorMessage<ContentError>([&] { DecodeImage(bytes, "img.bin"); });
        EXPECT_EQ(message.rfind("img.bin: ", 0), 0u) << message;
        EXPECT_NE(message.find(fragment), std::string::npos) << message;
    }
    TextureOptions tooBig;
    tooBig.width = 32768;
    EXPECT_THROW(BuildTexture(Image(1, 1, {kWhite}), tooBig, "big"), ContentError);
}

}  // namespace
