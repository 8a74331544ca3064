// Applying a step on its first frame: render states, all eight lights, and the
// arming of its camera path.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Variables.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

class Activation : public ::testing::Test {
protected:
    void SetUp() override {
        device = InstallRecordingDevice();
        AppPath = dir.path().string();
        startKey = 2;
        camPos = {-1, -2, -3};
        camLookAt = {-4, -5, -6};
    }
    void TearDown() override { D3DDevice.reset(); }

    // Loads the demo's timeline with `camFile` and applies step `index`.
    void Load(const std::string& camFile, int32_t index) {
        dir.Write("cam.dat", camFile);
        InitSteps([](const std::string&) {});
        CurrentStep = index;
        device->calls.clear();
        m_loadStep();
    }

    TempDir dir;
    RecordingDevice* device = nullptr;
};

// The sixteen light calls for the given light types and enable flags of slots 0 to 7.
std::vector<std::string> LightCalls(const std::vector<int>& types, const std::vector<int>& enables) {
    std::vector<std::string> calls;
    for (size_t slot = 0; slot < 8; ++slot) {
        calls.push_back("SetLight(" + std::to_string(slot) + "," + std::to_string(types[slot]) + ")");
        calls.push_back("LightEnable(" + std::to_string(slot) + "," + std::to_string(enables[slot]) + ")");
    }
    return calls;
}

TEST_F(Activation, SendsStatesInOrderThenAllEightLights) {
    Load("", 0);
    std::vector<std::string> expected = {"SetRenderState(137,1)", "SetRenderState(139,7368834)"};
    const auto lights = LightCalls({1, 0, 0, 0, 0, 0, 0, 0}, {-1, -1, 0, 0, 0, 0, 0, 0});
    expected.insert(expected.end(), lights.begin(), lights.end());
    EXPECT_EQ(device->calls, expected);
    EXPECT_EQ(Steps[0].Loaded, True16);

    // Step 2 switches every light off and sets no state; step 3 only its sun.
    CurrentStep = 2;
    device->calls.clear();
    m_loadStep();
    EXPECT_EQ(device->calls, LightCalls(std::vector<int>(8, 0), std::vector<int>(8, 0)));
    CurrentStep = 3;
    device->calls.clear();
    m_loadStep();
    EXPECT_EQ(device->calls, LightCalls({3, 0, 0, 0, 0, 0, 0, 0}, {-1, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(Activation, AFailingDeviceCallRaisesItsCode) {
    dir.Write("cam.dat", "");
    InitSteps([](const std::string&) {});
    device->failWith = D3DERR_INVALIDCALL;
    try {
        m_loadStep();
        FAIL() << "no error from a failing device";
    } catch (const ResultError& e) {
        EXPECT_EQ(e.code(), D3DERR_INVALIDCALL);
    }
}

TEST_F(Activation, PlaceholderOnlyPathLeavesTheCameraAlone) {
    Load("", 1);
    EXPECT_EQ(pathRunning, False16);
    EXPECT_EQ(lastKey, -1);
    EXPECT_EQ(posKey, 2);
    EXPECT_EQ(targetKey, 2);
    EXPECT_EQ(camPos.x, -1.0f);
    EXPECT_EQ(camLookAt.z, -6.0f);
}

TEST_F(Activation, ThreeKeysStandTheCameraOnKeyTwoWithoutFlying) {
    pathRunning = True16;
    segmentT = 0.5f;
    Load("1,1,1,1,5,2,2,2,5;1,3,3,3,5,4,4,4,5;1,5,6,7,5,8,9,10,5;", 1);
    EXPECT_EQ(pathRunning, False16);
    EXPECT_EQ(lastKey, 1);
    EXPECT_EQ(segmentT, 0.0f);
    EXPECT_EQ(camPos.x, 5.0f);
    EXPECT_EQ(camPos.z, 7.0f);
    EXPECT_EQ(camLookAt.x, 8.0f);
    EXPECT_EQ(camLookAt.z, 10.0f);
    EXPECT_TRUE(device->CallsStartingWith("SetTransform").empty()) << "activation must not rebuild the view";
}

TEST_F(Activation, FourOrMoreKeysArmThePath) {
    posKey = 9;
    targetKey = 9;
    Load("3,1,1,1,5,1,1,1,5;3,2,2,2,5,2,2,2,5;3,3,3,3,5,3,3,3,5;3,4,4,4,5,4,4,4,5;3,5,5,5,5,5,5,5,5;", 3);
    EXPECT_EQ(pathRunning, True16);
    EXPECT_EQ(lastKey, 3);
    EXPECT_EQ(posKey, 2);
    EXPECT_EQ(targetKey, 2);
    EXPECT_EQ(camPos.y, 3.0f);
    EXPECT_EQ(camLookAt.y, 3.0f);
}

}  // namespace
