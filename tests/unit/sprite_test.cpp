// The sprite: where its quad lands, the state it draws with and the state it
// leaves behind.
#include <gtest/gtest.h>

#include "platform/d3dx/D3DX8.h"
#include "platform/sprite/Sprite.h"
#include "support/TestSupport.h"
#include "support/UnitDrawState.h"

namespace {

// The quad's corners top-left, top-right, bottom-right, bottom-left, moved
// back from the half-pixel offset the sprite draws at.
std::vector<SpriteVertex> Corners(const RecordingDevice& device) {
    const auto v = device.VerticesAs<SpriteVertex>();
    EXPECT_EQ(v.size(), 6u);
    if (v.size() != 6) return std::vector<SpriteVertex>(4);
    std::vector<SpriteVertex> c{v[0], v[1], v[2], v[5]};
    for (auto& p : c) {
        p.x += 0.5f;
        p.y += 0.5f;
    }
    return c;
}

TEST(Sprite, PlacesAndScalesOnWholePixels) {
    RecordingDevice device;
    auto texture = WhiteTexture(device, 64, 32);
    D3DXSprite sprite(device);
    const D3DVECTOR2 scale{2, 0.5f};
    const D3DVECTOR2 move{310, 382};
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, &scale, nullptr, 0.0f, &move, 0x80820082u), D3D_OK);
    const auto c = Corners(device);
    EXPECT_FLOAT_EQ(c[0].x, 310);
    EXPECT_FLOAT_EQ(c[0].y, 382);
    EXPECT_FLOAT_EQ(c[2].x, 438);
    EXPECT_FLOAT_EQ(c[2].y, 398);
    for (const auto& p : c) {
        EXPECT_EQ(p.color, 0x80820082u);
        EXPECT_FLOAT_EQ(p.rhw, 1.0f);
    }
    EXPECT_FLOAT_EQ(c[2].u, 1);
    EXPECT_FLOAT_EQ(c[2].v, 1);
}

TEST(Sprite, BlendsByTextureTimesColourAlphaAndRestoresEverything) {
    RecordingDevice device;
    auto texture = WhiteTexture(device, 4, 4);
    auto other = WhiteTexture(device, 2, 2);
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    device.SetRenderState(D3DRS_LIGHTING, 1);
    device.SetRenderState(D3DRS_FOGENABLE, 1);
    device.SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW);
    device.SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_WRAP);
    device.SetTexture(0, other.get());
    device.SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
    const auto before = device.renderStates;

    std::unique_ptr<D3DXSprite> sprite;
    ASSERT_EQ(D3DX8().CreateSprite(device, sprite), D3D_OK);
    ASSERT_EQ(sprite->Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, nullptr, 0x80FFFFFFu), D3D_OK);

    // What it draws with shows in rendered overlays; the colour's alpha fading
    // the texture is what a fade needs.
    EXPECT_EQ(ValueAtDraw(device, D3DRS_ALPHABLENDENABLE), 1);
    EXPECT_EQ(ValueAtDraw(device, 0, D3DTSS_ALPHAOP), D3DTOP_MODULATE);
    EXPECT_EQ(ValueAtDraw(device, D3DRS_ZWRITEENABLE), -1) << "depth writes are left as they are";
    EXPECT_EQ(device.presents, 0);

    for (const auto& [state, value] : before) EXPECT_EQ(device.renderStates[state], value) << state;
    DWORD v = 0;
    device.GetTextureStageState(0, D3DTSS_ALPHAOP, &v);
    EXPECT_EQ(v, DWORD(D3DTOP_SELECTARG1));
    device.GetTextureStageState(0, D3DTSS_ADDRESSU, &v);
    EXPECT_EQ(v, DWORD(D3DTADDRESS_WRAP));
    EXPECT_EQ(device.texture, other.get());
    EXPECT_EQ(device.fvf, DWORD(D3DFVF_XYZ | D3DFVF_NORMAL));
}

}  // namespace
