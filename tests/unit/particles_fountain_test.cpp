// The fountain: per-frame motion and re-emission with a clock and random
// source the test controls, and the point-sprite pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <deque>
#include <stdexcept>

#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "particles/UpdateParticles.h"
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
    void TearDown() override { ResetDemoGlobals(); }
    void Frame() {
        UpdateParticles();
        m_generateVertex();
    }

    ManualClock clock;
    ScriptedRandom random;
};

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
    EXPECT_EQ(particleVerts[7].Color, 0xFFFFFFFFu) << "drops are white";
    EXPECT_FLOAT_EQ(particles[7].VelY, 3.4f);
}

TEST(ParticlePass, DrawsUnlitDropsWithoutDepthWritesEachAtItsOwnSize) {
    RecordingDevice& device = *InstallRecordingDevice();
    TexDot = WhiteTexture(device, 1, 1);
    camPos = MakeVector(0, 100, 0);
    for (int32_t i = 0; i <= 399; ++i) particleVerts[i].Position = MakeVector(0, 100, 10.0f * i);
    device.SetRenderState(D3DRS_ZWRITEENABLE, 1);
    device.SetRenderState(D3DRS_LIGHTING, 1);

    r_renderParticles();

    const auto draws = device.CallsTo("DrawPrimitiveUP");
    EXPECT_EQ(std::count(draws.begin(), draws.end(), DeviceCall{"DrawPrimitiveUP", D3DPT_POINTLIST, 1}), 400);
    for (const int draw : {0, 399}) {
        EXPECT_EQ(ValueAtDraw(device, D3DRS_ZWRITEENABLE, draw), 0) << "depth writes at drop " << draw;
        EXPECT_EQ(ValueAtDraw(device, D3DRS_LIGHTING, draw), 0) << "lighting at drop " << draw;
        EXPECT_EQ(ValueAtDraw(device, D3DRS_ALPHABLENDENABLE, draw), 1) << "blending at drop " << draw;
        EXPECT_EQ(FvfAtDraw(device, draw), 322);
    }
    EXPECT_EQ(device.texture, TexDot.get()) << "drops are round dots, not squares";
    // Sizes in pixels are the rendering tests' business; here only their order.
    auto size = [&](int draw) { return std::bit_cast<float>(DWORD(ValueAtDraw(device, D3DRS_POINTSIZE, draw))); };
    EXPECT_GT(size(0), size(50)) << "nearer drops are larger";
    EXPECT_GT(size(100), 0.0f);
    EXPECT_EQ(size(100), size(399)) << "beyond a thousand units drops keep their smallest size";
    EXPECT_EQ(device.renderStates.at(D3DRS_ZWRITEENABLE), 1u);
    EXPECT_EQ(device.renderStates.at(D3DRS_LIGHTING), 1u);
    ExpectPoint(TransformPoint({1, 2, 3}, device.transforms.at(D3DTS_WORLD)), 1, 2, 3);
    ResetDemoGlobals();
}

}  // namespace
