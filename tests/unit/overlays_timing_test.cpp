// The overlay timeline as a function of time, step and window size, and the
// white it holds over the two cuts when frames run on the real frame loop.
#include <gtest/gtest.h>

#include <vector>

#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/system/Clock.h"
#include "render/Overlays.h"
#include "shell/FrameLoop.h"
#include "support/TestSupport.h"

namespace {

uint32_t Alpha(D3DCOLOR color) { return color >> 24; }

bool AnyTimed(const OverlayFrame& frame) { return frame.credit.shown || frame.logo.shown || frame.white.shown; }

// The step a run with no overrun is in at `t`.
int32_t StepAt(int32_t t) {
    int32_t step = 0;
    for (int32_t end = kDemoStepMilliseconds[0]; step < 3 && t >= end; end += kDemoStepMilliseconds[++step]) {
    }
    return step;
}

OverlayFrame At(int32_t t, int32_t width = 800, int32_t height = 600) {
    return ComputeOverlays(t, StepAt(t), width, height);
}

TEST(Overlays, BackdropCoversTheWindowOnEveryFrame) {
    for (int32_t t : {-5, 0, 1000, 3000, 12000, 90000, 150199, 150200, 400000}) {
        const OverlayFrame frame = At(t, 1024, 768);
        EXPECT_TRUE(frame.backdrop.shown) << t;
        EXPECT_FLOAT_EQ(frame.backdrop.scaling.x, 2.0f);
        EXPECT_FLOAT_EQ(frame.backdrop.scaling.y, 1.5f);
        EXPECT_EQ(frame.backdrop.color, 0xFFFFFFFFu);
    }
}

TEST(Overlays, CreditLineShowsThenFadesInItsCentredRectangle) {
    EXPECT_FALSE(AnyTimed(At(1000)));
    const OverlayFrame first = At(1001);
    ASSERT_TRUE(first.credit.shown);
    EXPECT_FALSE(first.logo.shown || first.white.shown);
    EXPECT_EQ(first.credit.color, 0xFFFFFFFFu);
    EXPECT_EQ(Alpha(At(4500).credit.color), 0u);
    EXPECT_FALSE(AnyTimed(At(5500)));
    const OverlayText text = At(2000).credit;
    EXPECT_EQ(text.left, 250);
    EXPECT_EQ(text.top, 300);
    EXPECT_EQ(text.right, 550);
    EXPECT_EQ(text.bottom, 340);
    // Odd sizes put the centre on a half pixel, rounded half to even: 361.5 -> 362, 383.5 -> 384, 360.5 -> 360.
    const OverlayText odd = At(2000, 1023, 767).credit;
    EXPECT_EQ(odd.left, 362);
    EXPECT_EQ(odd.top, 384);
    EXPECT_EQ(At(2000, 1021, 600).credit.left, 360);
}

// The fade alpha at known times, rounded half to even: the credit's fade,
// the logo's, the wash up to the cut at 83 s, the ramp around 100 s and the
// closing fade.
TEST(Overlays, AlphaAtKnownTimes) {
    const std::pair<int32_t, int> cases[] = {
        {3000, 255},   {3050, 246},  // 246.5
        {3300, 204},   {3600, 153},   {6001, 255},  {12001, 255},  // 254.949
        {14500, 128},  {16999, 0},    {81000, 128},  // 127.5
        {82999, 255},  {99650, 128},  {100000, 255}, {100350, 128}, {100499, 1},
        {148440, 51},  {148660, 76},  // 76.5
        {148880, 102}, {150199, 255},
    };
    for (const auto& [t, alpha] : cases) EXPECT_EQ(At(t).alpha, alpha) << "at " << t;
}

TEST(Overlays, LogoIsCentredAtDoubleWidth) {
    const OverlayFrame frame = At(12000);
    ASSERT_TRUE(frame.logo.shown);
    EXPECT_FALSE(frame.credit.shown || frame.white.shown);
    EXPECT_FLOAT_EQ(frame.logo.scaling.x, 2.0f);
    EXPECT_FLOAT_EQ(frame.logo.scaling.y, 1.0f);
    EXPECT_FLOAT_EQ(frame.logo.translation.x, 144.0f);
    EXPECT_FLOAT_EQ(frame.logo.translation.y, 172.0f);
    EXPECT_TRUE(At(16999).logo.shown);
    EXPECT_FALSE(AnyTimed(At(17000)));
}

TEST(Overlays, WhiteCoversTheWindowOnlyInTheWashAndTheClosingFade) {
    const OverlayFrame frame = At(148440);
    ASSERT_TRUE(frame.white.shown);
    EXPECT_FLOAT_EQ(frame.white.scaling.x, 800.0f);
    EXPECT_FLOAT_EQ(frame.white.scaling.y, 600.0f);
    EXPECT_EQ(frame.white.color, 0x33FFFFFFu);
    EXPECT_TRUE(At(82999).white.shown);
    // The ramp around 100 s keeps its alpha but draws nothing.
    for (int32_t t : {99650, 100000, 100499}) EXPECT_FALSE(AnyTimed(At(t))) << t;
    for (int32_t t : {5750, 17000, 50000, 79000, 90000, 100500, 120000, 148000}) {
        EXPECT_FALSE(AnyTimed(At(t))) << t;
        EXPECT_EQ(At(t).alpha, 0) << t;
    }
}

// What the frame loop shows around the two cuts: for each rendered frame, its
// time on the overlay clock, its step and the white's alpha (-1: no white).
struct ShownFrame {
    int32_t t, step, white;
};

std::vector<ShownFrame> RunTimeline(uint32_t fps) {
    FixedStepClock clock(fps, 5000);
    SystemClock = &clock;
    startTick = clock.TickCount();
    InstallDemoSteps(startTick);
    std::vector<ShownFrame> shown;
    FrameRoutines routines{[] { Steps[CurrentStep].Loaded = True16; }, [] {}, [] {}, [] {}, [] {}, [&] {
                               const int32_t t = TickDifference(GetTickCount(), startTick);
                               const OverlayFrame frame = ComputeOverlays(t, CurrentStep, 1024, 768);
                               if (t > 78000) shown.push_back({t, CurrentStep, frame.white.shown ? frame.alpha : -1});
                               clock.OnFramePresented();
                           }};
    RunFrameLoop(routines);
    SystemClock = nullptr;
    return shown;
}

class OverlayCuts : public ::testing::TestWithParam<uint32_t> {};

// The town is never seen again between the near-white frame and the
// cathedral, nor the cathedral between the full white and the end screen.
TEST_P(OverlayCuts, WhiteHoldsUntilTheStepChangesAndUntilTheEndScreen) {
    const std::vector<ShownFrame> frames = RunTimeline(GetParam());
    ASSERT_FALSE(frames.empty());
    int shownAfterWash = 0, shownAfterFade = 0;
    for (size_t i = 1; i < frames.size(); ++i) {
        const ShownFrame& f = frames[i];
        if (f.step == 0 && f.t > 79000) {
            EXPECT_GE(f.white, frames[i - 1].white) << "the wash fell back at t = " << f.t;
            if (f.t >= 83000) {
                EXPECT_EQ(f.white, 255) << "t = " << f.t;
                ++shownAfterWash;
            }
        }
        if (f.step == 1) {
            EXPECT_EQ(f.white, -1) << "white over the cathedral at t = " << f.t;
        }
        if (f.t > 148000) {
            EXPECT_GE(f.white, frames[i - 1].white) << "the closing fade fell back at t = " << f.t;
            if (f.t >= 150200) {
                EXPECT_EQ(f.white, 255) << "t = " << f.t;
                ++shownAfterFade;
            }
        }
    }
    // The fixed-step clock puts frames on 83000 and past 150200.
    EXPECT_GE(shownAfterWash, 1);
    EXPECT_GE(shownAfterFade, 1);
    EXPECT_EQ(frames.back().step, 3);
    EXPECT_GE(frames.back().t, 150200);
}

INSTANTIATE_TEST_SUITE_P(FixedStep, OverlayCuts, ::testing::Values(60u, 25u));

}  // namespace
