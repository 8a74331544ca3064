// Runs after m_initParticles and once a frame after UpdateParticles: copies
// particles' positions into particleVerts, the points r_renderParticles draws.
#pragma once
// Copies the drops' positions into their point vertices.
void m_generateVertex();
