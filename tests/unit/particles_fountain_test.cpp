// The fountain: pool set-up, per-frame motion and re-emission with a clock and
// random source the test controls, and the point-sprite pass.
#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <stdexcept>

#include "common/Common.h"
#include "common/Variables.h"
#include "particles/m_generateVertex.h"
#include "particles/m_initParticles.h"
#include "particles/r_renderParticles.h"
#include "platform/system/Random.h"
#include "support/TestSupport.h"

namespace {

// Hands out the values the test queued, and fails when asked for more.
class ScriptedRandom final : public Random {
public:
    std::deque<float> values;
    float Next() override {
        if (values.empty()) throw std::logic_error("no scripted random value left");
        const float value = values.front();
        values.pop_front();
        return value;
    }
};

class FountainTest : public ::testing::Test {
protected:
    void SetUp() override {
        SystemClock = &clock;
        Rng = &random;
        // Every drop alive for a long time unless a test says otherwise.
        for (Particle& p : particles) p = Particle{0, 0, 0, 0, 0, 0, 0, 100000};
    }
    void TearDown() override {
        SystemClock = nullptr;
        Rng = nullptr;
    }
    void Frame() {
        UpdateParticles();
        m_generateVertex();
    }

    ManualClock clock;
    ScriptedRandom random;
};

TEST_F(FountainTest, InitDrawsEachDropsValuesInOrderAndStartsAtTheOrigin) {
    clock.tick = 5000;
    for (int i = 0; i < 400; ++i) random.values.insert(random.values.end(), {0.25f, 0.5f, 0.75f, 0.3f, 0.125f});
    particles[3].PosY = 12;
    m_initParticles();
    EXPECT_TRUE(random.values.empty());
    for (int32_t i = 0; i <= 399; ++i) {
        const Particle& p = particles[i];
        ASSERT_EQ(p.BirthTick, 4750) << i;
        ASSERT_EQ(p.LifeTime, 500) << i;
        ASSERT_FLOAT_EQ(p.VelX, 0.5f) << i;
        ASSERT_FLOAT_EQ(p.VelY, 0.3f) << i;
        ASSERT_FLOAT_EQ(p.VelZ, -0.75f) << i;
        ASSERT_EQ(p.PosX, 0.0f);
        ASSERT_EQ(p.PosY, 0.0f);
        ASSERT_EQ(p.PosZ, 0.0f);
        ASSERT_EQ(particleVerts[i].Color, 0xFFFFFFFFu);
        ASSERT_EQ(particleVerts[i].Position.y, 0.0f);
    }
    EXPECT_EQ(particleMaterial.Ambient.r, 1.0f);
    EXPECT_EQ(particleMaterial.Ambient.a, 1.0f);
    EXPECT_EQ(particleMaterial.Diffuse.g, 1.0f);
    EXPECT_EQ(particleMaterial.Specular.r, 0.0f);
    EXPECT_EQ(particleMaterial.Emissive.b, 0.0f);
    EXPECT_EQ(particleMaterial.Power, 0.0f);

    // Birth ticks wrap with the counter instead of overflowing.
    clock.tick = std::numeric_limits<int32_t>::min() + 100;
    for (int i = 0; i < 400; ++i) random.values.insert(random.values.end(), {0.25f, 0.5f, 0.75f, 0.3f, 0.125f});
    m_initParticles();
    EXPECT_EQ(particles[0].BirthTick, std::numeric_limits<int32_t>::max() - 149);
}

TEST_F(FountainTest, ReEmittedDropIsDrawnAtTheFountainThenMoves) {
    particles[7].LifeTime = 10;
    particles[7].PosY = 50;
    particles[8].VelY = 2;
    clock.tick = 10;  // exactly its life time: not yet
    Frame();
    EXPECT_FLOAT_EQ(particleVerts[7].Position.y, 50.0f);

    clock.tick = 11;
    random.values = {0.5f, 0.4f, 0.5f, 0.8f};  // life time, VelX, VelY, VelZ
    Frame();
    EXPECT_TRUE(random.values.empty());
    const Particle& p = particles[7];
    EXPECT_EQ(p.BirthTick, 11);
    EXPECT_EQ(p.LifeTime, 450);
    EXPECT_FLOAT_EQ(p.VelX, -0.1f);
    EXPECT_FLOAT_EQ(p.VelY, 4.0f);
    EXPECT_FLOAT_EQ(p.VelZ, 0.5f);
    EXPECT_FLOAT_EQ(particleVerts[7].Position.x, 400.0f);
    EXPECT_FLOAT_EQ(particleVerts[7].Position.y, 27.0f);
    EXPECT_FLOAT_EQ(particleVerts[7].Position.z, -180.0f);
    // Its neighbour only moved: 2 on the first frame, 1.4 on the second.
    EXPECT_FLOAT_EQ(particleVerts[8].Position.y, 3.4f);

    clock.tick = 12;
    Frame();
    EXPECT_FLOAT_EQ(particleVerts[7].Position.y, 31.0f);
    EXPECT_FLOAT_EQ(particleVerts[7].Position.x, 399.9f);
    EXPECT_FLOAT_EQ(particles[7].VelY, 3.4f);
}

TEST_F(FountainTest, DropEmittedAtVelocityThreeRisesForFiveFrames) {
    particles[0].LifeTime = 0;
    clock.tick = 1;
    random.values = {0.99f, 0.5f, 0.0f, 0.5f};  // VelY = 0 x 2 + 3
    Frame();
    ASSERT_FLOAT_EQ(particleVerts[0].Position.y, 27.0f);
    float height = 27.0f;
    for (int frame = 1; frame <= 5; ++frame) {
        Frame();
        EXPECT_GT(particleVerts[0].Position.y, height) << frame;
        height = particleVerts[0].Position.y;
    }
    EXPECT_NEAR(height, 36.0f, 1e-4f);
    Frame();
    Frame();
    EXPECT_LT(particleVerts[0].Position.y, 36.0f - 0.5f);
}

TEST_F(FountainTest, ZeroLifeTimeReEmitsOnceAWholeMillisecondHasPassed) {
    particles[4].BirthTick = 100;
    particles[4].LifeTime = 0;
    clock.tick = 100;
    Frame();
    EXPECT_EQ(particles[4].BirthTick, 100);
    clock.tick = 101;
    random.values = {0.5f, 0.5f, 0.5f, 0.5f};
    Frame();
    EXPECT_EQ(particles[4].BirthTick, 101);
    EXPECT_FLOAT_EQ(particleVerts[4].Position.y, 27.0f);
}

TEST_F(FountainTest, ReEmissionComparesTicksAcrossTheCounterWrap) {
    particles[2].BirthTick = std::numeric_limits<int32_t>::max() - 5;
    particles[2].LifeTime = 10;
    clock.tick = std::numeric_limits<int32_t>::min() + 3;  // 9 ms later
    Frame();
    EXPECT_EQ(particles[2].BirthTick, std::numeric_limits<int32_t>::max() - 5);
    clock.tick = std::numeric_limits<int32_t>::min() + 5;  // 11 ms later
    random.values = {0.5f, 0.5f, 0.5f, 0.5f};
    Frame();
    EXPECT_EQ(particles[2].BirthTick, std::numeric_limits<int32_t>::min() + 5);
}

TEST(ParticleSize, ShrinksWithDistanceInStepsOfTenUnits) {
    EXPECT_FLOAT_EQ(ParticlePointSize(0), 0.012525f);
    EXPECT_FLOAT_EQ(ParticlePointSize(500), 0.006275f);
    EXPECT_FLOAT_EQ(ParticlePointSize(1000), 0.000025f);
    EXPECT_FLOAT_EQ(ParticlePointSize(25000), 0.000025f);
    EXPECT_EQ(ParticlePointSize(496), ParticlePointSize(504.9f));
    EXPECT_EQ(ParticlePointSize(505), ParticlePointSize(500));  // 50.5 -> 50
    EXPECT_EQ(ParticlePointSize(515), ParticlePointSize(520));  // 51.5 -> 52
}

TEST(ParticlePass, DrawsEachDropWithItsOwnSizeAndLeavesTheStatesOn) {
    RecordingDevice& device = *InstallRecordingDevice();
    TexDot = WhiteTexture(device, 1, 1);
    camPos = MakeVector(0, 100, 0);
    for (int32_t i = 0; i <= 399; ++i) particleVerts[i].Position = MakeVector(0, 100, 10.0f * i);

    r_renderParticles();

    std::vector<std::string> expected{"SetTransform(256)",    "SetRenderState(27,1)", "SetRenderState(28,1)",
                                      "SetRenderState(14,0)", "SetTexture(0,1)",      "SetMaterial",
                                      "SetVertexShader(322)", "SetRenderState(137,0)"};
    for (int32_t i = 0; i <= 399; ++i) {
        expected.push_back("SetRenderState(154," + std::to_string(FloatToDWord(ParticlePointSize(10.0f * i))) + ")");
        expected.push_back("DrawPrimitiveUP(1,1,24)");
    }
    expected.insert(expected.end(), {"SetRenderState(14,1)", "SetRenderState(137,1)", "SetRenderState(28,1)"});
    EXPECT_EQ(device.calls, expected);
    const D3DMATRIX& world = device.transforms.at(D3DTS_WORLD);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) EXPECT_EQ(world.m[r][c], r == c ? 1.0f : 0.0f);
    }
    TexDot.reset();
    D3DDevice.reset();
}

}  // namespace
