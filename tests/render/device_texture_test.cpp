// Texture stages and point sprites of the GL device.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/Wrappers.h"
#include "support/DeviceHarness.h"

namespace {

DWORD Bits(float f) {
    DWORD d;
    std::memcpy(&d, &f, 4);
    return d;
}

int Modulate(int a, int b) { return static_cast<int>(std::lround(a * b / 255.0)); }

// Default stage 0: colour = texture x diffuse, alpha = texture alpha. Texels
// keyed to transparent black vanish under SRCALPHA / INVSRCALPHA blending.
TEST(DeviceTextures, ModulateAndColourKeyedTexels) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto texture = MakeTexture(d, 2, 1, {0x00000000u, 0xFFC86432u});
    ASSERT_EQ(d.SetTexture(0, texture.get()), D3D_OK);
    EnableAlphaBlending(d);
    h.Begin(0xFF0000FFu, D3DCLEAR_TARGET);
    // Each texel covers 50 x 100 pixels; point sampling keeps them apart.
    DrawScreenQuad(d, 0, 0, 100, 100, 0x8080FF40u);  // diffuse alpha is ignored: alpha comes from the texture
    h.End();
    ExpectPixel(h, 25, 50, {0, 0, 255});  // keyed: the blue background shows
    ExpectPixel(h, 75, 50, {Modulate(0xC8, 0x80), Modulate(0x64, 0xFF), Modulate(0x32, 0x40)}, 1);
    EXPECT_EQ(texture->Width(), 2u);
    EXPECT_EQ(texture->LevelCount(), 1u);
}

// A stage whose colour operation reads a texture that is not there passes the
// diffuse colour through, alpha included; unbinding returns to that.
TEST(DeviceTextures, UnboundStagePassesDiffuseThrough) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto texture = MakeTexture(d, 1, 1, {0xFF00FF00u});
    EnableAlphaBlending(d);
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFFF8040u);
    DrawScreenQuad(d, 200, 0, 300, 100, 0x80FFFFFFu);  // half alpha from the diffuse colour
    d.SetTexture(0, texture.get());
    DrawScreenQuad(d, 400, 0, 500, 100, 0xFFFFFFFFu);
    d.SetTexture(0, nullptr);
    DrawScreenQuad(d, 600, 0, 700, 100, 0xFF4080FFu);
    h.End();
    ExpectPixel(h, 50, 50, {255, 128, 64});
    ExpectPixel(h, 250, 50, {128, 128, 128}, 1);
    ExpectPixel(h, 450, 50, {0, 255, 0});
    ExpectPixel(h, 650, 50, {64, 128, 255});
}

TEST(DeviceTextures, LinearFilterBlendsAndTextureFromAnotherDeviceIsRefused) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto texture = MakeTexture(d, 2, 1, {0xFF000000u, 0xFFFFFFFFu});
    d.SetTexture(0, texture.get());
    d.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR);
    d.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR);
    d.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    // Texel centres at u = 0.25 and 0.75 land on pixel centres 24.5 and 74.5 (quad from -0.5).
    DrawScreenQuad(d, -0.5f, -0.5f, 99.5f, 9.5f, 0xFFFFFFFFu);
    h.End();
    EXPECT_NEAR(h.Pixel(12, 5).r, 0, 1);   // clamped edge: the first texel
    EXPECT_NEAR(h.Pixel(87, 5).r, 255, 1);
    EXPECT_NEAR(h.Pixel(49, 5).r, 125, 2);  // between the texel centres: a blend
    EXPECT_LT(h.Pixel(40, 5).r, h.Pixel(60, 5).r);

    DeviceHarness other;
    EXPECT_EQ(other.device().SetTexture(0, texture.get()), D3DERR_INVALIDCALL);
}

// A point sprite's texture runs from (0, 0) at its top-left to (1, 1) at its
// bottom-right on screen.
TEST(DevicePoints, SpriteTextureCoordinatesStartTopLeft) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto texture = MakeTexture(d, 2, 2, {0xFFFF0000u, 0xFF0000FFu, 0xFF00FF00u, 0xFFFFFFFFu});
    d.SetTexture(0, texture.get());
    d.SetRenderState(D3DRS_POINTSPRITEENABLE, 1);
    d.SetRenderState(D3DRS_POINTSIZE, Bits(40.0f));
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    const ScreenVertex point = {200, 100, 0, 1, 0xFFFFFFFFu, 0, 0.9f, 0.9f};
    d.SetVertexShader(kScreenVertexFvf);
    ASSERT_EQ(d.DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof point), D3D_OK);
    // Without sprite coordinates every pixel takes the vertex's own (0.9, 0.9): white.
    d.SetRenderState(D3DRS_POINTSPRITEENABLE, 0);
    const ScreenVertex plain = {400, 100, 0, 1, 0xFFFFFFFFu, 0, 0.9f, 0.9f};
    d.DrawPrimitiveUP(D3DPT_POINTLIST, 1, &plain, sizeof plain);
    h.End();
    h.SaveIfAsked("sprite_points");
    ExpectPixel(h, 190, 90, {255, 0, 0});
    ExpectPixel(h, 210, 90, {0, 0, 255});
    ExpectPixel(h, 190, 110, {0, 255, 0});
    ExpectPixel(h, 210, 110, {255, 255, 255});
    ExpectPixel(h, 390, 90, {255, 255, 255});
    ExpectPixel(h, 410, 110, {255, 255, 255});
    // 40 pixels wide, not scaled: pre-transformed points keep their size in pixels.
    int covered = 0;
    for (int x = 150; x < 250; ++x) covered += h.Pixel(x, 100).r + h.Pixel(x, 100).g + h.Pixel(x, 100).b > 0;
    EXPECT_EQ(covered, 40);
}

// With point scaling and A = 1, B = C = 0, a point's size is the viewport
// height times POINTSIZE: 768 x 0.012525 = 9.62 pixels.
TEST(DevicePoints, ScaledPointSizeFollowsViewportHeight) {
    for (float size : {0.012525f, 0.006275f}) {
        DeviceHarness h;
        Direct3DDevice8& d = h.device();
        D3DMATRIX proj;
        D3DXMatrixPerspectiveFovLH(proj, 3.1415927f / 4.0f, 1.0f, 0.1f, 1400.0f);
        d.SetTransform(D3DTS_PROJECTION, proj);
        d.SetRenderState(D3DRS_LIGHTING, 0);
        d.SetRenderState(D3DRS_POINTSCALEENABLE, 1);
        d.SetRenderState(D3DRS_POINTSIZE, Bits(size));
        h.Begin();
        struct {
            float x, y, z;
            D3DCOLOR c;
            float u, v;
        } point = {0, 0, 50, 0xFFFFFFFFu, 0, 0};
        d.SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
        ASSERT_EQ(d.DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, 24), D3D_OK);
        h.End();
        int row = 0, column = 0;
        for (int x = 480; x < 544; ++x) row += h.Pixel(x, 384).r > 0;
        for (int y = 352; y < 416; ++y) column += h.Pixel(512, y).r > 0;
        const double expected = 768.0 * size;
        EXPECT_NEAR(row, expected, 1.0) << "size " << size;
        EXPECT_NEAR(column, expected, 1.0) << "size " << size;
    }
}

}  // namespace

#include "platform/sprite/Sprite.h"

namespace {

// The sprite draws at (x - 0.5, y - 0.5) with linear filtering; on this device
// every texel must land on exactly one pixel, unblurred.
TEST(DeviceTextures, SpriteMapsTexelsOneToOneUnderLinearFiltering) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    std::vector<D3DCOLOR> texels;
    for (uint32_t i = 0; i < 16; ++i) texels.push_back(0xFF000000u | (i * 16) << 16 | ((15 - i) * 16) << 8 | (i % 2) * 255);
    auto texture = MakeTexture(d, 4, 4, texels);
    D3DXSprite sprite(d);
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    const D3DVECTOR2 at = {100, 50};
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), D3D_OK);
    h.End();
    for (int i = 0; i < 16; ++i) {
        const D3DCOLOR t = texels[static_cast<size_t>(i)];
        ExpectPixel(h, 100 + i % 4, 50 + i / 4,
                    {static_cast<int>((t >> 16) & 0xFF), static_cast<int>((t >> 8) & 0xFF), static_cast<int>(t & 0xFF)});
    }
    ExpectPixel(h, 99, 50, {0, 0, 0});
    ExpectPixel(h, 104, 53, {0, 0, 0});
    ExpectPixel(h, 100, 54, {0, 0, 0});
}

TEST(DeviceTextures, AlphaTestDiscardsBelowReference) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto texture = MakeTexture(d, 2, 1, {0x00FFFFFFu, 0x01FFFFFFu});
    d.SetTexture(0, texture.get());
    d.SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    d.SetRenderState(D3DRS_ALPHAFUNC, 5);  // GREATER
    d.SetRenderState(D3DRS_ALPHAREF, 0);
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    DrawScreenQuad(d, 0, 0, 100, 10, 0xFFFFFFFFu);  // no blending: only the test hides texels
    h.End();
    ExpectPixel(h, 25, 5, {0, 0, 0});
    ExpectPixel(h, 75, 5, {255, 255, 255});
}

}  // namespace

namespace {

// Under SRCALPHA / INVSRCALPHA blending a fully transparent texel writes no
// depth, so a card's keyed-out holes do not hide what is drawn behind it later;
// a texel with any alpha still does.
TEST(DeviceTextures, TransparentTexelsWriteNoDepthUnderAlphaBlending) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto card = MakeTexture(d, 2, 1, {0x00000000u, 0x01FFFFFFu});
    EnableAlphaBlending(d);
    h.Begin();
    d.SetTexture(0, card.get());
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFFFFFFFu, 0.2f);  // near
    d.SetTexture(0, nullptr);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFF00FF00u, 0.8f);  // far, drawn afterwards
    h.End();
    ExpectPixel(h, 25, 50, {0, 255, 0});  // behind the hole: the far quad shows
    ExpectPixel(h, 75, 50, {1, 1, 1}, 1);  // behind the faint texel: hidden by its depth
    // With blending off, alpha means nothing and every texel writes depth.
    d.SetRenderState(D3DRS_ALPHABLENDENABLE, 0);
    h.Begin();
    d.SetTexture(0, card.get());
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFFFFFFFu, 0.2f);
    d.SetTexture(0, nullptr);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFF00FF00u, 0.8f);
    h.End();
    ExpectPixel(h, 25, 50, {0, 0, 0});
}

}  // namespace
