#pragma once
// Fills the fountain's pool.
void m_initParticles();
// Moves and re-emits every drop by one frame.
void UpdateParticles();
