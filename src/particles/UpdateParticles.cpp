#include "particles/UpdateParticles.h"

#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/system/Clock.h"

namespace {

constexpr float EmitX = 400.0f, EmitY = 27.0f, EmitZ = -180.0f;  // 27 units above the fountain's base
constexpr double Gravity = 0.6;                                   // taken off VelY every frame

}  // namespace

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
