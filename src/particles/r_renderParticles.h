// Runs once a frame from r_Render: draws particleVerts as point sprites with
// TexDot and particleMaterial, each sized by its distance from camPos.
#pragma once
// Draws the drops as distance-sized point sprites.
void r_renderParticles();
// The point size of a drop `distance` units from the eye: linear in the
// distance taken to whole tens of units, constant from 1000 units on.
float ParticlePointSize(float distance);
