// Tileable value noise and fractal sums for procedural textures.
#pragma once

#include <cstdint>

namespace content {

// Smooth value noise at (x, y) on a lattice that repeats every `period` cells.
double ValueNoise(double x, double y, int period, uint32_t seed);

// Sum of `octaves` layers of value noise, each twice the frequency and `gain`
// times the amplitude of the one before; result roughly in [0, 1]. The base
// lattice has `period` cells across one tile, so u, v in [0, 1) tile seamlessly.
double Fbm(double u, double v, int period, int octaves, double gain, uint32_t seed);

// Distance to the nearest and second nearest feature point of a tileable
// cellular (Worley) pattern with `cells` cells across; u, v in [0, 1).
void Worley(double u, double v, int cells, uint32_t seed, double& f1, double& f2, int& id);

}  // namespace content
