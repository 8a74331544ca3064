// The graphics-mode set-up against a recording device: its calls in order,
// its transforms, the presentation parameters and the error box.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/Variables.h"
#include "loading/m_InitGraphicsMode.h"
#include "platform/sprite/Sprite.h"
#include "common/Wrappers.h"
#include "support/TestSupport.h"

namespace {

class GraphicsModeTest : public ::testing::Test {
protected:
    void SetUp() override {
        D3D = std::make_unique<Direct3D8>();
        D3DX = std::make_unique<D3DX8>();
        frmMain = nullptr;
    }
    void TearDown() override {
        Sprite.reset();
        D3DDevice.reset();
        D3DX.reset();
        D3D.reset();
    }
    RecordingDevice* Substitute(HRESULT failWith = D3D_OK) {
        auto device = std::make_unique<RecordingDevice>();
        device->failWith = failWith;
        RecordingDevice* raw = device.get();
        D3D->SubstituteNextDevice(std::move(device));
        return raw;
    }
};

TEST_F(GraphicsModeTest, SetsStatesTransformsSpriteAndShowsOneBlankFrame) {
    RecordingDevice* device = Substitute();
    ASSERT_TRUE(m_InitGraphicsMode(3, 75, false));
    const std::vector<std::string> expected = {
        "SetVertexShader(274)",
        "SetRenderState(137,0)",
        "SetRenderState(22,3)",
        "SetRenderState(7,1)",
        "SetRenderState(19,5)",
        "SetRenderState(20,6)",
        "SetRenderState(27,1)",
        "SetRenderState(156,1)",
        "SetRenderState(157,1)",
        "SetRenderState(154,1036831949)",  // 0.1f
        "SetTextureStageState(0,16,2)",
        "SetTextureStageState(0,17,2)",
        "SetTransform(256)",
        "SetTransform(3)",
        "SetTransform(2)",
        "Clear(0,7,4278190138)",  // 0xFF00003A
        "BeginScene",
        "EndScene",
        "Present",
    };
    EXPECT_EQ(device->calls, expected);
    EXPECT_EQ(D3DDevice.get(), device);
    EXPECT_NE(Sprite, nullptr);

    // Perspective from the single-precision pi / 4, aspect 1, near 0.1, far 1400
    // (the matrix itself is checked in the maths tests); identity world and view.
    D3DMATRIX proj, identity;
    D3DXMatrixPerspectiveFovLH(proj, 3.1415927f / 4.0f, 1.0f, 0.1f, 1400.0f);
    D3DXMatrixIdentity(identity);
    EXPECT_EQ(std::memcmp(&matProj, &proj, sizeof proj), 0);
    EXPECT_EQ(std::memcmp(&device->transforms[D3DTS_PROJECTION], &proj, sizeof proj), 0);
    EXPECT_EQ(std::memcmp(&matWorld, &identity, sizeof identity), 0);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_FLOAT_EQ(matView.m[i][j], identity.m[i][j]);
}

TEST_F(GraphicsModeTest, PresentationParametersFollowModeAndAntialias) {
    const D3DPRESENT_PARAMETERS pp = GraphicsModeParameters(3, 75, false, nullptr);
    EXPECT_EQ(pp.BackBufferWidth, 1024u);
    EXPECT_EQ(pp.BackBufferHeight, 768u);
    EXPECT_EQ(pp.BackBufferFormat, 22u);
    EXPECT_EQ(pp.BackBufferCount, 1u);
    EXPECT_EQ(pp.MultiSampleType, 0u);
    EXPECT_EQ(pp.SwapEffect, 2u);
    EXPECT_EQ(pp.Windowed, 0);
    EXPECT_EQ(pp.EnableAutoDepthStencil, 1);
    EXPECT_EQ(pp.AutoDepthStencilFormat, 75u);
    EXPECT_EQ(pp.Flags, 0u);
    EXPECT_EQ(pp.FullScreen_RefreshRateInHz, 60u);
    EXPECT_EQ(pp.FullScreen_PresentationInterval, 0u);

    const D3DPRESENT_PARAMETERS aa = GraphicsModeParameters(3, 75, true, nullptr);
    EXPECT_EQ(aa.MultiSampleType, 2u);
    EXPECT_EQ(aa.SwapEffect, 1u);

    const std::pair<int, std::pair<UINT, UINT>> modes[] = {
        {1, {640, 480}}, {2, {800, 600}}, {4, {1280, 1024}}, {0, {0, 0}}, {5, {0, 0}}, {-3, {0, 0}}};
    for (const auto& [mode, size] : modes) {
        const D3DPRESENT_PARAMETERS p = GraphicsModeParameters(mode, 75, false, nullptr);
        EXPECT_EQ(p.BackBufferWidth, size.first) << "mode " << mode;
        EXPECT_EQ(p.BackBufferHeight, size.second) << "mode " << mode;
    }
}

TEST_F(GraphicsModeTest, FailedDeviceCreationShowsTheBoxAndRunsNoFurtherStep) {
    D3D->FailNextCreateDevice(D3DERR_NOTAVAILABLE);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_InitGraphicsMode(3, 75, false));
    const std::string box = testing::internal::GetCapturedStderr();
    EXPECT_EQ(box, "Error! An error has occured: \r\n\r\n-2005530518\r\n"
                   "D3DERR_NOTAVAILABLE: This device does not support the queried technique.\n");
    EXPECT_EQ(D3DDevice, nullptr);
    EXPECT_EQ(Sprite, nullptr);
}

TEST_F(GraphicsModeTest, FirstFailingCallEndsTheStepsAndKeepsTheDevice) {
    RecordingDevice* device = Substitute(D3DERR_INVALIDCALL);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(m_InitGraphicsMode(3, 75, false));
    const std::string box = testing::internal::GetCapturedStderr();
    EXPECT_NE(box.find("\r\n\r\n-2005530516\r\nD3DERR_INVALIDCALL"), std::string::npos) << box;
    EXPECT_EQ(device->calls, std::vector<std::string>{"SetVertexShader(274)"});
    EXPECT_EQ(D3DDevice.get(), device);
}

TEST(ErrorText, NamesKnownCodesAndShowsUnknownOnesInHex) {
    EXPECT_EQ(GraphicsModeErrorText(E_FAIL, "x"), "An error has occured: \r\n\r\n-2147467259\r\nx");
    EXPECT_EQ(GraphicsModeErrorText(7, "y"), "An error has occured: \r\n\r\n7\r\ny");
    EXPECT_EQ(D3DX8::GetErrorString(D3DERR_INVALIDCALL), "D3DERR_INVALIDCALL: The method call is invalid.");
    EXPECT_EQ(D3DX8::GetErrorString(D3DXERR_INVALIDDATA).rfind("D3DXERR_INVALIDDATA: ", 0), 0u);
    EXPECT_EQ(D3DX8::GetErrorString(D3DERR_OUTOFVIDEOMEMORY).rfind("D3DERR_OUTOFVIDEOMEMORY: ", 0), 0u);
    EXPECT_EQ(D3DX8::GetErrorString(E_OUTOFMEMORY).rfind("E_OUTOFMEMORY: ", 0), 0u);
    EXPECT_EQ(D3DX8::GetErrorString(static_cast<HRESULT>(0x8876FFFFu)), "Unknown error 0x8876FFFF.");
}

}  // namespace
