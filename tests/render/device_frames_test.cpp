// Whole frames: the graphics-mode set-up on a real window, PNG capture of
// presented frames, and the draw-call contract of DrawPrimitiveUP.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/Variables.h"
#include "loading/m_InitGraphicsMode.h"
#include "platform/capture/FrameCapture.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
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

class AllFrames final : public PresentListener {
public:
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        frames.emplace_back(rgba, rgba + static_cast<size_t>(width) * height * 4);
    }
    bool WantsPixels() const override { return true; }
    std::vector<std::vector<uint8_t>> frames;
};

TEST(DeviceGraphicsMode, RealDeviceShowsOneDarkBlueFrame) {
    WindowOptions options;
    options.offscreen = true;
    Window window(options);
    AllFrames keeper;
    window.SetPresentListener(&keeper);
    frmMain = &window;
    D3D = std::make_unique<Direct3D8>();
    D3DX = std::make_unique<D3DX8>();
    const bool ok = m_InitGraphicsMode(3, D3DFMT_D24S8, false);
    EXPECT_TRUE(ok);
    ASSERT_EQ(keeper.frames.size(), 1u);
    const std::vector<uint8_t>& frame = keeper.frames[0];
    ASSERT_EQ(frame.size(), 1024u * 768u * 4u);
    size_t wrong = 0;
    for (size_t i = 0; i < frame.size(); i += 4)
        wrong += frame[i] != 0 || frame[i + 1] != 0 || frame[i + 2] != 58 || frame[i + 3] != 255;
    EXPECT_EQ(wrong, 0u);
    DWORD value = 0;
    D3DDevice->GetRenderState(D3DRS_POINTSIZE, &value);
    EXPECT_EQ(value, 0x3DCCCCCDu);
    EXPECT_EQ(D3DDevice->BackBufferWidth(), 1024u);
    EXPECT_NE(Sprite, nullptr);
    Sprite.reset();
    D3DDevice.reset();
    D3DX.reset();
    D3D.reset();
    frmMain = nullptr;
}

TEST(DeviceGraphicsMode, MultisampledBackBufferIsResolvedBeforeReadBack) {
    GLDeviceConfig config;
    config.samples = 2;
    DeviceHarness h(config);
    Direct3DDevice8& d = h.device();
    h.Begin(0xFF00003Au);
    DrawScreenQuad(d, 10, 10, 20, 20, 0xFFFFFFFFu);
    h.End();
    EXPECT_EQ(h.Pixel(0, 0).b, 58);
    EXPECT_EQ(h.Alpha(0, 0), 255);
    EXPECT_EQ(h.Pixel(15, 15).r, 255);
}

TEST(FrameCapture, WritesOnePngPerPresentTopRowFirstOnePresentLate) {
    TempDir temp;
    const std::filesystem::path folder = temp.path() / "frames";
    DeviceHarness h;
    PngFrameWriter writer(folder);
    h.device().SetPresentListener(&writer);
    Direct3DDevice8& d = h.device();
    for (int frame = 0; frame < 5; ++frame) {
        d.Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF000000u | static_cast<D3DCOLOR>(frame * 40), 1.0f, 0);
        d.BeginScene();
        DrawScreenQuad(d, 0, 0, 1024, 10, 0xFFFF0000u);  // the top ten rows
        d.EndScene();
        ASSERT_EQ(d.Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        EXPECT_EQ(writer.FramesWritten(), static_cast<uint64_t>(frame)) << "read back one present late";
    }
    d.FlushFrames();
    EXPECT_EQ(writer.FramesWritten(), 5u) << "the last frame comes at the flush";
    d.FlushFrames();
    EXPECT_EQ(writer.FramesWritten(), 5u) << "and only once";
    size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files += entry.path().extension() == ".png";
    EXPECT_EQ(files, 5u);
    EXPECT_FALSE(std::filesystem::exists(folder / "frame_000005.png"));

    int width = 0, height = 0, channels = 0;
    stbi_uc* pixels = stbi_load((folder / "frame_000003.png").string().c_str(), &width, &height, &channels, 0);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(width, 1024);
    EXPECT_EQ(height, 768);
    EXPECT_EQ(channels, 3);  // opaque: no alpha channel
    EXPECT_EQ(pixels[0], 255);  // top-left is in the red band
    const size_t last = (static_cast<size_t>(767) * 1024) * 3;
    EXPECT_EQ(pixels[last + 0], 0);
    EXPECT_EQ(pixels[last + 2], 120);  // frame 3's clear colour
    stbi_image_free(pixels);
    EXPECT_EQ(PngFrameWriter::FrameFileName(42), "frame_000042.png");
}

TEST(FrameCapture, UnwritableFolderIsAnError) {
    TempDir temp;
    const std::filesystem::path file = temp.Write("occupied", "x");
    EXPECT_THROW(PngFrameWriter(file / "frames"), DemoError);
}

struct ColourPoint {
    float x, y, z, rhw;
    D3DCOLOR c;
};

TEST(DeviceDraw, PrimitiveKindsCountsAndCallRules) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    const ColourPoint strip[4] = {{100, 100, 0, 1, 0xFFFF0000u}, {200, 100, 0, 1, 0xFFFF0000u},
                                  {100, 200, 0, 1, 0xFFFF0000u}, {200, 200, 0, 1, 0xFFFF0000u}};
    const ColourPoint fan[4] = {{300, 100, 0, 1, 0xFF00FF00u}, {400, 100, 0, 1, 0xFF00FF00u},
                                {400, 200, 0, 1, 0xFF00FF00u}, {300, 200, 0, 1, 0xFF00FF00u}};
    const ColourPoint line[2] = {{500, 150, 0, 1, 0xFF0000FFu}, {600, 150, 0, 1, 0xFF0000FFu}};
    d.SetVertexShader(D3DFVF_XYZRHW | D3DFVF_DIFFUSE);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, strip, sizeof(ColourPoint)), D3DERR_INVALIDCALL);  // no scene
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    EXPECT_EQ(d.BeginScene(), D3DERR_INVALIDCALL);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, strip, sizeof(ColourPoint)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLEFAN, 2, fan, sizeof(ColourPoint)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_LINELIST, 1, line, sizeof(ColourPoint)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 0, strip, sizeof(ColourPoint)), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, strip, 0), D3D_OK);
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, nullptr, sizeof(ColourPoint)), D3DERR_INVALIDCALL);
    EXPECT_EQ(d.DrawPrimitiveUP(static_cast<D3DPRIMITIVETYPE>(9), 1, strip, sizeof(ColourPoint)), D3DERR_INVALIDCALL);
    ASSERT_EQ(d.EndScene(), D3D_OK);
    EXPECT_EQ(d.EndScene(), D3DERR_INVALIDCALL);
    h.Present();
    EXPECT_EQ(h.Pixel(150, 150).r, 255);
    EXPECT_EQ(h.Pixel(350, 150).g, 255);
    EXPECT_EQ(h.Pixel(550, 150).b, 255);
    EXPECT_EQ(h.Pixel(550, 160).b, 0);
    d.BeginScene();
    ASSERT_EQ(d.SetVertexShader(0x100), D3D_OK);  // kept, but a format without position cannot draw
    EXPECT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, strip, sizeof(ColourPoint)), D3DERR_INVALIDCALL);
    d.EndScene();
}

// Many small draws wrap the streaming buffer; every one must still land.
TEST(DeviceDraw, StreamingBufferWrapsWithoutLosingDraws) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    h.Begin(0xFF000000u, D3DCLEAR_TARGET);
    // 4 MiB of stream at 192 bytes a quad is about 22000 draws: go past it.
    for (int i = 0; i < 30000; ++i) {
        const float x = static_cast<float>(i % 1000), y = static_cast<float>(i / 1000) * 10.0f;
        DrawScreenQuad(d, x, y, x + 1, y + 10, 0xFF000000u | static_cast<D3DCOLOR>(i % 251 + 1));
    }
    h.End();
    for (int i : {0, 21000, 22500, 29999}) {
        const int x = i % 1000, y = i / 1000 * 10 + 5;
        EXPECT_EQ(h.Pixel(x, y).b, i % 251 + 1) << "draw " << i;
    }
}

}  // namespace

namespace {

// Showing the frame in the window (blit, swap) leaves the device's own state
// and back buffer as they were for the next frame.
TEST(DevicePresent, PresentingToTheWindowKeepsDrawingState) {
    DeviceHarness h({}, true);
    Direct3DDevice8& d = h.device();
    d.SetRenderState(D3DRS_COLORWRITEENABLE, 0x1);  // red only
    for (int frame = 0; frame < 2; ++frame) {
        h.Begin(0xFF000040u, D3DCLEAR_TARGET);
        DrawScreenQuad(d, 0, 0, 50, 50, 0xFFFFFFFFu);
        h.End();
        EXPECT_EQ(h.Pixel(25, 25).r, 255);
        EXPECT_EQ(h.Pixel(25, 25).g, 0);
        EXPECT_EQ(h.Pixel(25, 25).b, 64);
        EXPECT_EQ(h.Pixel(100, 100).b, 64);
    }
    EXPECT_EQ(h.presents, 2);
}

}  // namespace
