// Text drawn with the system font: placement in its rectangle, clipping,
// counts, faces and sizes, read from the glyph quads the font draws.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/Errors.h"
#include "common/Variables.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "support/TestSupport.h"
#include "text/m_DrawText.h"

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

std::unique_ptr<D3DXFont> MakeSmallFont(RecordingDevice& device, const std::string& face = "verdana",
                                        float points = 8.0f, bool bold = false) {
    FontDescription d;
    d.faceName = face;
    d.pointSize = points;
    d.bold = bold;
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

TEST(Font, LeftAlignedByDefaultAndClippedNotWrapped) {
    RecordingDevice device;
    auto font = MakeSmallFont(device);
    const RECT rect{0, 0, 200, 40};
    font->DrawTextW("a velmora production", -1, &rect, 0, 0xFFFFFFFFu);
    const Extent credit = Bounds(Blocks(device));
    EXPECT_GE(credit.left, 0);
    EXPECT_LE(credit.left, 2);

    const RECT narrow{10, 20, 50, 26};
    font->DrawTextW(std::string(40, 'W'), -1, &narrow, 0, 0xFF00FF00u);
    const auto blocks = Blocks(device);
    const Extent e = Bounds(blocks);
    EXPECT_GE(e.left, 10);
    EXPECT_EQ(e.right, 50);   // the glyph on the edge is cut
    EXPECT_EQ(e.bottom, 26);  // cut at the box's bottom; nothing wraps below
    EXPECT_LT(blocks.size(), 8u);
    for (const auto& b : blocks) EXPECT_NEAR((b.right - b.left) / (b.u1 - b.u0), 256.0f, 1e-2);  // cut, not squeezed

    // A colour without alpha draws nothing; the count limits the characters; failures give 0.
    device.calls.clear();
    EXPECT_GT(font->DrawTextW("hidden", -1, &rect, 0, 0x00FFFFFFu), 0);
    EXPECT_TRUE(device.calls.empty());
    font->DrawTextW("abcdef", 3, &rect, 0, 0xFFFFFFFFu);
    EXPECT_EQ(Blocks(device).size(), 3u);
    font->DrawTextW("caf\xC3\xA9", -1, &rect, 0, 0xFFFFFFFFu);  // UTF-8 e-acute is one glyph
    EXPECT_EQ(Blocks(device).size(), 4u);
    EXPECT_EQ(font->DrawTextW("abc", -1, nullptr, 0, 0xFFFFFFFFu), 0);
    device.failWith = D3DERR_DEVICELOST;
    EXPECT_EQ(font->DrawTextW("abc", -1, &rect, 0, 0xFFFFFFFFu), 0);
}

TEST(Font, MakeFontTakesTheSizeAsTextAndTheWeightAndFaceFollow) {
    D3DX = std::make_unique<D3DX8>();
    RecordingDevice& device = *InstallRecordingDevice();
    const RECT rect{0, 0, 1000, 100};
    std::unique_ptr<D3DXFont> small, big;
    MakeFont(small, "verdana", "8", False16, False16, False16);
    MakeFont(big, "verdana", " 16 ", False16, False16, False16);
    // DrawTextRect takes top, left, bottom, right.
    DrawTextRect(*small, 364, 312, 404, 712, "Hxg", DT_CENTER, 0xFFFFFFFFu);
    const Extent e8 = Bounds(Blocks(device));
    EXPECT_GE(e8.top, 364);
    EXPECT_NEAR((e8.left - 312) - (712 - e8.right), 0, 3);
    DrawTextRect(*big, 364, 312, 404, 712, "Hxg", DT_CENTER, 0xFFFFFFFFu);
    const Extent e16 = Bounds(Blocks(device));
    EXPECT_NEAR((e16.bottom - e16.top) / (e8.bottom - e8.top), 2.0f, 0.35f);

    auto bold = MakeSmallFont(device, "verdana", 8.0f, true);
    bold->DrawTextW("Loading fonts", -1, &rect, 0, 0xFFFFFFFFu);
    const Extent eb = Bounds(Blocks(device));
    small->DrawTextW("Loading fonts", -1, &rect, 0, 0xFFFFFFFFu);
    EXPECT_GT(eb.right - eb.left, Bounds(Blocks(device)).right - Bounds(Blocks(device)).left);

    auto substitute = MakeSmallFont(device, "no such face 7f3a");  // falls back to another face
    ASSERT_TRUE(substitute);
    EXPECT_GT(substitute->DrawTextW("x", -1, &rect, 0, 0xFFFFFFFFu), 0);
    EXPECT_THROW(MakeFont(big, "verdana", "eight", False16, False16, False16), DemoError);
    EXPECT_THROW(MakeFont(big, "verdana", "", False16, False16, False16), DemoError);
    D3DDevice.reset();
    D3DX.reset();
}
