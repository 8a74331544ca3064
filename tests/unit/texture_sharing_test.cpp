// Textures made from files share one device texture when the same bytes are
// asked for with the same parameters, and only then.
#include <gtest/gtest.h>

#include <string>

#include "platform/d3dx/D3DX8.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace {

// An uncompressed 24-bit TGA of one grey level.
std::string Tga(uint16_t w, uint16_t h, char grey) {
    return TgaHeader(2, w, h, 24) + std::string(size_t(w) * h * 3, grey);
}

class TextureSharing : public ::testing::Test {
protected:
    std::shared_ptr<Direct3DTexture8> Load(const std::filesystem::path& file, UINT size = 8,
                                           D3DCOLOR key = 0) {
        std::shared_ptr<Direct3DTexture8> texture;
        EXPECT_EQ(d3dx.CreateTextureFromFileEx(device, file.string(), size, size, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                               D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_POINT, key, texture),
                  D3D_OK);
        return texture;
    }

    TempDir dir;
    RecordingDevice device;
    D3DX8 d3dx;
};

TEST_F(TextureSharing, SameBytesAndParametersShareOneTextureOtherwiseEachMakesItsOwn) {
    const auto a = dir.Write("house_01/door.tga", Tga(4, 4, 'x'));
    const auto first = Load(a);
    EXPECT_EQ(Load(dir.Write("house_02/door.tga", Tga(4, 4, 'x'))), first) << "another folder's copy of the same file";
    EXPECT_EQ(Load(a), first) << "the same file again";
    EXPECT_NE(Load(dir.Write("b.tga", Tga(4, 4, 'y'))), first) << "other contents";
    EXPECT_NE(Load(a, 16), first) << "another size";
    EXPECT_NE(Load(a, 8, 0xFF787878u), first) << "another colour key";
}

TEST_F(TextureSharing, ConfirmsAMatchAgainstTheEarlierFile) {
    const auto a = dir.Write("a.tga", Tga(4, 4, 'x'));
    const auto first = Load(a);
    dir.Write("a.tga", Tga(4, 4, 'y'));
    const auto copy = Load(dir.Write("b.tga", Tga(4, 4, 'x')));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, first) << "the bytes first seen are no longer on disk to compare with";
    EXPECT_EQ(Load(dir.Write("c.tga", Tga(4, 4, 'x'))), copy) << "b.tga still holds them";
}

TEST_F(TextureSharing, SharingNeverKeepsATextureAlive) {
    const auto a = dir.Write("a.tga", Tga(4, 4, 'x'));
    auto first = Load(a);
    const std::weak_ptr<Direct3DTexture8> watch = first;
    first.reset();
    EXPECT_TRUE(watch.expired()) << "the last user dropped it";
    const auto again = Load(a);
    ASSERT_NE(again, nullptr);
    EXPECT_EQ(again.use_count(), 1) << "made anew, held by its user alone";
}

}  // namespace
