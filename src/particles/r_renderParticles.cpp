#include "particles/r_renderParticles.h"

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"

namespace {

// Position, diffuse colour and one texture-coordinate pair: the 24-byte
// ParticleVertex record.
constexpr DWORD ParticleVertexFormat = D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(ParticleVertexFormat == 0x142);

void SetState(D3DRENDERSTATETYPE state, DWORD value) {
    Check(D3DDevice->SetRenderState(state, value), "SetRenderState");
}

}  // namespace

float ParticlePointSize(float distance) {
    int32_t tens = RoundHalfEven(distance / 10.0);
    if (tens > 100) tens = 100;
    return static_cast<float>((0.0501 - tens / 2000.0) / 4.0);
}

void r_renderParticles() {
    D3DXMatrixIdentity(matWorld);
    Check(D3DDevice->SetTransform(D3DTS_WORLD, matWorld), "SetTransform(WORLD)");
    SetState(D3DRS_ALPHABLENDENABLE, 1);
    SetState(D3DRS_FOGENABLE, 1);
    // Depth-tested against the scene, but the drops do not hide one another.
    SetState(D3DRS_ZWRITEENABLE, 0);
    Check(D3DDevice->SetTexture(0, TexDot.get()), "SetTexture");
    Check(D3DDevice->SetMaterial(particleMaterial), "SetMaterial");
    // The drops have no normals, so lit they would take only the ambient
    // light's grey; unlit they keep their white vertex colour (still fogged).
    Check(D3DDevice->SetVertexShader(ParticleVertexFormat), "SetVertexShader");
    SetState(D3DRS_LIGHTING, 0);

    for (int32_t i = 0; i <= 399; ++i) {
        const ParticleVertex& vertex = particleVerts[i];
        SetState(D3DRS_POINTSIZE, FloatToDWord(ParticlePointSize(GetDistance(camPos, vertex.Position))));
        Check(D3DDevice->DrawPrimitiveUP(D3DPT_POINTLIST, 1, &vertex, sizeof(ParticleVertex)), "DrawPrimitiveUP");
    }

    SetState(D3DRS_ZWRITEENABLE, 1);
    SetState(D3DRS_LIGHTING, 1);
    SetState(D3DRS_FOGENABLE, 1);
}
