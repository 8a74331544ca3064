#include "particles/m_initParticles.h"

#include <cmath>

#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "particles/m_generateVertex.h"

void m_initParticles() {
    for (int32_t i = 0; i <= 399; ++i) {
        Particle& p = particles[i];
        // Born up to a second ago. Rounded as a whole and wrapped, so the
        // result is the same whatever the counter's value.
        const float age = Rnd() * 1000.0f;
        const int32_t now = GetTickCount();
        p.BirthTick = static_cast<int32_t>(
            static_cast<uint32_t>(static_cast<int64_t>(std::nearbyint(double(now) - double(age)))));
        p.LifeTime = RoundHalfEven(Rnd() * 1000.0f);
        p.VelX = Rnd() * 2.0f - 1.0f;
        p.VelY = Rnd();
        p.VelZ = Rnd() * 2.0f - 1.0f;
        p.PosX = p.PosY = p.PosZ = 0.0f;
    }
    particleMaterial = D3DMATERIAL8{};
    particleMaterial.Ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    particleMaterial.Diffuse = particleMaterial.Ambient;
    m_generateVertex();
}
