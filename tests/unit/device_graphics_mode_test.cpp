// The graphics-mode set-up against a recording device: the state it leaves
// and where it stops when the device fails.
#include <gtest/gtest.h>

#include "common/Variables.h"
#include "common/Wrappers.h"
#include "loading/m_InitGraphicsMode.h"
#include "platform/sprite/Sprite.h"
#include "support/TestSupport.h"

namespace {

class GraphicsModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        D3D = std::make_unique<Direct3D8>();
        D3DX = std::make_unique<D3DX8>();
        frmMain = nullptr;
    }
    void TearDown() override { ResetDemoGlobals(); }
    RecordingDevice* Substitute(HRESULT failWith = D3D_OK) {
        auto device = std::make_unique<RecordingDevice>();
        device->failWith = failWith;
        RecordingDevice* raw = device.get();
        D3D->SubstituteNextDevice(std::move(device));
        return raw;
    }
};

TEST_F(GraphicsModeTest, MakesTheSpriteAndTheProjectionAndShowsOneBlankFrame) {
    RecordingDevice* device = Substitute();
    ASSERT_TRUE(m_InitGraphicsMode(3, 75, false));
    EXPECT_EQ(D3DDevice.get(), device);
    EXPECT_NE(Sprite, nullptr);
    EXPECT_EQ(device->CallsTo("Clear"), (std::vector<DeviceCall>{{"Clear", 7, 0xFF00003A}}));
    EXPECT_EQ(device->presents, 1);

    // A quarter-turn field of view on a square picture, depth 0 at 0.1 and 1 at 1400.
    const D3DMATRIX& proj = device->transforms.at(D3DTS_PROJECTION);
    EXPECT_NEAR(proj.m[0][0], 2.4142137f, 1e-5f);
    EXPECT_NEAR(proj.m[1][1], 2.4142137f, 1e-5f);
    EXPECT_EQ(proj.m[2][3], 1.0f);
    auto depth = [&](float z) { return (z * proj.m[2][2] + proj.m[3][2]) / z; };
    EXPECT_NEAR(depth(0.1f), 0.0f, 1e-6f);
    EXPECT_NEAR(depth(1400.0f), 1.0f, 1e-6f);
    ExpectPoint(TransformPoint({1, 2, 3}, device->transforms.at(D3DTS_WORLD)), 1, 2, 3);
}

TEST_F(GraphicsModeTest, FirstFailingCallEndsTheStepsAndKeepsTheDevice) {
    RecordingDevice* device = Substitute(D3DERR_INVALIDCALL);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_InitGraphicsMode(3, 75, false));
    const std::string box = testing::internal::GetCapturedStderr();
    EXPECT_NE(box.find("\r\n\r\n-2005530516\r\nD3DERR_INVALIDCALL"), std::string::npos) << box;
    EXPECT_EQ(device->calls, (std::vector<DeviceCall>{{"SetVertexShader", -1, 0x112}}));
    EXPECT_EQ(D3DDevice.get(), device);
}

}  // namespace
