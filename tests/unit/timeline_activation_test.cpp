// Applying a step on its first frame: render states, all eight lights, and the
// arming of its camera path.
#include <gtest/gtest.h>

#include <string>

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
    }
    void TearDown() override { ResetDemoGlobals(); }
    void Load(const std::string& camFile, int32_t index) {
        dir.Write("cam.dat", camFile);
        InitSteps([](const std::string&) {});
        CurrentStep = index;
        m_loadStep();
    }

    TempDir dir;
    RecordingDevice* device = nullptr;
};

TEST_F(Activation, SetsTheStepsStatesAndSwitchesEveryOtherLightOff) {
    Load("", 0);
    EXPECT_EQ(device->renderStates.at(D3DRS_LIGHTING), 1u);
    EXPECT_EQ(device->renderStates.at(D3DRS_AMBIENT), 0x00707082u);
    EXPECT_EQ(device->lights.at(0).Type, D3DLIGHT_POINT);
    EXPECT_EQ(Steps[0].Loaded, True16);
    const BOOL town[8] = {-1, -1, 0, 0, 0, 0, 0, 0};
    for (DWORD slot = 0; slot < 8; ++slot) EXPECT_EQ(device->lightEnabled.at(slot), town[slot]) << slot;

    CurrentStep = 3;
    m_loadStep();
    EXPECT_EQ(device->lights.at(0).Type, D3DLIGHT_DIRECTIONAL);
    EXPECT_EQ(device->lightEnabled.at(0), -1);
    for (DWORD slot = 1; slot < 8; ++slot) EXPECT_EQ(device->lightEnabled.at(slot), 0) << slot;
    CurrentStep = 2;
    m_loadStep();
    for (DWORD slot = 0; slot < 8; ++slot) EXPECT_EQ(device->lightEnabled.at(slot), 0) << slot;
}

TEST_F(Activation, ThreeKeysStandTheCameraOnKeyTwoAndFourOrMoreArmThePath) {
    const struct {
        const char* camFile;
        int16_t running;
        int32_t lastKey;
        D3DVECTOR eye, target;
    } cases[] = {
        {"", False16, -1, {-1, -2, -3}, {-4, -5, -6}},  // the placeholder alone leaves the camera alone
        {"1,1,1,1,5,2,2,2,5;1,3,3,3,5,4,4,4,5;1,5,6,7,5,8,9,10,5;", False16, 1, {5, 6, 7}, {8, 9, 10}},
        {"1,1,1,1,5,1,1,1,5;1,2,2,2,5,2,2,2,5;1,3,3,3,5,3,3,3,5;1,4,4,4,5,4,4,4,5;", True16, 2, {3, 3, 3}, {3, 3, 3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.camFile);
        camPos = {-1, -2, -3};
        camLookAt = {-4, -5, -6};
        posKey = targetKey = 9;
        pathRunning = True16;
        segmentT = 0.5f;
        device->calls.clear();
        Load(c.camFile, 1);
        EXPECT_EQ(pathRunning, c.running);
        EXPECT_EQ(lastKey, c.lastKey);
        EXPECT_EQ(posKey, 2);
        EXPECT_EQ(targetKey, 2);
        EXPECT_EQ(segmentT, 0.0f);
        ExpectPoint(camPos, c.eye.x, c.eye.y, c.eye.z, 0);
        ExpectPoint(camLookAt, c.target.x, c.target.y, c.target.z, 0);
        EXPECT_TRUE(device->CallsTo("SetTransform").empty()) << "activation must not rebuild the view";
    }
}

}  // namespace
