// The camera flying a step's eye and target paths, one frame at a time.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/Variables.h"
#include "common/Wrappers.h"
#include "render/m_MoveCamera.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

void SetPath(BoundedArray<PathKey>& path, const std::vector<D3DVECTOR>& points, const std::vector<int32_t>& paces) {
    path.Redim(0, static_cast<int32_t>(points.size()) - 1);
    for (size_t i = 0; i < points.size(); ++i) {
        path[static_cast<int32_t>(i)].Position = points[i];
        path[static_cast<int32_t>(i)].Pace = paces[i];
    }
}

bool SameMatrix(const D3DMATRIX& a, const D3DMATRIX& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class Camera : public ::testing::Test {
protected:
    void SetUp() override {
        device = InstallRecordingDevice();
        Steps.Redim(0, 3);
        for (int32_t i = 0; i <= 3; ++i) Steps[i] = NewStep(1000, 0, 0);
        CurrentStep = 0;
        startKey = 2;
        camUp = {0, 1, 0};
        perfFrequency = 1000;
        perfDelta = 125;  // an eighth of a second per frame
    }
    void TearDown() override { D3DDevice.reset(); }

    // Activates step 0 and hands the camera to its path, as the driver does.
    void Start(const std::vector<D3DVECTOR>& eye, const std::vector<int32_t>& paces,
               const std::vector<D3DVECTOR>& target) {
        SetPath(Steps[0].EyePath, eye, paces);
        SetPath(Steps[0].TargetPath, target, std::vector<int32_t>(target.size(), 1));
        m_loadStep();
        cameraHeld = False32;
        device->calls.clear();
    }

    // Eye keys 100 and then 200 units apart along x, both segments with pace 200.
    void StartLine() {
        Start({{-100, 0, 0}, {0, 0, 0}, {100, 0, 0}, {300, 0, 0}, {400, 0, 0}}, {0, 0, 200, 200, 0},
              {{0, 10, 0}, {0, 20, 0}, {0, 30, 0}, {0, 40, 0}, {0, 50, 0}});
    }

    RecordingDevice* device = nullptr;
};

TEST_F(Camera, FirstFrameShowsKeyOneOfBothPathsThenAdvances) {
    StartLine();
    m_MoveCamera();
    EXPECT_EQ(camPos.x, 0.0f);
    EXPECT_EQ(camPos.y, 0.0f);
    EXPECT_EQ(camLookAt.y, 20.0f);
    EXPECT_EQ(camLookAt.x, 0.0f);
    D3DMATRIX expected;
    D3DXMatrixLookAtLH(expected, {0, 0, 0}, {0, 20, 0}, {0, 1, 0});
    EXPECT_TRUE(SameMatrix(matView, expected));
    EXPECT_EQ(device->calls, std::vector<std::string>{"SetTransform(2)"});
    EXPECT_TRUE(SameMatrix(device->transforms.at(D3DTS_VIEW), expected));
    EXPECT_EQ(segmentT, 0.0625f);

    // The next frame shows the point reached by the first.
    m_MoveCamera();
    D3DVECTOR point;
    D3DXVec3CatmullRom(point, {-100, 0, 0}, {0, 0, 0}, {100, 0, 0}, {300, 0, 0}, 0.0625f);
    EXPECT_EQ(camPos.x, point.x);
}

TEST_F(Camera, ASegmentLastsItsPaceOverItsChordLength) {
    StartLine();
    // 100 units at pace 200: 2 s, that is 16 frames of 1/8 s.
    for (int frame = 0; frame < 16; ++frame) m_MoveCamera();
    EXPECT_EQ(segmentT, 1.0f);
    EXPECT_EQ(posKey, 2) << "reaching 1 exactly does not end the segment";
    m_MoveCamera();
    EXPECT_EQ(camPos.x, 100.0f);
    EXPECT_EQ(posKey, 3);
    EXPECT_EQ(targetKey, 3);
    EXPECT_EQ(segmentT, 0.0f);
    EXPECT_EQ(pathRunning, True16);

    // 200 units at pace 200: 1 s, 8 frames.
    for (int frame = 0; frame < 8; ++frame) m_MoveCamera();
    EXPECT_EQ(segmentT, 1.0f);
    EXPECT_EQ(pathRunning, True16);
    m_MoveCamera();
    EXPECT_EQ(posKey, 4);
    EXPECT_EQ(pathRunning, False16);
}

TEST_F(Camera, OvershootIsDroppedAndOneKeyAdvancesPerFrame) {
    StartLine();
    segmentT = 0.9f;
    perfDelta = 1600;  // 0.8 of the 100-unit segment
    m_MoveCamera();
    EXPECT_EQ(posKey, 3);
    EXPECT_EQ(segmentT, 0.0f);

    perfDelta = 1000000;  // many segments' worth of time
    m_MoveCamera();
    EXPECT_EQ(posKey, 4);
    EXPECT_EQ(targetKey, 4);
    EXPECT_EQ(segmentT, 0.0f);
}

TEST_F(Camera, FourKeysMakeOneSegment) {
    Start({{0, 0, 5}, {0, 0, 10}, {0, 0, 60}, {0, 0, 70}}, {0, 0, 100, 0},
          {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}});
    EXPECT_EQ(lastKey, 2);
    EXPECT_EQ(pathRunning, True16);
    perfDelta = 3000;  // 50 units at pace 100 take 2 s; this frame is longer
    m_MoveCamera();
    EXPECT_EQ(camPos.z, 10.0f);
    EXPECT_EQ(posKey, 3);
    EXPECT_EQ(pathRunning, False16);
}

TEST_F(Camera, HeldCameraKeepsTheView) {
    StartLine();
    m_MoveCamera();
    const D3DMATRIX view = matView;
    const D3DVECTOR eye = camPos;
    const float t = segmentT;
    device->calls.clear();
    cameraHeld = True32;
    m_MoveCamera();
    EXPECT_TRUE(device->calls.empty());
    EXPECT_TRUE(SameMatrix(matView, view));
    EXPECT_EQ(camPos.x, eye.x);
    EXPECT_EQ(segmentT, t);
    EXPECT_EQ(posKey, 2);
}

TEST_F(Camera, PathsTheLoaderWouldRejectFailWithAnError) {
    Start({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, {0, 0, 0, 0}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}});
    EXPECT_THROW(m_MoveCamera(), DemoError);
    Start({{1, 0, 0}, {2, 0, 0}, {3, 0, 0}, {4, 0, 0}}, {0, 0, 1, 0}, {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}});
    EXPECT_THROW(m_MoveCamera(), BoundsError);
}

}  // namespace
