// Runs once at start-up, after the fog: fills particles with drops of random
// age, lifetime and velocity, sets particleMaterial and fills particleVerts.
#pragma once
// Fills the fountain's pool.
void m_initParticles();
