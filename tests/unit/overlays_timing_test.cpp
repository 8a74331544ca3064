// The overlay timeline as a function of time and window size.
#include <gtest/gtest.h>

#include "render/Overlays.h"

namespace {

uint32_t Alpha(D3DCOLOR color) { return color >> 24; }

bool AnyTimed(const OverlayFrame& frame) { return frame.credit.shown || frame.logo.shown || frame.white.shown; }

TEST(Overlays, BackdropCoversTheWindowOnEveryFrame) {
    for (int32_t t : {-5, 0, 1000, 3000, 12000, 90000, 150199, 150200, 400000}) {
        const OverlayFrame frame = ComputeOverlays(t, 1024, 768);
        EXPECT_TRUE(frame.backdrop.shown) << t;
        EXPECT_FLOAT_EQ(frame.backdrop.scaling.x, 2.0f);
        EXPECT_FLOAT_EQ(frame.backdrop.scaling.y, 1.5f);
        EXPECT_EQ(frame.backdrop.color, 0xFFFFFFFFu);
    }
    EXPECT_FLOAT_EQ(ComputeOverlays(0, 800, 600).backdrop.scaling.x, 800.0f / 512);
}

TEST(Overlays, CreditLineShowsThenFades) {
    EXPECT_FALSE(AnyTimed(ComputeOverlays(1000, 800, 600)));
    const OverlayFrame first = ComputeOverlays(1001, 800, 600);
    ASSERT_TRUE(first.credit.shown);
    EXPECT_FALSE(first.logo.shown || first.white.shown);
    EXPECT_EQ(first.credit.color, 0xFFFFFFFFu);
    EXPECT_EQ(Alpha(ComputeOverlays(3000, 800, 600).credit.color), 255u);
    EXPECT_EQ(Alpha(ComputeOverlays(3300, 800, 600).credit.color), 204u);
    EXPECT_EQ(Alpha(ComputeOverlays(3600, 800, 600).credit.color), 153u);
    for (int32_t t = 4500; t <= 5499; ++t) {
        const OverlayFrame frame = ComputeOverlays(t, 800, 600);
        ASSERT_TRUE(frame.credit.shown) << t;
        ASSERT_EQ(frame.alpha, 0) << t;
        ASSERT_EQ(frame.credit.color, 0x00FFFFFFu) << t;
    }
    EXPECT_FALSE(AnyTimed(ComputeOverlays(5500, 800, 600)));
    EXPECT_FALSE(AnyTimed(ComputeOverlays(6000, 800, 600)));
}

// The fade alpha at known times, rounded half to even: the credit's fade,
// the logo's, the closing fade, the wash up to the cut at 83 s and the ramp
// around 100 s.
TEST(Overlays, AlphaAtKnownTimes) {
    const std::pair<int32_t, int> cases[] = {
        {3050, 246},  // 246.5
        {3300, 204},   {6001, 255},   {12001, 255},  // 254.949
        {14500, 128},  {81000, 128},  // 127.5
        {82999, 255},  {99650, 128},  {100000, 255}, {100350, 128}, {100499, 1},
        {148660, 76},  // 76.5
        {148880, 102}, {150199, 255},
    };
    for (const auto& [t, alpha] : cases) EXPECT_EQ(ComputeOverlays(t, 800, 600).alpha, alpha) << "at " << t;
}

TEST(Overlays, CreditRectangleIsCentredAndRoundedHalfToEven) {
    const OverlayText text = ComputeOverlays(2000, 800, 600).credit;
    EXPECT_EQ(text.left, 250);
    EXPECT_EQ(text.top, 300);
    EXPECT_EQ(text.right, 550);
    EXPECT_EQ(text.bottom, 340);
    // Odd sizes put the centre on a half pixel: 361.5 -> 362, 661.5 -> 662, 383.5 -> 384, 423.5 -> 424.
    const OverlayText odd = ComputeOverlays(2000, 1023, 767).credit;
    EXPECT_EQ(odd.left, 362);
    EXPECT_EQ(odd.right, 662);
    EXPECT_EQ(odd.top, 384);
    EXPECT_EQ(odd.bottom, 424);
    // 360.5 -> 360 and 660.5 -> 660.
    const OverlayText evenTies = ComputeOverlays(2000, 1021, 600).credit;
    EXPECT_EQ(evenTies.left, 360);
    EXPECT_EQ(evenTies.right, 660);
}

TEST(Overlays, LogoIsCentredAtDoubleWidthAndFades) {
    const OverlayFrame frame = ComputeOverlays(12000, 800, 600);
    ASSERT_TRUE(frame.logo.shown);
    EXPECT_FALSE(frame.credit.shown || frame.white.shown);
    EXPECT_FLOAT_EQ(frame.logo.scaling.x, 2.0f);
    EXPECT_FLOAT_EQ(frame.logo.scaling.y, 1.0f);
    EXPECT_FLOAT_EQ(frame.logo.translation.x, 144.0f);
    EXPECT_FLOAT_EQ(frame.logo.translation.y, 172.0f);
    EXPECT_EQ(frame.logo.color, 0xFFFFFFFFu);
    EXPECT_EQ(Alpha(ComputeOverlays(14500, 800, 600).logo.color), 128u);
    const OverlayFrame last = ComputeOverlays(16999, 800, 600);
    EXPECT_TRUE(last.logo.shown);
    EXPECT_EQ(last.alpha, 0);
    EXPECT_FALSE(AnyTimed(ComputeOverlays(17000, 800, 600)));
}

TEST(Overlays, ClosingFadeTurnsTheWindowWhite) {
    EXPECT_FALSE(AnyTimed(ComputeOverlays(148000, 800, 600)));
    const OverlayFrame frame = ComputeOverlays(148440, 800, 600);
    ASSERT_TRUE(frame.white.shown);
    EXPECT_FLOAT_EQ(frame.white.scaling.x, 800.0f);
    EXPECT_FLOAT_EQ(frame.white.scaling.y, 600.0f);
    EXPECT_FLOAT_EQ(frame.white.translation.x, 0.0f);
    EXPECT_EQ(frame.white.color, 0x33FFFFFFu);
    // Frames of the last step that run past its end show no timed overlay.
    for (int32_t t : {150200, 150300, 151000}) EXPECT_FALSE(AnyTimed(ComputeOverlays(t, 800, 600))) << t;
}

TEST(Overlays, WhiteWashOverTheCutAndQuietStretches) {
    EXPECT_FALSE(AnyTimed(ComputeOverlays(79000, 800, 600)));
    EXPECT_TRUE(ComputeOverlays(82999, 800, 600).white.shown);
    EXPECT_FALSE(AnyTimed(ComputeOverlays(83000, 800, 600)));
    // The ramp around 100 s keeps its alpha but draws nothing.
    for (int32_t t : {99650, 100000, 100499}) EXPECT_FALSE(AnyTimed(ComputeOverlays(t, 800, 600))) << t;
    for (int32_t t : {5750, 17000, 50000, 78999, 90000, 100500, 120000, 147999}) {
        const OverlayFrame frame = ComputeOverlays(t, 800, 600);
        EXPECT_FALSE(AnyTimed(frame)) << t;
        EXPECT_EQ(frame.alpha, 0) << t;
    }
}

}  // namespace
