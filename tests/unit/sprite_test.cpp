#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "platform/d3dx/D3DX8.h"
#include "platform/sprite/Sprite.h"
#include "support/TestSupport.h"

namespace {

// The four distinct corners of the drawn quad in the order top-left, top-right,
// bottom-right, bottom-left, shifted back to pixel edges.
std::vector<SpriteVertex> Corners(const RecordingDevice& device) {
    const auto v = device.VerticesAs<SpriteVertex>();
    EXPECT_EQ(v.size(), 6u);
    std::vector<SpriteVertex> c{v[0], v[1], v[2], v[5]};
    for (auto& p : c) {
        p.x += 0.5f;
        p.y += 0.5f;
    }
    return c;
}

}  // namespace

TEST(Sprite, PlacesAndScalesTheTextureInPixels) {
    RecordingDevice device;
    auto texture = WhiteTexture(device, 1, 1);
    D3DXSprite sprite(device);
    const D3DVECTOR2 scale{404, 24};
    const D3DVECTOR2 move{310, 382};
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, &scale, nullptr, 0.0f, &move, 0xFF820082u), D3D_OK);
    ASSERT_EQ(device.CallsStartingWith("DrawPrimitiveUP"),
              std::vector<std::string>{"DrawPrimitiveUP(4,2,28)"});
    const auto c = Corners(device);
    EXPECT_FLOAT_EQ(c[0].x, 310);
    EXPECT_FLOAT_EQ(c[0].y, 382);
    EXPECT_FLOAT_EQ(c[2].x, 714);
    EXPECT_FLOAT_EQ(c[2].y, 406);
    EXPECT_FLOAT_EQ(c[1].x, 714);
    EXPECT_FLOAT_EQ(c[3].y, 406);
    for (const auto& p : c) {
        EXPECT_EQ(p.color, 0xFF820082u);
        EXPECT_FLOAT_EQ(p.z, 0.0f);
        EXPECT_FLOAT_EQ(p.rhw, 1.0f);
    }
    EXPECT_FLOAT_EQ(c[0].u, 0);
    EXPECT_FLOAT_EQ(c[2].u, 1);
    EXPECT_FLOAT_EQ(c[2].v, 1);
}

TEST(Sprite, DefaultsAndSourceRectangle) {
    RecordingDevice device;
    auto texture = WhiteTexture(device, 64, 32);
    D3DXSprite sprite(device);
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, nullptr, 0xFFFFFFFFu), D3D_OK);
    auto c = Corners(device);
    EXPECT_FLOAT_EQ(c[0].x, 0);
    EXPECT_FLOAT_EQ(c[2].x, 64);
    EXPECT_FLOAT_EQ(c[2].y, 32);

    const RECT src{16, 8, 48, 24};
    ASSERT_EQ(sprite.Draw(texture.get(), &src, nullptr, nullptr, 0.0f, nullptr, 0xFFFFFFFFu), D3D_OK);
    c = Corners(device);
    EXPECT_FLOAT_EQ(c[2].x, 32);
    EXPECT_FLOAT_EQ(c[2].y, 16);
    EXPECT_FLOAT_EQ(c[0].u, 0.25f);
    EXPECT_FLOAT_EQ(c[0].v, 0.25f);
    EXPECT_FLOAT_EQ(c[2].u, 0.75f);
    EXPECT_FLOAT_EQ(c[2].v, 0.75f);
}

TEST(Sprite, RotatesAboutItsCentreClockwiseOnScreen) {
    RecordingDevice device;
    auto texture = WhiteTexture(device, 10, 20);
    D3DXSprite sprite(device);
    const D3DVECTOR2 centre{5, 10};
    const D3DVECTOR2 move{100, 200};
    const float quarter = std::numbers::pi_v<float> / 2;
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, &centre, quarter, &move, 0xFFFFFFFFu), D3D_OK);
    const auto c = Corners(device);
    // The top-left corner swings about (105, 210) to the top right of the turned quad.
    EXPECT_NEAR(c[0].x, 115, 1e-4);
    EXPECT_NEAR(c[0].y, 205, 1e-4);
    EXPECT_NEAR(c[2].x, 95, 1e-4);
    EXPECT_NEAR(c[2].y, 215, 1e-4);
}

TEST(Sprite, SetsItsStateAndRestoresEverything) {
    RecordingDevice device;
    auto texture = WhiteTexture(device, 4, 4);
    auto other = WhiteTexture(device, 2, 2);
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device.SetRenderState(D3DRS_LIGHTING, 1);
    device.SetRenderState(D3DRS_FOGENABLE, 1);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device.SetRenderState(D3DRS_ZENABLE, 1);
    device.SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    device.SetTextureStageState(0, D3DTSS_MIPFILTER, D3DTEXF_LINEAR);
    device.SetTexture(0, other.get());
    device.SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
    const auto before = device.renderStates;
    device.calls.clear();

    D3DXSprite sprite(device);
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, nullptr, 0xFFFFFFFFu), D3D_OK);

    // The state in force at the draw.
    const auto& calls = device.calls;
    const auto draw = std::find(calls.begin(), calls.end(), "DrawPrimitiveUP(4,2,28)");
    ASSERT_NE(draw, calls.end());
    const std::vector<std::string> before_draw(calls.begin(), draw);
    for (const char* expected :
         {"SetRenderState(27,1)", "SetRenderState(19,5)", "SetRenderState(20,6)", "SetRenderState(137,0)",
          "SetRenderState(28,0)", "SetRenderState(22,1)", "SetTextureStageState(0,1,4)",
          "SetTextureStageState(0,2,2)", "SetTextureStageState(0,3,0)", "SetTextureStageState(0,4,4)",
          "SetTextureStageState(0,13,3)", "SetTextureStageState(0,14,3)", "SetTextureStageState(0,16,2)",
          "SetTextureStageState(0,17,2)", "SetTextureStageState(0,18,0)", "SetVertexShader(324)"}) {
        EXPECT_NE(std::find(before_draw.begin(), before_draw.end(), expected), before_draw.end()) << expected;
    }
    for (const auto& c : calls) {
        EXPECT_NE(c.rfind("SetRenderState(7,", 0), 0u) << "depth state touched: " << c;
        EXPECT_NE(c.rfind("SetRenderState(14,", 0), 0u) << "depth state touched: " << c;
    }

    // Everything is back afterwards.
    for (const auto& [state, value] : before) EXPECT_EQ(device.renderStates[state], value) << state;
    DWORD v = 0;
    device.GetTextureStageState(0, D3DTSS_COLOROP, &v);
    EXPECT_EQ(v, D3DTOP_SELECTARG1);
    device.GetTextureStageState(0, D3DTSS_ADDRESSU, &v);
    EXPECT_EQ(v, D3DTADDRESS_WRAP);
    device.GetTextureStageState(0, D3DTSS_MIPFILTER, &v);
    EXPECT_EQ(v, D3DTEXF_LINEAR);
    EXPECT_EQ(device.texture, other.get());
    EXPECT_EQ(device.fvf, D3DFVF_XYZ | D3DFVF_NORMAL);
}

TEST(Sprite, FailuresComeBackAsResults) {
    RecordingDevice device;
    D3DXSprite sprite(device);
    EXPECT_EQ(sprite.Draw(nullptr, nullptr, nullptr, nullptr, 0.0f, nullptr, 0xFFFFFFFFu), D3DERR_INVALIDCALL);
    auto texture = WhiteTexture(device, 4, 4);
    device.failWith = D3DERR_DEVICELOST;
    EXPECT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, nullptr, 0xFFFFFFFFu),
              D3DERR_DEVICELOST);
}

TEST(Sprite, FactoryMakesASpriteOnTheDevice) {
    RecordingDevice device;
    D3DX8 d3dx;
    std::unique_ptr<D3DXSprite> sprite;
    ASSERT_EQ(d3dx.CreateSprite(device, sprite), D3D_OK);
    ASSERT_NE(sprite, nullptr);
    auto texture = WhiteTexture(device, 4, 4);
    EXPECT_EQ(sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, nullptr, 0xFFFFFFFFu), D3D_OK);
    EXPECT_EQ(device.presents, 0);
    EXPECT_EQ(device.CallsStartingWith("DrawPrimitiveUP").size(), 1u);
    // A fresh device has no vertex format to go back to; none is forced on it.
    EXPECT_EQ(device.CallsStartingWith("SetVertexShader"), std::vector<std::string>{"SetVertexShader(324)"});
}
