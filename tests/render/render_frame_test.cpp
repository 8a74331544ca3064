// One whole frame against a recording device: the layers, their states and
// the overlays, in order.
#include <gtest/gtest.h>

#include <algorithm>

#include "common/Errors.h"
#include "common/Variables.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
#include "render/r_Render.h"
#include "support/TestSupport.h"

namespace {

// Records each text draw into the device's call list.
class RecordingFont final : public D3DXFont {
public:
    explicit RecordingFont(RecordingDevice& device) : device_(device) {}
    int DrawTextW(std::string_view text, int, const RECT* rect, DWORD format, D3DCOLOR color) override {
        device_.calls.push_back("DrawText(" + std::string(text) + "," + std::to_string(rect->left) + "," +
                                std::to_string(rect->top) + "," + std::to_string(rect->right) + "," +
                                std::to_string(rect->bottom) + "," + std::to_string(format) + "," +
                                std::to_string(color) + ")");
        return 16;
    }

private:
    RecordingDevice& device_;
};

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = InstallRecordingDevice();
        Sprite = std::make_unique<D3DXSprite>(*device);
        FontSmall = std::make_unique<RecordingFont>(*device);
        WindowOptions options;
        options.fullscreen = false;
        options.offscreen = true;
        options.logicalWidth = 800;
        options.logicalHeight = 600;
        window = std::make_unique<Window>(options);
        frmMain = window.get();
        SystemClock = &clock;

        const std::pair<std::shared_ptr<Direct3DTexture8>*, uint32_t> textures[] = {
            {&TexWhite, 1}, {&TexLogoDds, 256}, {&TexDot, 32}, {&TexBajs, 512}};
        for (const auto& [texture, size] : textures) *texture = WhiteTexture(*device, size, size);
        Meshes.Redim(0, 1);
        ASSERT_EQ(device->CreateMesh(MeshGeometry{}, Meshes[1].Mesh), D3D_OK);
        Meshes[1].MaterialCount = 1;
        Meshes[1].Textures.Redim(0, 0);
        Meshes[1].Materials.Redim(0, 0);
        Objects.Redim(0, 2);
        Objects[1].MeshIndex = 1;
        Objects[2].MeshIndex = 0;
        Steps.Redim(0, 1);
        Steps[0].DrawList.Redim(0, 2);
        Steps[0].DrawList[0] = 1;
        Steps[0].DrawList[1] = 2;  // no mesh: draws nothing
        Steps[0].DrawList[2] = 1;  // the same slot twice draws it twice
        CurrentStep = 0;
        startTick = 1000;
    }
    void TearDown() override {
        Steps.Erase();
        Objects.Erase();
        Meshes.Erase();
        TexWhite.reset();
        TexLogoDds.reset();
        TexDot.reset();
        TexBajs.reset();
        frmMain = nullptr;
        window.reset();
        FontSmall.reset();
        Sprite.reset();
        D3DDevice.reset();
        SystemClock = nullptr;
    }

    size_t IndexOf(const std::string& call, size_t from = 0) const {
        const auto it = std::find(device->calls.begin() + static_cast<std::ptrdiff_t>(from), device->calls.end(), call);
        return static_cast<size_t>(it - device->calls.begin());
    }

    RecordingDevice* device = nullptr;
    std::unique_ptr<Window> window;
    ManualClock clock;
};

TEST_F(FrameTest, LayersComeInOrderWithFogOffOnlyForTheOverlays) {
    clock.tick = startTick + 2000;  // the credit line is up
    r_Render();
    const auto& calls = device->calls;
    ASSERT_GE(calls.size(), 8u);
    EXPECT_EQ(calls[0], "Clear(0,7,4279242778)");
    EXPECT_EQ(calls[1], "BeginScene");
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawSubset(0)"), 2);
    const size_t lastSubset = IndexOf("DrawSubset(0)", IndexOf("DrawSubset(0)") + 1);
    const size_t particlesStart = IndexOf("SetRenderState(27,1)");
    EXPECT_LT(lastSubset, particlesStart);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "DrawPrimitiveUP(1,1,24)"), 400);

    const size_t fogOff = IndexOf("SetRenderState(28,0)");
    ASSERT_LT(fogOff, calls.size());
    EXPECT_EQ(calls[fogOff - 1], "SetRenderState(28,1)");  // the end of the particle pass
    EXPECT_EQ(calls[fogOff + 1], "SetVertexShader(452)");
    const size_t text = IndexOf("DrawText(a velmora production,250,300,550,340,1,4294967295)");
    EXPECT_GT(text, fogOff + 1);
    ASSERT_GE(calls.size(), 3u);
    EXPECT_LT(text, calls.size() - 3);
    EXPECT_EQ(std::vector<std::string>(calls.end() - 3, calls.end()),
              (std::vector<std::string>{"SetRenderState(28,1)", "EndScene", "Present"}));
    EXPECT_EQ(device->presents, 1);
}

// The bounds and alpha of the last sprite quad drawn.
struct Quad {
    float left, top, right, bottom;
    uint32_t alpha;
};
Quad LastSprite(const RecordingDevice& device) {
    const auto vertices = device.VerticesAs<SpriteVertex>();
    Quad quad{1e9f, 1e9f, -1e9f, -1e9f, 0};
    for (const SpriteVertex& v : vertices) {
        quad.left = std::min(quad.left, v.x);
        quad.top = std::min(quad.top, v.y);
        quad.right = std::max(quad.right, v.x);
        quad.bottom = std::max(quad.bottom, v.y);
        quad.alpha = v.color >> 24;
    }
    return quad;
}

TEST_F(FrameTest, OverlaysLieOverTheWindowInPixels) {
    clock.tick = startTick + 14500;
    r_Render();
    const size_t fogOff = IndexOf("SetRenderState(28,0)");
    const auto sprites = std::count_if(device->calls.begin() + static_cast<std::ptrdiff_t>(fogOff),
                                       device->calls.end(),
                                       [](const std::string& c) { return c.rfind("DrawPrimitiveUP(4,", 0) == 0; });
    EXPECT_EQ(sprites, 2);  // the backdrop, then the logo
    const Quad logo = LastSprite(*device);
    EXPECT_NEAR(logo.left, 144, 0.5f);
    EXPECT_NEAR(logo.top, 172, 0.5f);
    EXPECT_NEAR(logo.right, 656, 0.5f);
    EXPECT_NEAR(logo.bottom, 428, 0.5f);
    EXPECT_EQ(logo.alpha, 128u);

    device->calls.clear();
    clock.tick = startTick + 148440;
    r_Render();
    const Quad white = LastSprite(*device);
    EXPECT_NEAR(white.left, 0, 0.5f);
    EXPECT_NEAR(white.right, 800, 0.5f);
    EXPECT_NEAR(white.bottom, 600, 0.5f);
    EXPECT_EQ(white.alpha, 51u);
}

TEST_F(FrameTest, StepWithoutADrawListStillDrawsParticlesAndOverlays) {
    Steps[0].DrawList.Erase();
    clock.tick = startTick + 50000;
    r_Render();
    EXPECT_TRUE(device->CallsStartingWith("DrawSubset").empty());
    EXPECT_TRUE(device->CallsStartingWith("DrawText").empty());
    EXPECT_EQ(device->CallsStartingWith("DrawPrimitiveUP(1,1,24)").size(), 400u);
    EXPECT_EQ(device->calls.back(), "Present");
}

TEST_F(FrameTest, DrawListNamingNoObjectEndsTheFrame) {
    Steps[0].DrawList[0] = 7;
    EXPECT_THROW(r_Render(), BoundsError);
}

}  // namespace
