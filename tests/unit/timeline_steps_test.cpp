// The four steps of the demo as the timeline builds them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Variables.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"

namespace {

TEST(Timeline, BuildsTheFourStepsOfTheDemo) {
    TempDir dir;
    AppPath = dir.path().string();
    dir.Write("cam.dat", "2,10,20,30,40,50,60,70,80;\n");
    Steps.Redim(0, 5);  // leftovers from an earlier timeline must not survive
    Steps[0].Loaded = True16;
    CurrentStep = 3;
    InitSteps([](const std::string&) {});
    AppPath.clear();
    ASSERT_EQ(Steps.UBound(), 3);
    EXPECT_EQ(CurrentStep, 0);

    const int32_t durations[4] = {83000, 19500, 40400, 7300};
    const int32_t lightsOn[4] = {2, 1, 0, 1};
    for (int32_t s = 0; s <= 3; ++s) {
        SCOPED_TRACE("step " + std::to_string(s));
        EXPECT_EQ(Steps[s].Duration, durations[s]);
        EXPECT_EQ(Steps[s].Loaded, False16);
        for (int32_t slot = 0; slot <= 7; ++slot)
            EXPECT_EQ(Steps[s].LightOn[slot], slot < lightsOn[s] ? True16 : False16) << slot;
    }

    // The town: lighting on, a blue-grey ambient and a yellow point light over the square.
    ASSERT_EQ(Steps[0].RenderStateMax, 1);
    EXPECT_EQ(Steps[0].RenderStates[1].State, D3DRS_AMBIENT);
    EXPECT_EQ(Steps[0].RenderStates[1].Value, 0x00707082);
    const D3DLIGHT8& lamp = Steps[0].Lights[0];
    EXPECT_EQ(lamp.Type, D3DLIGHT_POINT);
    ExpectPoint(lamp.Position, 500, 100, -300, 0);
    EXPECT_EQ(lamp.Range, 200.0f);
    EXPECT_EQ(lamp.Attenuation1, 0.004f);

    // The camera file's one record went to step 2.
    ASSERT_EQ(Steps[2].EyePath.UBound(), 0);
    EXPECT_EQ(Steps[2].EyePath[0].Position.z, 30.0f);
    EXPECT_EQ(Steps[2].TargetPath[0].Pace, 80);
}

}  // namespace
