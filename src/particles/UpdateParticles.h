// Runs once a frame, before m_generateVertex: moves every drop of the fountain
// by its velocity, pulls it down, and re-emits at the spout each drop older
// than its lifetime. Reads and writes particles; reads the tick count and Rnd.
#pragma once

void UpdateParticles();
