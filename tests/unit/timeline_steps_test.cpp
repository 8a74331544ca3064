// The four steps of the demo as the timeline builds them; how each looks is
// checked in rendered frames.
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
    for (int32_t s = 0; s <= 3; ++s) EXPECT_EQ(Steps[s].Loaded, False16) << "step " << s;

    // The camera file's one record went to step 2.
    ASSERT_EQ(Steps[2].EyePath.UBound(), 0);
    EXPECT_EQ(Steps[2].EyePath[0].Position.z, 30.0f);
    EXPECT_EQ(Steps[2].TargetPath[0].Pace, 80);
}

}  // namespace
