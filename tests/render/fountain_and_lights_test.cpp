// The fountain's pass and the town's lights on the demo's own device, as its
// graphics-mode set-up leaves it, checked in the picture.
#include <gtest/gtest.h>

#include "common/Common.h"
#include "common/Wrappers.h"
#include "particles/r_renderParticles.h"
#include "render/m_InitVertexFog.h"
#include "support/DeviceHarness.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

constexpr D3DCOLOR kFog = 0xFF10101Au;

// The fountain's 400 drops laid out as a 20 x 20 grid on screen, 40 pixels
// apart across and 30 down: even columns 60 units from the camera, odd
// columns 500 (fogged, and smaller).
struct Drop {
    int x, y;
    bool near;
};
Drop PlaceDrop(int i) {
    const int column = i % 20, row = i / 20;
    const float gx = static_cast<float>(column) - 9.5f, gy = static_cast<float>(row) - 9.5f;
    const float z = column % 2 == 0 ? 60.0f : 500.0f, spread = 0.0323620f * z;  // 40 px at the demo's projection
    particleVerts[i].Position = MakeVector(gx * spread, gy * spread, z);
    particleVerts[i].Color = 0xFFFFFFFFu;
    return {512 + static_cast<int>(40 * gx), 384 - static_cast<int>(30 * gy), column % 2 == 0};
}

class Fountain : public DemoDevice {
protected:
    void SetUp() override {
        DemoDevice::SetUp();
        m_InitVertexFog();
        TexDot = MakeTexture(*D3DDevice, 8, 8, std::vector<D3DCOLOR>(64, 0xFFFFFFFFu));
        for (int i = 0; i < 400; ++i) drops.push_back(PlaceDrop(i));
        camPos = MakeVector(0, 0, 0);
        particleMaterial = D3DMATERIAL8{};
        particleMaterial.Ambient = particleMaterial.Diffuse = {1, 1, 1, 1};
        // Lit drops would take this grey.
        D3DDevice->SetRenderState(D3DRS_AMBIENT, 0x00404040u);
    }
    // The pixels of the drop's grid cell brighter than the fog.
    Found DropPixels(const Drop& d) const {
        return Find(frame, d.x - 20, d.y - 15, d.x + 20, d.y + 15, [](const Rgb& c) { return c.g > 60; });
    }

    std::vector<Drop> drops;
};

// Each drop is drawn with its own point size and the device gathers them into
// one batch; the sizes must survive that whichever shader draws the batch (the
// fountain's precompiled one, or the general one under states it lacks), and
// the fog must thicken with distance.
TEST_F(Fountain, EveryDropKeepsItsOwnSizeAndFogUnderAnyState) {
    struct Case {
        const char* name;
        D3DRENDERSTATETYPE state;
        DWORD value;
    };
    for (const Case& c : {Case{"the fountain's states", D3DRS_FOGENABLE, 1}, Case{"specular on", D3DRS_SPECULARENABLE, 1},
                          Case{"alpha test >=", D3DRS_ALPHAFUNC, D3DCMP_GREATEREQUAL}}) {
        SCOPED_TRACE(c.name);
        D3DDevice->SetRenderState(D3DRS_FOGENABLE, 1);
        D3DDevice->SetRenderState(c.state, c.value);
        D3DDevice->SetRenderState(D3DRS_ALPHATESTENABLE, c.state == D3DRS_ALPHAFUNC);
        Begin(*D3DDevice, kFog);
        r_renderParticles();
        End(*D3DDevice);
        int wrong = 0;
        for (size_t i = 0; i < drops.size(); ++i) {
            const Found f = DropPixels(drops[i]);
            const Rgb centre = frame.Pixel(drops[i].x, drops[i].y);
            // 768 x the point size: 9 pixels near, 4 to 5 far; unfogged white near,
            // about three quarters of the way from the fog colour to white far.
            const bool ok = drops[i].near ? f.Width() >= 8 && f.Width() <= 10 && centre.r >= 253 && centre.b >= 253
                                          : f.Width() >= 3 && f.Width() <= 6 && centre.r >= 170 && centre.r <= 215;
            if (!ok && ++wrong <= 3)
                ADD_FAILURE() << "drop " << i << (drops[i].near ? " (near)" : " (far)") << ": " << f.Width()
                              << " pixels wide, centre " << centre;
        }
        EXPECT_EQ(wrong, 0);
        D3DDevice->SetRenderState(c.state, 0);
    }
}

// A wall drawn first hides the drops behind it; a drop drawn after a nearer
// one at the same place still shows, as the drops write no depth.
TEST_F(Fountain, DropsAreDepthTestedButHideNothing) {
    const D3DVECTOR nearDrop = particleVerts[18].Position;
    particleVerts[19].Position = MakeVector(nearDrop.x * 10, nearDrop.y * 10, nearDrop.z * 10);
    // A red wall 100 units away over the left half of the picture.
    const ParticleVertex wall[4] = {{{-400, 400, 100}, 0xFFFF0000u}, {{0, 400, 100}, 0xFFFF0000u},
                                    {{-400, -400, 100}, 0xFFFF0000u}, {{0, -400, 100}, 0xFFFF0000u}};
    D3DDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    D3DDevice->SetRenderState(D3DRS_FOGENABLE, 1);
    Begin(*D3DDevice, kFog);
    D3DDevice->SetVertexShader(D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    ASSERT_EQ(D3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, wall, sizeof(ParticleVertex)), D3D_OK);
    r_renderParticles();
    End(*D3DDevice);
    for (size_t i = 20; i < drops.size(); ++i) {
        const Drop& d = drops[i];
        const bool hidden = !d.near && d.x < 512;
        EXPECT_EQ(DropPixels(d).count == 0, hidden) << "drop " << i << " at " << d.x << "," << d.y;
    }
    const Drop& d = drops[18];
    EXPECT_LT(frame.Pixel(d.x, d.y).r, 230) << "the far drop drawn later shows over the near one";
}

// Quads on the ground (y = 0) seen from 800 units above the town's point
// light, which hangs at (500, 100, -300) with a range of 200.
class StepLights : public DemoDevice {
protected:
    void SetUp() override {
        DemoDevice::SetUp();
        AppPath = VELMORA_CONTENT_DIR;
        InitSteps([](const std::string&) {});
        D3DMATRIX view;
        D3DXMatrixLookAtLH(view, MakeVector(500, 800, -300), MakeVector(500, 0, -300), MakeVector(0, 0, 1));
        D3DDevice->SetTransform(D3DTS_VIEW, view);
        D3DDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        D3DMATERIAL8 white{};
        white.Diffuse = white.Ambient = {1, 1, 1, 1};
        D3DDevice->SetMaterial(white);
    }
    // A square of half size 20 on the ground centred at (x, 0, z), facing up or down.
    void Ground(float x, float z, float ny) {
        const float q[4][6] = {{x - 20, 0, z + 20, 0, ny, 0}, {x + 20, 0, z + 20, 0, ny, 0},
                               {x - 20, 0, z - 20, 0, ny, 0}, {x + 20, 0, z - 20, 0, ny, 0}};
        D3DDevice->SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL);
        ASSERT_EQ(D3DDevice->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, q, sizeof q[0]), D3D_OK);
    }
    // Pixels of the three squares: in range below the light facing up, in
    // range facing down, out of range (278 units) facing up.
    void DrawTown() {
        CurrentStep = 0;
        m_loadStep();
        Begin(*D3DDevice);
        Ground(500, -150, 1);
        Ground(560, -200, -1);
        Ground(500, -560, 1);
        End(*D3DDevice);
    }
    static constexpr int kFacingX = 512, kFacingY = 210, kAwayX = 605, kAwayY = 268, kFarX = 512, kFarY = 685;
};

TEST_F(StepLights, TheTownsYellowLightReachesItsRangeOnTheSidesFacingIt) {
    DrawTown();
    const Rgb ambient{0x70, 0x70, 0x82};  // the town's ambient light on a white material
    ExpectPixel(frame, kFarX, kFarY, ambient, 2, "out of range");
    ExpectPixel(frame, kAwayX, kAwayY, ambient, 2, "facing away");
    const Rgb lit = frame.Pixel(kFacingX, kFacingY);
    EXPECT_GT(lit.r, ambient.r + 80) << lit;
    EXPECT_GT(lit.r - lit.b, 40) << "yellow: " << lit;
}

}  // namespace
