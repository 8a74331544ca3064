#include "particles/m_generateVertex.h"

#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"

void m_generateVertex() {
    for (int32_t i = 0; i <= 399; ++i) {
        const Particle& p = particles[i];
        particleVerts[i].Position = MakeVector(p.PosX, p.PosY, p.PosZ);
        particleVerts[i].Color = D3DColorARGB(255, 255, 255, 255);
    }
}
