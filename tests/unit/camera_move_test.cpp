// The camera flying a step's eye and target paths, one frame at a time.
#include <gtest/gtest.h>

#include <vector>

#include "common/Variables.h"
#include "common/Wrappers.h"
#include "render/m_MoveCamera.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

class Camera : public ::testing::Test {
protected:
    void SetUp() override {
        device = InstallRecordingDevice();
        Steps.Redim(0, 0);
        Steps[0] = NewStep(1000, 0, 0);
        CurrentStep = 0;
        startKey = 2;
        camUp = {0, 1, 0};
        perfFrequency = 1000;
        perfDelta = 125;  // an eighth of a second per frame
    }
    void TearDown() override { ResetDemoGlobals(); }

    // Eye keys along x; the target path runs along z. Activates the step as the driver does.
    void Start(const std::vector<float>& xs, const std::vector<int32_t>& paces) {
        const int32_t n = static_cast<int32_t>(xs.size());
        Steps[0].EyePath.Redim(0, n - 1);
        Steps[0].TargetPath.Redim(0, n - 1);
        for (int32_t i = 0; i < n; ++i) {
            Steps[0].EyePath[i] = PathKey{{xs[size_t(i)], 0, 0}, paces[size_t(i)]};
            Steps[0].TargetPath[i] = PathKey{{0, 0, 10.0f * float(i + 1)}, 1};
        }
        m_loadStep();
        cameraHeld = False32;
    }
    // Eye keys 100 and then 200 units apart, both segments at pace 200.
    void StartLine() { Start({-100, 0, 100, 300, 400}, {0, 0, 200, 200, 0}); }

    RecordingDevice* device = nullptr;
};

TEST_F(Camera, ASegmentLastsItsPaceOverItsChordLength) {
    StartLine();
    m_MoveCamera();
    ExpectPoint(camPos, 0, 0, 0);
    ExpectPoint(camLookAt, 0, 0, 20);
    // The view sent to the device looks from key 1 of the eye path to key 1 of the target path.
    ExpectPoint(TransformPoint({5, 0, 30}, device->transforms.at(D3DTS_VIEW)), 5, 0, 30);
    // 100 units at pace 200: 2 s, that is 16 frames of 1/8 s; reaching 1 exactly does not end it.
    for (int frame = 1; frame < 16; ++frame) m_MoveCamera();
    EXPECT_EQ(segmentT, 1.0f);
    EXPECT_EQ(posKey, 2);
    m_MoveCamera();
    EXPECT_EQ(camPos.x, 100.0f);
    EXPECT_EQ(posKey, 3);
    EXPECT_EQ(targetKey, 3);
    EXPECT_EQ(segmentT, 0.0f);
    EXPECT_EQ(pathRunning, True16);

    // 200 units at pace 200: 1 s, 8 frames; then the path has run out.
    for (int frame = 0; frame < 4; ++frame) m_MoveCamera();
    EXPECT_NEAR(camPos.x, 172.0703f, 1e-3f);  // three eighths of the way along the curve
    for (int frame = 0; frame < 5; ++frame) m_MoveCamera();
    EXPECT_EQ(posKey, 4);
    EXPECT_EQ(pathRunning, False16);
}

}  // namespace
