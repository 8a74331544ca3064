// Text drawn with the system font: placement in its rectangle, read from the
// glyph quads the font draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "support/TestSupport.h"

namespace {

// One drawn glyph block in whole pixels (right and bottom exclusive) with its atlas texels.
struct Block {
    float left, top, right, bottom;
    float u0, v0, u1, v1;
    D3DCOLOR color;
};

std::vector<Block> Blocks(const RecordingDevice& device) {
    const auto v = device.VerticesAs<SpriteVertex>();
    EXPECT_EQ(v.size() % 6, 0u);
    std::vector<Block> out;
    for (size_t i = 0; i + 5 < v.size(); i += 6) {
        out.push_back({v[i].x + 0.5f, v[i].y + 0.5f, v[i + 2].x + 0.5f, v[i + 2].y + 0.5f, v[i].u, v[i].v,
                       v[i + 2].u, v[i + 2].v, v[i].color});
    }
    return out;
}

struct Extent {
    float left = 1e9f, top = 1e9f, right = -1e9f, bottom = -1e9f;
};

Extent Bounds(const std::vector<Block>& blocks) {
    Extent e;
    for (const auto& b : blocks) {
        e.left = std::min(e.left, b.left);
        e.top = std::min(e.top, b.top);
        e.right = std::max(e.right, b.right);
        e.bottom = std::max(e.bottom, b.bottom);
    }
    return e;
}

std::unique_ptr<D3DXFont> MakeSmallFont(RecordingDevice& device) {
    FontDescription d;
    d.faceName = "verdana";
    d.pointSize = 8.0f;
    std::unique_ptr<D3DXFont> font;
    EXPECT_EQ(CreateSystemFont(device, d, font), D3D_OK);
    return font;
}

}  // namespace

TEST(Font, CentresEachLineInsideTheRectangleTopAligned) {
    RecordingDevice device;
    auto font = MakeSmallFont(device);
    ASSERT_TRUE(font);
    const RECT rect{312, 364, 712, 404};
    const int height = font->DrawTextW("Loading fonts", -1, &rect, DT_CENTER, 0xFFFFFFFFu);
    EXPECT_GE(height, 11);
    EXPECT_LE(height, 16);
    const auto blocks = Blocks(device);
    ASSERT_EQ(blocks.size(), 12u);  // every letter but the space
    const Extent e = Bounds(blocks);
    EXPECT_GE(e.top, 364);
    EXPECT_LE(e.bottom, 364 + height);
    EXPECT_NEAR((e.left - 312) - (712 - e.right), 0, 3);  // centred within the glyphs' side bearings
    EXPECT_GT(e.right - e.left, 40);                      // 13 characters of an 11-pixel face
    EXPECT_LT(e.right - e.left, 90);
    for (const auto& b : blocks) {
        EXPECT_EQ(b.color, 0xFFFFFFFFu);
        EXPECT_NEAR((b.right - b.left) / (b.u1 - b.u0), 256.0f, 1e-2);  // texels map one to one onto pixels
        EXPECT_EQ(std::round(b.left), b.left);
    }

    // A line feed starts a new line, each line centred on its own.
    ASSERT_EQ(font->DrawTextW("iiiiiiiiii\ni", -1, &rect, DT_CENTER, 0xFFFFFFFFu), 2 * height);
    const auto twoLines = Blocks(device);
    ASSERT_EQ(twoLines.size(), 11u);
    EXPECT_EQ(twoLines.back().top, twoLines.front().top + static_cast<float>(height));
    EXPECT_NEAR((twoLines.back().left + twoLines.back().right) / 2, 512, 2);
}
