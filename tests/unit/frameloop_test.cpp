#include <gtest/gtest.h>

#include <vector>

#include "common/Variables.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "render/m_MoveCamera.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"
#include "support/TestSupport.h"

namespace {

// Four steps with the demo's durations, driven by a clock that moves by
// `frameMilliseconds` at every rendered frame.
class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemClock = &clock;
        Steps.Redim(0, 3);
        const int32_t durations[4] = {83000, 19500, 40400, 7300};
        for (int32_t i = 0; i < 4; ++i) {
            Steps[i].Duration = durations[i];
            Steps[i].EyePath.Redim(0, 0);
            Steps[i].TargetPath.Redim(0, 0);
        }
        CurrentStep = 0;
        demoRunning = True16;
        pathRunning = False16;
        cameraHeld = True32;
        clock.tick = 1000;
        Steps[0].StartTick = clock.tick;
    }
    void TearDown() override { SystemClock = nullptr; }

    // Moves the clock on with the counter's own wrapping arithmetic.
    void Advance(int32_t milliseconds) {
        clock.tick = static_cast<int32_t>(static_cast<uint32_t>(clock.tick) + static_cast<uint32_t>(milliseconds));
        clock.counter += milliseconds;
    }

    FrameRoutines Routines() {
        FrameRoutines r;
        r.loadStep = [this] {
            Steps[CurrentStep].Loaded = True16;
            loads.push_back(CurrentStep);
        };
        r.pumpMessages = [this] {
            if (escAtFrame >= 0 && frames == escAtFrame) frmMain_KeyDown(27, 0);
        };
        r.updateParticles = [] {};
        r.generateVertex = [] {};
        r.moveCamera = [this] { ++cameraMoves; };
        r.render = [this] {
            framesInStep.resize(4);
            ++framesInStep[CurrentStep];
            ++frames;
            Advance(frameMilliseconds);
        };
        return r;
    }

    ManualClock clock;
    int32_t frameMilliseconds = 10;
    int escAtFrame = -1;
    int frames = 0;
    int cameraMoves = 0;
    std::vector<int32_t> loads;
    std::vector<int> framesInStep;
};

TEST_F(FrameLoopTest, EachStepLastsLongerThanItsDurationAndTheOverrunIsNotCarried) {
    frameMilliseconds = 7;
    std::vector<int32_t> starts;
    FrameRoutines routines = Routines();
    routines.loadStep = [&] {
        Steps[CurrentStep].Loaded = True16;
        starts.push_back(Steps[CurrentStep].StartTick);
    };
    RunFrameLoop(routines);
    ASSERT_EQ(starts.size(), 4u);
    EXPECT_EQ(CurrentStep, 4);
    const int32_t durations[4] = {83000, 19500, 40400, 7300};
    for (int i = 0; i < 3; ++i) {
        const int32_t length = starts[i + 1] - starts[i];
        EXPECT_GT(length, durations[i]) << "step " << i;
        // The next step starts on the tick at which this one ran out: the overrun
        // (less than a frame) is not carried into it.
        EXPECT_LE(length, durations[i] + frameMilliseconds) << "step " << i;
    }
    EXPECT_GT(clock.tick - starts[3], durations[3]);
}

TEST_F(FrameLoopTest, AZeroDurationStepLastsAtLeastOneFrame) {
    Steps[1].Duration = 0;
    frameMilliseconds = 0;
    int zeroFrames = 0;
    FrameRoutines routines = Routines();
    routines.render = [&] {
        if (CurrentStep == 1) {
            // The tick count stands still for two frames, then moves.
            if (++zeroFrames == 3) Advance(1);
        } else {
            Advance(1000);
        }
    };
    RunFrameLoop(routines);
    EXPECT_EQ(zeroFrames, 3);
}

TEST_F(FrameLoopTest, TickDifferencesWrapPastTheSignedLimit) {
    clock.tick = INT32_MAX - 20000;
    Steps[0].StartTick = clock.tick;
    frameMilliseconds = 500;
    RunFrameLoop(Routines());
    EXPECT_EQ(CurrentStep, 4);
    EXPECT_EQ(loads, (std::vector<int32_t>{0, 1, 2, 3}));
}

TEST_F(FrameLoopTest, EscEndsTheLoopAfterTheFrameInProgress) {
    escAtFrame = 5;
    RunFrameLoop(Routines());
    EXPECT_EQ(frames, 6) << "the frame whose pump saw Esc is still drawn";
    EXPECT_EQ(demoRunning, False16);
    int endFrames = 0;
    RunEndScreen([&] { ++endFrames; });
    EXPECT_EQ(endFrames, 0) << "no end screen after Esc";
}

TEST_F(FrameLoopTest, HeldCameraDoesNotMoveAndAnArmedPathStartsOnItsFirstFrame) {
    FrameRoutines routines = Routines();
    routines.loadStep = [&] {
        Steps[CurrentStep].Loaded = True16;
        posKey = 7;
        segmentT = 0.5f;
        pathRunning = CurrentStep == 2 ? True16 : False16;
    };
    routines.moveCamera = [&] {
        ++cameraMoves;
        EXPECT_EQ(CurrentStep, 2);
        if (cameraMoves == 1) {
            EXPECT_EQ(posKey, startKey);
            EXPECT_EQ(segmentT, 0.0f);
        }
    };
    startKey = 2;
    frameMilliseconds = 1000;
    RunFrameLoop(routines);
    EXPECT_EQ(cameraMoves, 41);
}

TEST_F(FrameLoopTest, EndScreenLastsSevenSecondsOrUntilEsc) {
    int endFrames = 0;
    clock.tick = -5;  // the end screen may start just before the counter wraps
    RunEndScreen([&] {
        ++endFrames;
        Advance(100);
    });
    EXPECT_EQ(endFrames, 70);
    endFrames = 0;
    RunEndScreen([&] {
        if (++endFrames == 3) frmMain_KeyDown(27, 0);
        Advance(100);
    });
    EXPECT_EQ(endFrames, 3);
}

TEST_F(FrameLoopTest, OnlyEscStopsTheDemo) {
    frmMain_KeyDown('A', 0);
    frmMain_KeyDown(13, 0);
    EXPECT_EQ(demoRunning, True16);
    frmMain_KeyDown(27, 1);
    EXPECT_EQ(demoRunning, False16);
}

// The real camera in the real loop: eye keys 100 units apart at pace 100 take
// a second each; frames of 125 ms measured by the performance counter.
TEST_F(FrameLoopTest, TheCameraFliesAtThePaceOfTheMeasuredFrameTime) {
    RecordingDevice* device = InstallRecordingDevice();
    Steps[0] = NewStep(83000, 0, 0);
    Steps[0].EyePath.Redim(0, 5);
    Steps[0].TargetPath.Redim(0, 5);
    for (int32_t i = 0; i <= 5; ++i) {
        Steps[0].EyePath[i] = PathKey{{100.0f * float(i - 1), 50, 0}, 100};
        Steps[0].TargetPath[i] = PathKey{{100.0f * float(i - 1), 0, 100}, 100};
    }
    startKey = 2;
    camUp = {0, 1, 0};
    perfFrequency = clock.PerformanceFrequency();
    perfLast = clock.counter;
    FrameRoutines routines = Routines();
    routines.loadStep = m_loadStep;
    routines.moveCamera = m_MoveCamera;
    int stopAfter = 9;
    routines.render = [&] {
        Advance(125);
        if (++frames == stopAfter) demoRunning = False16;
    };
    RunFrameLoop(routines);
    EXPECT_EQ(posKey, 2) << "the first segment still runs after 9 frames";
    EXPECT_FLOAT_EQ(camPos.x, 87.5f);

    // Four frames more: the second key is passed and the camera is a quarter into the next segment.
    demoRunning = True16;
    stopAfter = 13;
    RunFrameLoop(routines);
    EXPECT_EQ(posKey, 3);
    EXPECT_EQ(targetKey, 3);
    EXPECT_NEAR(camPos.x, 125.0f, 1e-3f);
    EXPECT_NEAR(camLookAt.x, 125.0f, 1e-3f);
    EXPECT_EQ(device->transforms.count(D3DTS_VIEW), 1u);
    D3DDevice.reset();
}

}  // namespace
