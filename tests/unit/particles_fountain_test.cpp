// The fountain: pool set-up, per-frame motion and re-emission with a clock and
// random source the test controls, and the point-sprite pass.
#include <gtest/gtest.h>

#include <deque>
#include <limits>
#include <stdexcept>

#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "particles/m_generateVertex.h"
#include "particles/m_initParticles.h"
#include "particles/r_renderParticles.h"
#include "platform/system/Random.h"
#include "support/TestSupport.h"
#include "support/UnitDrawState.h"

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
        ASSERT_EQ(p.PosY, 0.0f) << i;
        ASSERT_EQ(particleVerts[i].Color, 0xFFFFFFFFu) << i;
    }
    EXPECT_EQ(particleMaterial.Ambient.r, 1.0f);
    EXPECT_EQ(particleMaterial.Diffuse.g, 1.0f);
    EXPECT_EQ(particleMaterial.Specular.r, 0.0f);
}

TEST_F(FountainTest, ReEmittedDropStartsAtTheFountainThenFallsBack) {
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
    ExpectPoint(particleVerts[7].Position, 400, 27, -180);
    // Its neighbour only moved, and gravity took 0.6 off its rise: 2, then 1.4.
    EXPECT_FLOAT_EQ(particleVerts[8].Position.y, 3.4f);

    clock.tick = 12;
    Frame();
    EXPECT_FLOAT_EQ(particleVerts[7].Position.y, 31.0f);
    EXPECT_FLOAT_EQ(particleVerts[7].Position.x, 399.9f);
    EXPECT_FLOAT_EQ(particles[7].VelY, 3.4f);
}

TEST_F(FountainTest, ReEmissionWaitsAWholeMillisecondPastTheLifeTimeAcrossTheCounterWrap) {
    const struct {
        int32_t birth, life, notYet, due;
    } cases[] = {{100, 0, 100, 101},
                 {std::numeric_limits<int32_t>::max() - 5, 10, std::numeric_limits<int32_t>::min() + 3,
                  std::numeric_limits<int32_t>::min() + 5}};
    for (const auto& c : cases) {
        particles[2].BirthTick = c.birth;
        particles[2].LifeTime = c.life;
        clock.tick = c.notYet;
        Frame();
        EXPECT_EQ(particles[2].BirthTick, c.birth);
        clock.tick = c.due;
        random.values = {0.5f, 0.5f, 0.5f, 0.5f};
        Frame();
        EXPECT_EQ(particles[2].BirthTick, c.due);
        EXPECT_FLOAT_EQ(particleVerts[2].Position.y, 27.0f);
    }
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

TEST(ParticlePass, DrawsUnlitDropsWithoutDepthWritesEachAtItsOwnSize) {
    RecordingDevice& device = *InstallRecordingDevice();
    TexDot = WhiteTexture(device, 1, 1);
    camPos = MakeVector(0, 100, 0);
    for (int32_t i = 0; i <= 399; ++i) particleVerts[i].Position = MakeVector(0, 100, 10.0f * i);
    device.SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device.SetRenderState(D3DRS_LIGHTING, 1);

    r_renderParticles();

    EXPECT_EQ(device.CallsStartingWith("DrawPrimitiveUP(1,1,24)").size(), 400u);
    for (const int draw : {0, 399}) {
        EXPECT_EQ(ValueAtDraw(device, "SetRenderState(14,", draw), 0) << "depth writes at drop " << draw;
        EXPECT_EQ(ValueAtDraw(device, "SetRenderState(137,", draw), 0) << "lighting at drop " << draw;
        EXPECT_EQ(ValueAtDraw(device, "SetRenderState(27,", draw), 1) << "blending at drop " << draw;
        EXPECT_EQ(ValueAtDraw(device, "SetVertexShader(", draw), 322);
    }
    EXPECT_EQ(ValueAtDraw(device, "SetRenderState(154,", 0), FloatToDWord(0.012525f));
    EXPECT_EQ(ValueAtDraw(device, "SetRenderState(154,", 50), FloatToDWord(0.006275f));
    EXPECT_EQ(device.renderStates.at(D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(device.renderStates.at(D3DRS_LIGHTING), 1u);
    ExpectPoint(TransformPoint({1, 2, 3}, device.transforms.at(D3DTS_WORLD)), 1, 2, 3);
    TexDot.reset();
    D3DDevice.reset();
}

}  // namespace
