// Conventions of the GL device that the demo's picture rests on: where
// pre-transformed geometry and sprites land, culling, blending, depth and
// cut-out cards.
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include "base/Errors.h"
#include "base/Maths.h"
#include "platform/sprite/Sprite.h"
#include "support/DeviceHarness.h"

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
        Begin(h.device(), 0x0000003Au, kClearAll);  // no alpha in the back buffer: still opaque
        const D3DRECT rect{100, 200, 110, 205};
        ASSERT_EQ(h.device().Clear(1, &rect, D3DCLEAR_TARGET, 0xFFFF8000u, 1.0f, 0), D3D_OK);
        DrawScreenQuad(h.device(), 10, 20, 30, 40, 0xFFFFFFFFu);
        End(h.device());
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
    Begin(h.device(), 0xFF000000u, D3DCLEAR_TARGET);
    const D3DVECTOR2 at = {100, 50}, faded = {200, 50};
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, &at, 0xFFFFFFFFu), D3D_OK);
    ASSERT_EQ(sprite.Draw(texture.get(), nullptr, nullptr, nullptr, 0.0f, &faded, 0x80FFFFFFu), D3D_OK);
    End(h.device());
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
        Begin(h.device(), 0xFF000000u, kClearAll);
        d.SetVertexShader(kScreenVertexFvf);
        d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, clockwise, sizeof(ScreenVertex));
        d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, counterClockwise, sizeof(ScreenVertex));
        End(h.device());
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
    Begin(h.device(), 0xFF000000u, kClearAll);
    DrawScreenQuad(d, 0, 0, 100, 100, 0xFFC80000u);
    d.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    d.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    d.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
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
    End(h.device());
    ExpectPixel(h, 50, 50, {149, 0, 64}, 1, "blend");
    ExpectPixel(h, 250, 50, kGreen, 0, "no depth write");
    ExpectPixel(h, 450, 50, kRed, 0, "depth write");
    ExpectPixel(h, 625, 50, kGreen, 0, "behind a transparent texel");
    ExpectPixel(h, 675, 50, {1, 1, 1}, 1, "behind a faint texel");
    ExpectPixel(h, 850, 50, kBlue, 0, "no depth test");
}

// Four samples per pixel: a slanted white triangle on black gets pixels of
// partial coverage along its slanted edge, and pixels wholly in or out of it
// keep the colours they have without multisampling. Left to the renderer the
// count is none on llvmpipe; one beyond the renderer's is refused when the
// device is made, with the count named.
TEST(DeviceOutput, MultisamplingSmoothsEdgesAndLeavesFlatAreas) {
    const ScreenVertex slanted[3] = {{100, 100, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                     {400, 130, 0, 1, 0xFFFFFFFFu, 0, 0, 0},
                                     {100, 300, 0, 1, 0xFFFFFFFFu, 0, 0, 0}};
    Frame frames[2];
    for (int i = 0; i < 2; ++i) {
        GLDeviceConfig config;
        config.samples = i == 0 ? 0 : 4;
        DeviceHarness h(config);
        ASSERT_EQ(h.device().Samples(), config.samples);
        Begin(h.device(), 0xFF000000u, kClearAll);
        h.device().SetVertexShader(kScreenVertexFvf);
        h.device().DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, slanted, sizeof(ScreenVertex));
        End(h.device());
        frames[i] = h;
    }
    auto partial = [](const Rgb& c) { return c.r > 0 && c.r < 255; };
    EXPECT_EQ(Find(frames[0], 0, 0, 1024, 768, partial).count, 0);
    const Found edge = Find(frames[1], 0, 0, 1024, 768, partial);
    EXPECT_GT(edge.count, 200);
    EXPECT_TRUE(edge.left >= 99 && edge.right <= 401 && edge.top >= 99 && edge.bottom <= 301);
    int changedFlat = 0;
    for (int y = 0; y < 768; y += 2)
        for (int x = 0; x < 1024; x += 2)
            changedFlat += !partial(frames[1].Pixel(x, y)) && !(frames[1].Pixel(x, y) == frames[0].Pixel(x, y));
    EXPECT_EQ(changedFlat, 0);

    // Left to the renderer: none on Mesa's software renderer, 4 on a GPU.
    GLDeviceConfig byRenderer;
    byRenderer.samples = GLDeviceConfig::kRendererSamples;
    DeviceHarness chosen(byRenderer);
    const std::string renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    EXPECT_EQ(chosen.device().Samples(), renderer.find("llvmpipe") != std::string::npos ? 0 : 4) << renderer;

    GLDeviceConfig tooMany;
    tooMany.samples = 64;
    const std::string refusal = ErrorMessage<OutputSettingsError>([&] { DeviceHarness refused(tooMany); });
    EXPECT_NE(refusal.find("64 samples"), std::string::npos) << refusal;
}

// An output wider than 4:3 holds the picture centred at twice the screen's
// size: 2148 x 1536 puts a 2048 x 1536 picture 50 pixels in. A screen pixel
// becomes a 2 x 2 block: a cleared rectangle and a quad whose edges lie on
// pixel edges (as the sprite's and the text's do) cover exactly their
// blocks, a point of 8 pixels is 16 wide, and nothing reaches the sides.
TEST(DeviceOutput, TheScreenMapsOntoAPictureCentredInTheOutput) {
    GLDeviceConfig config;
    config.outputWidth = 2148;
    config.outputHeight = 1536;
    config.samples = 0;
    DeviceHarness h(config);
    Direct3DDevice8& d = h.device();
    EXPECT_EQ(d.PictureScale().x, 2.0f);
    EXPECT_EQ(d.PictureScale().y, 2.0f);
    Begin(d, 0xFF0000FFu, kClearAll);
    const D3DRECT rect{100, 200, 110, 205};
    d.Clear(1, &rect, D3DCLEAR_TARGET, 0xFF00FF00u, 1.0f, 0);
    DrawScreenQuad(d, 9.5f, 19.5f, 29.5f, 39.5f, 0xFFFF0000u);
    d.SetRenderState(D3DRS_POINTSCALEENABLE, 0);
    d.SetRenderState(D3DRS_POINTSIZE, FloatToDWord(8.0f));
    const ScreenVertex point{300, 300, 0, 1, 0xFFFF0000u, 0, 0, 0};
    d.DrawPrimitiveUP(D3DPT_POINTLIST, 1, &point, sizeof(ScreenVertex));
    End(d);
    ASSERT_EQ(h.width, 2148u);
    auto red = [](const Rgb& c) { return c == kRed; };
    const Found quad = Find(h, 0, 0, 200, 200, red);
    EXPECT_EQ(quad.count, 40 * 40);
    EXPECT_EQ(quad.left, 70);
    EXPECT_EQ(quad.top, 40);
    const Found cleared = Find(h, 200, 350, 400, 450, [](const Rgb& c) { return c == kGreen; });
    EXPECT_EQ(cleared.count, 20 * 10);
    EXPECT_EQ(cleared.left, 250);
    EXPECT_EQ(cleared.top, 400);
    const Found dot = Find(h, 550, 550, 750, 750, red);
    EXPECT_EQ(dot.Width(), 16);
    EXPECT_EQ(dot.count, 16 * 16);
    ExpectPixel(h, 50, 0, kBlue);
    ExpectPixel(h, 2097, 1535, kBlue);
    auto notBlack = [](const Rgb& c) { return c != kBlack; };
    EXPECT_EQ(Find(h, 0, 0, 50, 1536, notBlack).count + Find(h, 2098, 0, 2148, 1536, notBlack).count, 0);
}

}  // namespace

// In builds with GL checks, an invalid GL call fails the frame's Present with
// the driver's words, which name the call; the next frame is clean again.
TEST(DeviceErrors, AnInvalidGLCallFailsThePresentNamingIt) {
#ifndef VELMORA_GL_DEBUG
    GTEST_SKIP() << "GL errors are checked only in builds with VELMORA_GL_DEBUG";
#else
    DeviceHarness h;
    Begin(h.device());
    glBlendFunc(GL_SRC_ALPHA, GL_TEXTURE_2D);
    try {
        End(h.device());
        ADD_FAILURE() << "the invalid call went unnoticed";
    } catch (const ResultError& error) {
        EXPECT_NE(std::string(error.what()).find("glBlendFunc"), std::string::npos) << error.what();
    }
    Begin(h.device());
    EXPECT_NO_THROW(End(h.device()));
#endif
}
