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
    for (const PathKey& k : path) xs.push_back(k.Position.x);
    return xs;
}

class StepRecords : public ::testing::Test {
protected:
    void SetUp() override {
        Steps.Redim(0, 3);
        for (int32_t i = 0; i <= 3; ++i) Steps[i] = NewStep(100, 0, 0);
    }
};

TEST_F(StepRecords, NewStepSizesItsArraysFromItsCounts) {
    const Step empty = NewStep(500, 0, 0);
    EXPECT_EQ(empty.Duration, 500);
    EXPECT_EQ(empty.StartTick, 0);
    EXPECT_EQ(empty.Loaded, False16);
    EXPECT_FALSE(empty.DrawList.Allocated());
    EXPECT_FALSE(empty.RenderStates.Allocated());
    EXPECT_EQ(empty.DrawListMax, -1);
    EXPECT_EQ(empty.RenderStateMax, -1);
    for (int32_t slot = 0; slot <= 7; ++slot) {
        EXPECT_EQ(empty.LightOn[slot], False16);
        EXPECT_TRUE(IsAllZero(empty.Lights[slot]));
    }
    for (const BoundedArray<PathKey>* path : {&empty.EyePath, &empty.TargetPath}) {
        ASSERT_EQ(path->LBound(), 0);
        ASSERT_EQ(path->UBound(), 0);
        const PathKey zero{};
        EXPECT_EQ(std::memcmp(&(*path)[0], &zero, sizeof zero), 0);
    }

    const Step sized = NewStep(1, 3, 2);
    EXPECT_EQ(sized.DrawList.UBound(), 2);
    EXPECT_EQ(sized.DrawListMax, 2);
    EXPECT_EQ(sized.RenderStates.UBound(), 1);
    EXPECT_EQ(sized.RenderStateMax, 1);
    EXPECT_EQ(sized.RenderStates[1].State, 0);
}

TEST_F(StepRecords, FirstKeyReplacesThePlaceholderOnlyWhileKeyZeroIsAtTheOrigin) {
    AddEyeKey(0, {1, 0, 0}, 10);
    AddEyeKey(0, {2, 0, 0}, 20);
    AddEyeKey(0, {3, 0, 0}, 30);
    EXPECT_EQ(Xs(Steps[0].EyePath), (std::vector<float>{1, 2, 3}));
    EXPECT_EQ(Steps[0].EyePath[0].Pace, 10);
    EXPECT_EQ(Steps[0].EyePath[2].Pace, 30);
    EXPECT_EQ(Steps[0].TargetPath.UBound(), 0) << "eye keys must not touch the target path";

    // A real first key at the origin is taken for the placeholder.
    AddTargetKey(1, {0, 0, 0}, 7);
    AddTargetKey(1, {5, 5, 5}, 8);
    ASSERT_EQ(Steps[1].TargetPath.UBound(), 0);
    EXPECT_EQ(Steps[1].TargetPath[0].Position.y, 5.0f);
    EXPECT_EQ(Steps[1].TargetPath[0].Pace, 8);
    EXPECT_EQ(Steps[1].EyePath[0].Position.x, 0.0f);

    // Only key 0 is tested: a later key at the origin is kept.
    AddTargetKey(2, {5, 5, 5}, 1);
    AddTargetKey(2, {0, 0, 0}, 2);
    AddTargetKey(2, {0, 0, 6}, 3);
    EXPECT_EQ(Steps[2].TargetPath.UBound(), 2);
    EXPECT_EQ(Steps[2].TargetPath[1].Pace, 2);

    // A key written over the placeholder takes its pace, 0 included.
    AddEyeKey(3, {0, 1, 0}, 0);
    EXPECT_EQ(Steps[3].EyePath[0].Position.y, 1.0f);
    EXPECT_EQ(Steps[3].EyePath[0].Pace, 0);

    EXPECT_THROW(AddEyeKey(4, {1, 1, 1}, 1), BoundsError);
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

    // Bad slots and steps fail before any flag changes.
    EXPECT_THROW(AddDirectionalLight(0, 8, 1, 1, 1, 1, {0, 0, 1}), BoundsError);
    EXPECT_THROW(AddPointLight(0, -1, {0, 0, 0}, 1, 0, 1, 1, 1, 1), BoundsError);
    EXPECT_THROW(AddPointLight(4, 0, {0, 0, 0}, 1, 0, 1, 1, 1, 1), BoundsError);
    for (int32_t slot = 0; slot <= 7; ++slot) EXPECT_EQ(Steps[0].LightOn[slot], False16);
}

class Timeline : public ::testing::Test {
protected:
    void SetUp() override {
        AppPath = dir.path().string();
        dir.Write("cam.dat", "2,10,20,30,40,50,60,70,80;\n");
        // Leftovers from an earlier timeline must not survive.
        Steps.Redim(0, 5);
        Steps[0].Loaded = True16;
        CurrentStep = 3;
        InitSteps([this](const std::string& m) { messages.push_back(m); });
    }
    TempDir dir;
    std::vector<std::string> messages;
};

TEST_F(Timeline, BuildsTheFourSteps) {
    EXPECT_EQ(messages,
              (std::vector<std::string>{"Loading step: 0", "Loading step: 1", "Loading step:2", "Loading step: 3"}));
    ASSERT_EQ(Steps.LBound(), 0);
    ASSERT_EQ(Steps.UBound(), 3);
    EXPECT_EQ(CurrentStep, 0);

    const int32_t durations[4] = {83000, 19500, 40400, 7300};
    const std::vector<int32_t> town = {7,  8,  9,  10, 11, 12, 13, 14, 15, 27, 18, 29, 30, 31,
                                       32, 33, 26, 25, 34, 35, 36, 37, 38, 39, 22, 19, 17, 24,
                                       40, 23, 41, 42, 43, 44, 45, 46, 20, 47, 48, 49};
    const std::vector<int32_t> cathedral = {51, 52, 53, 54, 55, 56, 57, 58, 59};
    for (int32_t s = 0; s <= 3; ++s) {
        SCOPED_TRACE("step " + std::to_string(s));
        const Step& step = Steps[s];
        EXPECT_EQ(step.Duration, durations[s]);
        EXPECT_EQ(step.StartTick, 0);
        EXPECT_EQ(step.Loaded, False16);
        const std::vector<int32_t> list(step.DrawList.begin(), step.DrawList.end());
        EXPECT_EQ(list, s % 2 == 0 ? town : cathedral);
        EXPECT_EQ(step.DrawList.LBound(), 0);
        EXPECT_EQ(step.DrawListMax, static_cast<int32_t>(list.size()) - 1);
        if (s != 0) {
            EXPECT_FALSE(step.RenderStates.Allocated());
            EXPECT_EQ(step.RenderStateMax, -1);
        }
    }

    ASSERT_EQ(Steps[0].RenderStateMax, 1);
    EXPECT_EQ(Steps[0].RenderStates[0].State, 137);
    EXPECT_EQ(Steps[0].RenderStates[0].Value, 1);
    EXPECT_EQ(Steps[0].RenderStates[1].State, 139);
    EXPECT_EQ(Steps[0].RenderStates[1].Value, 0x00707082);

    // The camera file's one record went to step 2.
    ASSERT_EQ(Steps[2].EyePath.UBound(), 0);
    EXPECT_EQ(Steps[2].EyePath[0].Position.z, 30.0f);
    EXPECT_EQ(Steps[2].TargetPath[0].Pace, 80);
}

TEST_F(Timeline, SwitchesOnTheLightsOfEachStep) {
    // Only the fields a builder sets are non-zero.
    D3DLIGHT8 point{};
    point.Type = D3DLIGHT_POINT;
    point.Position = {500, 100, -300};
    point.Range = 200;
    point.Attenuation1 = 0.004f;
    point.Diffuse = {0.7f, 0.7f, 0.2f, 1.0f};
    EXPECT_EQ(std::memcmp(&Steps[0].Lights[0], &point, sizeof point), 0);
    EXPECT_EQ(Steps[0].LightOn[0], True16);
    EXPECT_EQ(Steps[0].LightOn[1], True16);
    EXPECT_TRUE(IsAllZero(Steps[0].Lights[1]));
    D3DLIGHT8 sun{};
    sun.Type = D3DLIGHT_DIRECTIONAL;
    sun.Diffuse = {0.6f, 0.6f, 0.6f, 1.0f};
    sun.Direction = {0.5f, -1.0f, 0.0f};
    for (int32_t s : {1, 3}) {
        EXPECT_EQ(std::memcmp(&Steps[s].Lights[0], &sun, sizeof sun), 0) << "step " << s;
        EXPECT_EQ(Steps[s].LightOn[0], True16) << "step " << s;
    }

    for (int32_t s = 0; s <= 3; ++s) {
        const int32_t firstOff = s == 0 ? 2 : (s == 2 ? 0 : 1);
        for (int32_t slot = firstOff; slot <= 7; ++slot) {
            EXPECT_EQ(Steps[s].LightOn[slot], False16) << "step " << s << " slot " << slot;
            EXPECT_TRUE(IsAllZero(Steps[s].Lights[slot])) << "step " << s << " slot " << slot;
        }
    }
}

TEST_F(Timeline, StepTwoDrawsItsOwnCopyOfStepZerosList) {
    Steps[0].DrawList[0] = 99;
    Steps[0].DrawList.RedimPreserve(40);
    EXPECT_EQ(Steps[2].DrawList[0], 7);
    EXPECT_EQ(Steps[2].DrawList.UBound(), 39);
}

}  // namespace
