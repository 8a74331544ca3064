#pragma once
// Draws the drops as distance-sized point sprites.
void r_renderParticles();
