#include <gtest/gtest.h>

#include <vector>

#include "common/Variables.h"
#include "render/m_MoveCamera.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

// Four steps with the demo's durations, driven by a clock that moves by
// `frameMilliseconds` at every rendered frame.
class FrameLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemClock = &clock;
        clock.tick = 1000;
        InstallDemoSteps(clock.tick);
    }
    void TearDown() override { ResetDemoGlobals(); }

    // Moves the clock on with the counter's own wrapping arithmetic.
    void Advance(int32_t milliseconds) {
        clock.tick = static_cast<int32_t>(static_cast<uint32_t>(clock.tick) + static_cast<uint32_t>(milliseconds));
        clock.counter += milliseconds;
    }

    FrameRoutines Routines() {
        FrameRoutines r;
        r.loadStep = [] { Steps[CurrentStep].Loaded = True16; };
        r.pumpMessages = [] {};
        r.updateParticles = [] {};
        r.generateVertex = [] {};
        r.moveCamera = [] {};
        r.render = [this] {
            ++frames;
            Advance(frameMilliseconds);
        };
        return r;
    }

    ManualClock clock;
    int32_t frameMilliseconds = 10;
    int frames = 0;
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
    const auto& durations = kDemoStepMilliseconds;
    for (int i = 0; i < 3; ++i) {
        const int32_t length = starts[i + 1] - starts[i];
        EXPECT_GT(length, durations[i]) << "step " << i;
        // The next step starts on the tick at which this one ran out: the overrun
        // (less than a frame) is not carried into it.
        EXPECT_LE(length, durations[i] + frameMilliseconds) << "step " << i;
    }
    EXPECT_GT(clock.tick - starts[3], durations[3]);
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

// The real camera in the real loop: eye keys 100 units apart at pace 100 take
// a second each; frames of 125 ms measured by the performance counter.
TEST_F(FrameLoopTest, TheCameraFliesAtThePaceOfTheMeasuredFrameTime) {
    RecordingDevice* device = InstallRecordingDevice();
    Steps[0] = NewStep(kDemoStepMilliseconds[0], 0, 0);
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
}

}  // namespace
