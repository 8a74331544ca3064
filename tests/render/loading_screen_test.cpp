// The loading screen on the demo's own device, as a viewer sees it: where the
// bar, its frame, the message and the credit are, and how full the bar is.
#include <gtest/gtest.h>

#include "common/Variables.h"
#include "loading/m_showLoadingScreen.h"
#include "support/DeviceHarness.h"

namespace {

constexpr Rgb kBackground{0, 0, 58}, kFrame{130, 0, 130};

bool Light(const Rgb& c) { return c.r > 150 && c.g > 150 && c.b > 150; }

// Message 35 of 70: the purple frame (404 x 24) round a bar half full and
// half opaque, centred below the middle; the message centred just above it.
// Message 70: the bar full and opaque.
TEST_F(DemoDevice, TheLoadingScreenShowsTheBarTheMessageAndTheCredit) {
    LoadingScreenStage stage(*D3DDevice);
    LoadingCount = 34;
    m_showLoadingScreen("Creating object: 1");
    ExpectPixel(frame, 100, 600, kBackground, 0, "background");
    for (const auto& [x, y] : {std::pair{310, 382}, {713, 405}, {405, 390}, {618, 390}})
        ExpectPixel(frame, x, y, kFrame, 2, "the bar's frame");
    for (const auto& [x, y] : {std::pair{309, 390}, {714, 390}, {512, 381}, {512, 406}})
        ExpectPixel(frame, x, y, kBackground, 2, "outside the frame");
    for (const auto& [x, y] : {std::pair{413, 384}, {610, 403}})
        ExpectPixel(frame, x, y, {192, 128, 192}, 3, "the bar, half opaque");
    const Found message = Find(frame, 300, 340, 724, 382, Light);
    EXPECT_GT(message.count, 50);
    EXPECT_NEAR((message.left + message.right) / 2.0, 512, 3) << "centred";
    EXPECT_GE(message.top, 364);
    const Found credit = Find(frame, 0, 0, 300, 40, Light);
    EXPECT_GT(credit.count, 50);
    EXPECT_LE(credit.left, 2) << "flush left";
    EXPECT_LE(credit.top, 4);

    LoadingCount = 69;
    m_showLoadingScreen("Creating object: 2");
    for (const auto& [x, y] : {std::pair{313, 384}, {710, 403}})
        ExpectPixel(frame, x, y, {255, 255, 255}, 1, "the bar, full");
}

}  // namespace
