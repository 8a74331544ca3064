#include "particles/m_initParticles.h"

#include <cmath>

#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "particles/m_generateVertex.h"
#include "platform/system/Clock.h"

namespace {

constexpr float EmitX = 400.0f, EmitY = 27.0f, EmitZ = -180.0f;  // 27 units above the fountain's base
constexpr double Gravity = 0.6;                                   // taken off VelY every frame

}  // namespace

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

void UpdateParticles() {
    for (int32_t i = 0; i <= 399; ++i) {
        Particle& p = particles[i];
        p.PosX += p.VelX;
        p.PosY += p.VelY;
        p.PosZ += p.VelZ;
        p.VelY = static_cast<float>(p.VelY - Gravity);
        if (TickDifference(GetTickCount(), p.BirthTick) > p.LifeTime) {
            p.BirthTick = GetTickCount();
            p.LifeTime = RoundHalfEven(Rnd() * 900.0f);
            p.VelX = static_cast<float>(Rnd() * 1.5 - 0.7);
            p.VelY = Rnd() * 2.0f + 3.0f;
            p.VelZ = static_cast<float>(Rnd() * 1.5 - 0.7);
            p.PosX = EmitX;
            p.PosY = EmitY;
            p.PosZ = EmitZ;
        }
    }
}
