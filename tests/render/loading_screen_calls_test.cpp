// The loading screen's calls on a recording device: the frame's structure and
// the bar's growth law, exactly (the frame tests check the picture).
#include <gtest/gtest.h>

#include <algorithm>

#include "common/Errors.h"
#include "common/Variables.h"
#include "loading/m_showLoadingScreen.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "support/TestSupport.h"

namespace {

struct Box {
    float left, top, right, bottom;
    D3DCOLOR color;
};

// The quad of a one-sprite draw, in pixel edges.
Box SpriteBox(const RecordingDevice& device, int draw) {
    const auto v = device.VerticesAs<SpriteVertex>(draw);
    EXPECT_EQ(v.size(), 6u);
    if (v.size() != 6) return {};
    return {v[0].x + 0.5f, v[0].y + 0.5f, v[2].x + 0.5f, v[2].y + 0.5f, v[0].color};
}

class LoadingScreenCalls : public ::testing::Test {
protected:
    void SetUp() override {
        device = InstallRecordingDevice();
        stage = std::make_unique<LoadingScreenStage>(*device);
        LoadingCount = 0;
    }
    void TearDown() override {
        stage.reset();
        D3DDevice.reset();
        LoadingCount = 0;
    }

    RecordingDevice* device = nullptr;
    std::unique_ptr<LoadingScreenStage> stage;
};

TEST_F(LoadingScreenCalls, EachCallIsOneCompleteFrame) {
    m_showLoadingScreen("Loading fonts");
    EXPECT_EQ(LoadingCount, 1);
    EXPECT_EQ(device->presents, 1);
    const auto& calls = device->calls;
    ASSERT_GE(calls.size(), 4u);
    EXPECT_EQ(calls[0], "Clear(0,7,4278190138)");
    EXPECT_EQ(calls[1], "BeginScene");
    EXPECT_EQ(calls[2], "SetRenderState(28,0)");
    EXPECT_EQ(calls[calls.size() - 2], "EndScene");
    EXPECT_EQ(calls.back(), "Present");
    ASSERT_EQ(device->drawnVertices.size(), 5u);  // logo, frame, fill, message, credit
    EXPECT_EQ(device->renderStates[D3DRS_FOGENABLE], 0u);
    EXPECT_EQ(SpriteBox(*device, 1).color, 0xFF820082u);
}

TEST_F(LoadingScreenCalls, TheFillGrowsFromTheCentreAndStopsAtTheFrame) {
    struct Expected {
        int call;
        float width;
        D3DCOLOR color;
    };
    // 255 * 35 / 70 = 127.5 rounds to the even 128; from call 70 on the bar is full.
    const Expected expected[] = {{1, 400.0f / 70, 0x04FFFFFFu},  {35, 200, 0x80FFFFFFu},
                                 {69, 400.0f * 69 / 70, 0xFBFFFFFFu}, {70, 400, 0xFFFFFFFFu},
                                 {71, 400, 0xFFFFFFFFu},          {96, 400, 0xFFFFFFFFu}};
    for (const auto& e : expected) {
        while (LoadingCount < e.call - 1) m_showLoadingScreen("step");
        device->drawnVertices.clear();
        device->drawnStrides.clear();
        m_showLoadingScreen("step");
        ASSERT_EQ(LoadingCount, e.call);
        const Box fill = SpriteBox(*device, 2);
        EXPECT_NEAR(fill.right - fill.left, e.width, 1e-3) << "call " << e.call;
        EXPECT_NEAR((fill.left + fill.right) / 2, 512, 1e-3) << "call " << e.call;
        EXPECT_FLOAT_EQ(fill.top, 384) << "call " << e.call;
        EXPECT_FLOAT_EQ(fill.bottom, 404) << "call " << e.call;
        EXPECT_EQ(fill.color, e.color) << "call " << e.call;
    }
    EXPECT_EQ(device->presents, 96);
}

TEST_F(LoadingScreenCalls, AFailingDeviceStopsTheStartUp) {
    device->failWith = D3DERR_DEVICELOST;
    EXPECT_THROW(m_showLoadingScreen("Loading fonts"), ResultError);
    device->failWith = D3D_OK;
    FontSmall.reset();
    EXPECT_THROW(m_showLoadingScreen("Loading fonts"), DemoError) << "no font yet: an error, not a crash";
}

}  // namespace
