// Rasterisation conventions of the GL device: clears, where pre-transformed
// geometry lands, texel alignment, culling, blending and depth.
#include <gtest/gtest.h>

#include "common/Wrappers.h"
#include "support/DeviceHarness.h"

namespace {

constexpr DWORD kClearAll = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;

TEST(DeviceClear, FillsTheBackBufferOpaqueAndRespectsRectangles) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    // Alpha 0 in the clear colour still gives an opaque back buffer (it has no alpha).
    ASSERT_EQ(d.Clear(0, nullptr, D3DCLEAR_TARGET, 0x0000003Au, 1.0f, 0), D3D_OK);
    const D3DRECT rect{100, 200, 110, 205};
    ASSERT_EQ(d.Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF8000u, 1.0f, 0), D3D_OK);
    h.Present();
    ExpectPixel(h, 0, 0, {0, 0, 58});
    ExpectPixel(h, 1023, 767, {0, 0, 58});
    EXPECT_EQ(h.Alpha(512, 384), 255);
    ExpectPixel(h, 100, 200, {255, 128, 0});
    ExpectPixel(h, 109, 204, {255, 128, 0});
    ExpectPixel(h, 110, 204, {0, 0, 58});
    ExpectPixel(h, 109, 205, {0, 0, 58});
    ExpectPixel(h, 99, 200, {0, 0, 58});
    EXPECT_EQ(h.presents, 1);
}

TEST(DeviceClear, DepthClearValueDecidesWhatPassesLater) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    ASSERT_EQ(d.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000u, 0.5f, 0), D3D_OK);
    ASSERT_EQ(d.BeginScene(), D3D_OK);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFFF0000u, 0.6f);  // behind the cleared depth: hidden
    DrawScreenQuad(d, 200, 0, 300, 100, 0xFF00FF00u, 0.4f);  // in front: drawn
    h.End();
    ExpectPixel(h, 50, 50, {0, 0, 0});
    ExpectPixel(h, 250, 50, {0, 255, 0});
}

TEST(DeviceClear, RejectsDepthOrStencilClearWithoutThoseBuffers) {
    GLDeviceConfig config;
    config.depthFormat = 0;
    DeviceHarness h(config);
    EXPECT_EQ(h.device().Clear(0, nullptr, D3DCLEAR_ZBUFFER, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(h.device().Clear(0, nullptr, D3DCLEAR_STENCIL, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    EXPECT_EQ(h.device().Clear(1, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0), D3DERR_INVALIDCALL);
    DWORD z = 9;
    h.device().GetRenderState(D3DRS_ZENABLE, &z);
    EXPECT_EQ(z, D3DZB_FALSE);  // no depth buffer, no depth test by default
}

// Integer screen coordinates name pixel centres: a quad from (10, 20) to
// (30, 40) covers columns 10..29 and rows 20..39, row 0 being the top.
TEST(DeviceScreenSpace, IntegerQuadCoversExactlyItsPixels) {
    for (bool clipControl : {true, false}) {
        GLDeviceConfig config;
        config.allowClipControl = clipControl;
        DeviceHarness h(config);
        h.Begin(0xFF000000u, kClearAll);
        DrawScreenQuad(h.device(), 10, 20, 30, 40, 0xFFFFFFFFu);
        DrawScreenQuad(h.device(), 0, 0, 1024, 768 - 700, 0xFF0000FFu, 0.5f);
        h.End();
        for (int x = 8; x < 33; ++x) {
            for (int y = 18; y < 43; ++y) {
                const bool inside = x >= 10 && x < 30 && y >= 20 && y < 40;
                EXPECT_EQ(h.Pixel(x, y).r, inside ? 255 : 0) << x << "," << y << " clip control " << clipControl;
            }
        }
        // The full-width quad reaches the first and last column and row 67, not row 68.
        ExpectPixel(h, 0, 0, {0, 0, 255});
        ExpectPixel(h, 1023, 67, {0, 0, 255});
        ExpectPixel(h, 1023, 68, {0, 0, 0});
    }
}

// Quads drawn half a pixel up and left (as the sprite draws them) map a
// texture's texels one to one onto pixels, with point and with linear filters.
TEST(DeviceScreenSpace, HalfPixelShiftedQuadMapsTexelsOneToOne) {
    const std::vector<D3DCOLOR> texels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    const Rgb want[4] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        DeviceHarness h;
        Direct3DDevice8& d = h.device();
        auto texture = MakeTexture(d, 2, 2, texels);
        d.SetTexture(0, texture.get());
        d.SetTextureStageState(0, D3DTSS_MINFILTER, filter);
        d.SetTextureStageState(0, D3DTSS_MAGFILTER, filter);
        d.SetTextureStageState(0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP);
        d.SetTextureStageState(0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP);
        h.Begin(0xFF202020u, kClearAll);
        DrawScreenQuad(d, -0.5f, -0.5f, 1.5f, 1.5f, 0xFFFFFFFFu);
        DrawScreenQuad(d, 99.5f, 49.5f, 101.5f, 51.5f, 0xFFFFFFFFu);
        h.End();
        const int tolerance = 0;
        for (int i = 0; i < 4; ++i) {
            ExpectPixel(h, i % 2, i / 2, want[i], tolerance);
            ExpectPixel(h, 100 + i % 2, 50 + i / 2, want[i], tolerance);
        }
        ExpectPixel(h, 2, 0, {32, 32, 32});
        ExpectPixel(h, 102, 50, {32, 32, 32});
        ExpectPixel(h, 100, 52, {32, 32, 32});
        ExpectPixel(h, 99, 50, {32, 32, 32});
    }
}

// D3DCULL_CCW removes what is counter-clockwise as seen on screen (y down);
// D3DCULL_CW the opposite; NONE keeps both.
TEST(DeviceCulling, CullModesFollowOnScreenWinding) {
    const ScreenVertex clockwise[3] = {{100, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                       {200, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                       {100, 200, 0, 1, 0xFFFFFFFFu, 0, 0, 0}};
    const ScreenVertex counterClockwise[3] = {{400, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                              {400, 200, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                              {500, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0}};
    struct Case {
        DWORD mode;
        bool clockwiseDrawn, counterClockwiseDrawn;
    };
    for (const Case& c : {Case{D3DCULL_CCW, true, false}, Case{D3DCULL_CW, false, true}, Case{D3DCULL_NONE, true, true}}) {
        DeviceHarness h;
        Direct3DDevice8& d = h.device();
        d.SetRenderState(D3DRS_CULLMODE, c.mode);
        h.Begin(0xFF000000u, kClearAll);
        d.SetVertexShader(kScreenVertexFvf);
        d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(ScreenVertex));
        d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counterClockwise, sizeof(ScreenVertex));
        h.End();
        EXPECT_EQ(h.Pixel(120, 120).r, c.clockwiseDrawn ? 255 : 0) << "mode " << c.mode;
        EXPECT_EQ(h.Pixel(420, 120).r, c.counterClockwiseDrawn ? 255 : 0) << "mode " << c.mode;
    }
}

TEST(DeviceBlending, SourceAlphaOverInverseSourceAlpha) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    h.Begin(0xFF000000u, kClearAll);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFC80000u);  // opaque red 200
    EnableAlphaBlending(d);
    DrawScreenQuad(d, 0, 0, 100, 100, 0x400000FFu);  // blue at alpha 64
    DrawScreenQuad(d, 200, 0, 300, 100, 0x0000FF00u);  // alpha 0: invisible
    h.End();
    const double a = 64.0 / 255.0;
    ExpectPixel(h, 50, 50, {static_cast<int>(200 * (1 - a) + 0.5), 0, static_cast<int>(255 * a + 0.5)}, 1);
    ExpectPixel(h, 250, 50, {0, 0, 0});
}

TEST(DeviceDepth, TestAndWriteAreSeparate) {
  for (bool clipControl : {true, false}) {
    GLDeviceConfig config;
    config.allowClipControl = clipControl;
    DeviceHarness h(config);
    Direct3DDevice8& d = h.device();
    D3DMATRIX proj;
    D3DXMatrixPerspectiveFovLH(proj, 3.1415927f / 4.0f, 1.0f, 0.1f, 1400.0f);
    d.SetTransform(D3DTS_PROJECTION, proj);
    d.SetRenderState(D3DRS_LIGHTING, 0);
    h.Begin(0xFF000000u, kClearAll);
    // Left: a near quad with depth writes hides the far one drawn after it.
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFFF0000u, 0.2f);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFF00FF00u, 0.8f);
    // Right: without depth writes the near quad leaves the depth clear, so the far one covers it.
    d.SetRenderState(D3DRS_ZWRITEENABLE, 0);
    DrawScreenQuad(d, 200, 0, 300, 100, 0xFFFF0000u, 0.2f);
    d.SetRenderState(D3DRS_ZWRITEENABLE, 1);
    DrawScreenQuad(d, 200, 0, 300, 100, 0xFF00FF00u, 0.8f);
    // With the depth test off the far quad is drawn over the near one.
    DrawScreenQuad(d, 400, 0, 500, 100, 0xFFFF0000u, 0.2f);
    d.SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawScreenQuad(d, 400, 0, 500, 100, 0xFF0000FFu, 0.8f);
    // Projected geometry: a far square drawn after a near one stays behind it,
    // and what is nearer than the near plane is clipped, as with depth 0..1.
    d.SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    struct V {
        float x, y, z;
        D3DCOLOR c;
    };
    auto square = [&](float z, D3DCOLOR c) {
        const float s = 0.1f * z;
        const V q[6] = {{-s, s, z, c}, {s, s, z, c}, {-s, -s, z, c}, {s, s, z, c}, {s, -s, z, c}, {-s, -s, z, c}};
        d.SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE);
        d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(V));
    };
    square(0.2f, 0xFFFFFF00u);
    square(0.25f, 0xFF00FFFFu);
    square(1300.0f, 0xFF00FFFFu);
    square(0.09f, 0xFFFF00FFu);  // nearer than the near plane (0.1): clipped away
    d.SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    h.End();
    ExpectPixel(h, 50, 50, {255, 0, 0});
    ExpectPixel(h, 250, 50, {0, 255, 0});
    ExpectPixel(h, 450, 50, {0, 0, 255});
    ExpectPixel(h, 512, 384, {255, 255, 0});
  }
}

}  // namespace
