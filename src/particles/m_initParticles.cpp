#include "particles/m_initParticles.h"

void m_initParticles() {}
void UpdateParticles() {}
