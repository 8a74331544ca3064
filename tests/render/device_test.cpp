// Conventions of the GL device that the demo's picture rests on: where
// pre-transformed geometry and sprites land, culling, blending, depth, cut-out
// cards, texture stages, point sprites, the draw rules and the frame capture.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Wrappers.h"
#include "platform/sprite/Sprite.h"
#include "support/DeviceHarness.h"
#include "support/TestSupport.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb_image.h>
#pragma GCC diagnostic pop

namespace {

constexpr DWORD kClearAll = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
const Rgb kBlack{0, 0, 0}, kRed{255, 0, 0}, kGreen{0, 255, 0}, kBlue{0, 0, 255};

// Integer screen coordinates name pixel centres, row 0 at the top: a quad from
// (10, 20) to (30, 40) covers columns 10..29 and rows 20..39, with or without
// the clip-control extension. A cleared rectangle covers its pixels.
TEST(DeviceScreenSpace, QuadsAndClearRectanglesCoverExactlyTheirPixels) {
    for (bool clipControl : {true, false}) {
        GLDeviceConfig config;
        config.allowClipControl = clipControl;
        DeviceHarness h(config);
        h.Begin(0x0000003Au, kClearAll);  // no alpha in the back buffer: still opaque
        const D3DRECT rect{100, 200, 110, 205};
        ASSERT_EQ(h.device().Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF8000u, 1.0f, 0), D3D_OK);
        DrawScreenQuad(h.device(), 10, 20, 30, 40, 0xFFFFFFFFu);
        h.End();
        const Found quad = Find(h, 0, 0, 100, 100, [](const Rgb& c) { return c.r == 255; });
        EXPECT_EQ(quad.count, 400) << "clip control " << clipControl;
        EXPECT_EQ(quad.left, 10);
        EXPECT_EQ(quad.top, 20);
        EXPECT_EQ(quad.bottom, 39);
        const Found cleared = Find(h, 90, 190, 120, 215, [](const Rgb& c) { return c.r == 255; });
        EXPECT_EQ(cleared.count, 50);
        EXPECT_EQ(cleared.top, 200);
        ExpectPixel(h, 1023, 767, {0, 0, 58});
    }
}

// The sprite draws half a pixel up and left with linear filtering: every
// texel lands on exactly one pixel, unblurred, and the colour's alpha fades it.
TEST(DeviceScreenSpace, SpriteMapsTexelsOneToOne) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    std::vector<D3DCOLOR> texels;
    for (uint32_t i = 0; i < 16; ++i) texels.push_back(0xFF000000u | (i * 16) << 16 | ((15 - i) * 16) << 8 | (i % 2) * 255);
    auto texture = MakeTexture(d, 4, 4, texels);
    D3DXSprite sprite(d);
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    const D3DVECTOR2 at = {100, 50}, faded = {200, 50};
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), D3D_OK);
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, &faded, 0x80FFFFFFu), D3D_OK);
    h.End();
    for (int i = 0; i < 16; ++i) {
        const int r = i * 16, g = (15 - i) * 16, b = (i % 2) * 255;
        ExpectPixel(h, 100 + i % 4, 50 + i / 4, {r, g, b});
        ExpectPixel(h, 200 + i % 4, 50 + i / 4, {r / 2, g / 2, b / 2}, 2, "half alpha");
    }
    EXPECT_EQ(Find(h, 95, 45, 110, 60, [](const Rgb& c) { return c != kBlack; }).count, 16);
}

// D3DCULL_CCW removes what is counter-clockwise on screen (y down), CW the
// opposite, NONE neither.
TEST(DeviceRaster, CullModesFollowOnScreenWinding) {
    const ScreenVertex clockwise[3] = {{100, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                       {200, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                       {100, 200, 0, 1, 0xFFFFFFFFu, 0, 0, 0}};
    const ScreenVertex counterClockwise[3] = {{400, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                              {400, 200, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                              {500, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0}};
    const struct {
        DWORD mode;
        bool clockwiseDrawn, counterClockwiseDrawn;
    } cases[] = {{D3DCULL_CCW, true, false}, {D3DCULL_CW, false, true}, {D3DCULL_NONE, true, true}};
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    for (const auto& c : cases) {
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

// Blending, depth writes and cut-out cards, side by side in one frame:
//  (0)   blue at alpha 64 over red: mostly red with a quarter of blue;
//  (200) a near quad without depth writes leaves the far one drawn after it visible;
//  (400) with depth writes the near quad hides the far one;
//  (600) a card's fully transparent texel writes no depth under blending, a
//        faint one does; (800) with the depth test off the last quad wins.
TEST(DeviceRaster, BlendingDepthAndCutOutCards) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto card = MakeTexture(d, 2, 1, {0x00000000u, 0x01FFFFFFu});
    h.Begin(0xFF000000u, kClearAll);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFC80000u);
    EnableAlphaBlending(d);
    DrawScreenQuad(d, 0, 0, 100, 100, 0x400000FFu);
    d.SetRenderState(D3DRS_ZWRITEENABLE, 0);
    DrawScreenQuad(d, 200, 0, 300, 100, 0xFFFF0000u, 0.2f);
    d.SetRenderState(D3DRS_ZWRITEENABLE, 1);
    DrawScreenQuad(d, 200, 0, 300, 100, 0xFF00FF00u, 0.8f);
    DrawScreenQuad(d, 400, 0, 500, 100, 0xFFFF0000u, 0.2f);
    DrawScreenQuad(d, 400, 0, 500, 100, 0xFF00FF00u, 0.8f);
    d.SetTexture(0, card.get());
    DrawScreenQuad(d, 600, 0, 700, 100, 0xFFFFFFFFu, 0.2f);
    d.SetTexture(0, nullptr);
    DrawScreenQuad(d, 600, 0, 700, 100, 0xFF00FF00u, 0.8f);
    DrawScreenQuad(d, 800, 0, 900, 100, 0xFFFF0000u, 0.2f);
    d.SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    DrawScreenQuad(d, 800, 0, 900, 100, 0xFF0000FFu, 0.8f);
    h.End();
    ExpectPixel(h, 50, 50, {149, 0, 64}, 1, "blend");
    ExpectPixel(h, 250, 50, kGreen, 0, "no depth write");
    ExpectPixel(h, 450, 50, kRed, 0, "depth write");
    ExpectPixel(h, 625, 50, kGreen, 0, "behind a transparent texel");
    ExpectPixel(h, 675, 50, {1, 1, 1}, 1, "behind a faint texel");
    ExpectPixel(h, 850, 50, kBlue, 0, "no depth test");
}

// Default stage 0 modulates the texture by the diffuse colour and takes the
// texture's alpha; an unbound stage passes the diffuse colour through; the
// alpha test discards what fails it even without blending.
TEST(DeviceTextures, StagesAndAlphaTest) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    auto texture = MakeTexture(d, 2, 1, {0x00FFFFFFu, 0xFFC86432u});
    h.Begin(0xFF0000FFu, D3DCLEAR_TARGET);
    DrawScreenQuad(d, 200, 0, 300, 100, 0x80FF8040u);
    d.SetTexture(0, texture.get());
    d.SetRenderState(D3DRS_ALPHATESTENABLE, 1);
    d.SetRenderState(D3DRS_ALPHAFUNC, 5);  // greater
    d.SetRenderState(D3DRS_ALPHAREF, 0);
    DrawScreenQuad(d, 0, 0, 100, 100, 0x8080FF40u);
    h.End();
    ExpectPixel(h, 25, 50, kBlue, 0, "alpha 0 discarded");
    ExpectPixel(h, 75, 50, {100, 100, 13}, 1, "texture x diffuse");
    ExpectPixel(h, 250, 50, {255, 128, 64}, 0, "no texture");
}

// The draw rules: no draw outside a scene, no nested scenes, unknown kinds and
// missing data refused; strips, fans and lines drawn; thousands of small
// draws wrap the streaming buffer without losing one.
TEST(DeviceDraw, PrimitiveKindsRulesAndStreamWrap) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    struct P {
        float x, y, z, rhw;
        D3DCOLOR c;
    };
    const P strip[4] = {{100, 100, 0, 1, 0xFFFF0000u}, {200, 100, 0, 1, 0xFFFF0000u}, {100, 200, 0, 1, 0xFFFF0000u},
                        {200, 200, 0, 1, 0xFFFF0000u}};
    const P fan[4] = {{300, 100, 0, 1, 0xFF00FF00u}, {400, 100, 0, 1, 0xFF00FF00u}, {400, 200, 0, 1, 0xFF00FF00u},
                      {300, 200, 0, 1, 0xFF00FF00u}};
    const P line[2] = {{500, 150, 0, 1, 0xFF0000FFu}, {600, 150, 0, 1, 0xFF0000FFu}};
    d.SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, strip, sizeof(P)), D3DERR_INVALIDCALL);
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    EXPECT_EQ(d.BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(P)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof(P)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(P)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, sizeof(P)), D3DERR_INVALIDCALL);
    EXPECT_EQ(d.DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(9), 1, strip, sizeof(P)), D3DERR_INVALIDCALL);
    // 4 MiB of stream at 192 bytes a quad is about 22000 draws: go past it.
    for (int i = 0; i < 30000; ++i) {
        const float x = static_cast<float>(i % 1000), y = 300.0f + static_cast<float>(i / 1000) * 10.0f;
        DrawScreenQuad(d, x, y, x + 1, y + 10, 0xFF000000u | static_cast<D3DCOLOR>(i % 251 + 1));
    }
    h.End();
    EXPECT_EQ(d.EndScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(h.Pixel(150, 150), kRed);
    EXPECT_EQ(h.Pixel(350, 150), kGreen);
    EXPECT_EQ(h.Pixel(550, 150), kBlue);
    EXPECT_EQ(h.Pixel(550, 160), kBlack);
    for (int i : {0, 21000, 22500, 29999})
        EXPECT_EQ(h.Pixel(i % 1000, 305 + i / 1000 * 10).b, i % 251 + 1) << "draw " << i;
}

// The capture writes one PNG per present, one present late, top row first,
// the last at the flush and only once.
TEST(FrameCapture, WritesOnePngPerPresentTopRowFirst) {
    TempDir temp;
    const std::filesystem::path folder = temp.path() / "frames";
    DeviceHarness h;
    PngFrameWriter writer(folder);
    Direct3DDevice8& d = h.device();
    d.SetPresentListener(&writer);
    for (int frame = 0; frame < 5; ++frame) {
        h.Begin(0xFF000000u | static_cast<D3DCOLOR>(frame * 40), D3DCLEAR_TARGET);
        DrawScreenQuad(d, 0, 0, 1024, 10, 0xFFFF0000u);
        h.End();
        EXPECT_EQ(writer.FramesWritten(), static_cast<uint64_t>(frame));
    }
    d.FlushFrames();
    d.FlushFrames();
    EXPECT_EQ(writer.FramesWritten(), 5u);
    EXPECT_FALSE(std::filesystem::exists(folder / PngFrameWriter::FrameFileName(5)));
    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load((folder / "frame_000003.png").string().c_str(), &width, &height, &channels, 0);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width * height * channels, 1024 * 768 * 3);
    EXPECT_EQ(pixels[0], 255);
    EXPECT_EQ(pixels[static_cast<size_t>(767) * 1024 * 3 + 2], 120);  // frame 3's clear colour
    stbi_image_free(pixels);
    EXPECT_THROW(PngFrameWriter(temp.Write("occupied", "x") / "frames"), DemoError);
}

}  // namespace
