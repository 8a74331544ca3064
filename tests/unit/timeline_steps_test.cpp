// Building the timeline: fresh steps, path keys with the key-0 placeholder,
// the light builders and the four steps of the demo.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Variables.h"
#include "support/TestSupport.h"
#include "timeline/m_AddlLight.h"
#include "timeline/m_InitSteps.h"

namespace {

bool IsAllZero(const D3DLIGHT8& light) {
    const D3DLIGHT8 zero{};
    return std::memcmp(&light, &zero, sizeof light) == 0;
}

std::vector<float> Xs(const BoundedArray<PathKey>& path) {
    std::vector<float> xs;
    for (const PathKey& k : path) xs.push_back(k.Position.x + k.Position.y + k.Position.z);
    return xs;
}

class StepRecords : public ::testing::Test {
protected:
    void SetUp() override {
        Steps.Redim(0, 4);
        for (int32_t i = 0; i <= 4; ++i) Steps[i] = NewStep(100, 0, 0);
    }
};

TEST_F(StepRecords, FirstKeyReplacesThePlaceholderOnlyWhileKeyZeroIsAtTheOrigin) {
    AddEyeKey(0, {1, 0, 0}, 10);
    AddEyeKey(0, {2, 0, 0}, 20);
    AddEyeKey(0, {3, 0, 0}, 30);
    EXPECT_EQ(Xs(Steps[0].EyePath), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(Steps[0].EyePath[2].Pace, 30);
    EXPECT_EQ(Steps[0].TargetPath.UBound(), 0) << "eye keys must not touch the target path";

    // A real first key at the origin is taken for the placeholder.
    AddTargetKey(1, {0, 0, 0}, 7);
    AddTargetKey(1, {5, 5, 5}, 8);
    EXPECT_EQ(Xs(Steps[1].TargetPath), (std::vector<float>{15}));
    EXPECT_EQ(Steps[1].TargetPath[0].Pace, 8);

    // Only key 0 is tested: a later key at the origin is kept.
    AddTargetKey(2, {5, 5, 5}, 1);
    AddTargetKey(2, {0, 0, 0}, 2);
    AddTargetKey(2, {0, 0, 6}, 3);
    EXPECT_EQ(Xs(Steps[2].TargetPath), (std::vector<float>{15, 0, 6}));

    // A first key on an axis is a real key.
    AddEyeKey(3, {0, 0, 4}, 0);
    AddEyeKey(3, {0, 9, 0}, 1);
    EXPECT_EQ(Xs(Steps[3].EyePath), (std::vector<float>{4, 9}));
    AddEyeKey(4, {0, 1, 0}, 0);
    AddEyeKey(4, {7, 0, 0}, 1);
    EXPECT_EQ(Xs(Steps[4].EyePath), (std::vector<float>{1, 7}));

    EXPECT_THROW(AddEyeKey(5, {1, 1, 1}, 1), BoundsError);
    EXPECT_THROW(AddTargetKey(-1, {1, 1, 1}, 1), BoundsError);
}

TEST_F(StepRecords, LightBuildersSwitchTheirSlotOnAndFillOnlyTheirFields) {
    const D3DLIGHT8 dir = AddDirectionalLight(2, 7, 0.5f, 0.1f, 0.2f, 0.3f, {1, -2, 3});
    EXPECT_EQ(Steps[2].LightOn[7], True16);
    D3DLIGHT8 expected{};
    expected.Type = D3DLIGHT_DIRECTIONAL;
    expected.Diffuse = {0.1f, 0.2f, 0.3f, 0.5f};
    expected.Direction = {1, -2, 3};
    EXPECT_EQ(std::memcmp(&dir, &expected, sizeof dir), 0);

    const D3DLIGHT8 point = AddPointLight(1, 0, {4, 5, 6}, 200, 0.25f, 1.0f, 0.7f, 0.6f, 0.5f);
    EXPECT_EQ(Steps[1].LightOn[0], True16);
    expected = D3DLIGHT8{};
    expected.Type = D3DLIGHT_POINT;
    expected.Diffuse = {0.7f, 0.6f, 0.5f, 1.0f};
    expected.Position = {4, 5, 6};
    expected.Range = 200.0f;
    expected.Attenuation1 = 0.25f;
    EXPECT_EQ(std::memcmp(&point, &expected, sizeof point), 0);

    EXPECT_THROW(AddDirectionalLight(0, 8, 1, 1, 1, 1, {0, 0, 1}), BoundsError);
    EXPECT_THROW(AddPointLight(0, -1, {0, 0, 0}, 1, 0, 1, 1, 1, 1), BoundsError);
    for (int32_t slot = 0; slot <= 7; ++slot) EXPECT_EQ(Steps[0].LightOn[slot], False16);
}

TEST(Timeline, BuildsTheFourStepsOfTheDemo) {
    TempDir dir;
    AppPath = dir.path().string();
    dir.Write("cam.dat", "2,10,20,30,40,50,60,70,80;\n");
    Steps.Redim(0, 5);  // leftovers from an earlier timeline must not survive
    Steps[0].Loaded = True16;
    CurrentStep = 3;
    std::vector<std::string> messages;
    InitSteps([&](const std::string& m) { messages.push_back(m); });
    AppPath.clear();
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Loading step: 0", "Loading step: 1", "Loading step:2", "Loading step: 3"}));
    ASSERT_EQ(Steps.UBound(), 3);
    EXPECT_EQ(CurrentStep, 0);

    const int32_t durations[4] = {83000, 19500, 40400, 7300};
    const int32_t lightsOn[4] = {2, 1, 0, 1};
    for (int32_t s = 0; s <= 3; ++s) {
        SCOPED_TRACE("step " + std::to_string(s));
        const Step& step = Steps[s];
        EXPECT_EQ(step.Duration, durations[s]);
        EXPECT_EQ(step.Loaded, False16);
        EXPECT_EQ(step.DrawListMax, step.DrawList.UBound());
        if (s % 2 == 1) {
            // The cathedral steps draw the cathedral and its statues, 51 to 59.
            EXPECT_EQ(std::vector<int32_t>(step.DrawList.begin(), step.DrawList.end()),
                      (std::vector<int32_t>{51, 52, 53, 54, 55, 56, 57, 58, 59}));
        }
        for (int32_t slot = 0; slot <= 7; ++slot) {
            EXPECT_EQ(step.LightOn[slot], slot < lightsOn[s] ? True16 : False16) << slot;
            if (slot >= lightsOn[s]) {
                EXPECT_TRUE(IsAllZero(step.Lights[slot])) << slot;
            }
        }
    }
    // The town steps draw the same 40 objects from lists of their own.
    ASSERT_EQ(Steps[0].DrawList.UBound(), 39);
    EXPECT_TRUE(std::equal(Steps[0].DrawList.begin(), Steps[0].DrawList.end(), Steps[2].DrawList.begin(),
                           Steps[2].DrawList.end()));
    Steps[0].DrawList[0] = 99;
    EXPECT_NE(Steps[2].DrawList[0], 99);

    // The town: lighting on, a blue-grey ambient and a yellow point light over the square.
    ASSERT_EQ(Steps[0].RenderStateMax, 1);
    EXPECT_EQ(Steps[0].RenderStates[0].State, D3DRS_LIGHTING);
    EXPECT_EQ(Steps[0].RenderStates[0].Value, 1);
    EXPECT_EQ(Steps[0].RenderStates[1].State, D3DRS_AMBIENT);
    EXPECT_EQ(Steps[0].RenderStates[1].Value, 0x00707082);
    const D3DLIGHT8& lamp = Steps[0].Lights[0];
    EXPECT_EQ(lamp.Type, D3DLIGHT_POINT);
    ExpectPoint(lamp.Position, 500, 100, -300, 0);
    EXPECT_EQ(lamp.Range, 200.0f);
    EXPECT_EQ(lamp.Attenuation1, 0.004f);
    for (int32_t s : {1, 3}) {
        EXPECT_EQ(Steps[s].Lights[0].Type, D3DLIGHT_DIRECTIONAL);
        ExpectPoint(Steps[s].Lights[0].Direction, 0.5f, -1.0f, 0.0f, 0);
    }

    // The camera file's one record went to step 2.
    ASSERT_EQ(Steps[2].EyePath.UBound(), 0);
    EXPECT_EQ(Steps[2].EyePath[0].Position.z, 30.0f);
    EXPECT_EQ(Steps[2].TargetPath[0].Pace, 80);
}

}  // namespace
