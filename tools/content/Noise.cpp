#include "Noise.h"

#include <cmath>

#include "Random.h"

namespace content {

namespace {
int Wrap(int i, int period) {
    int m = i % period;
    return m < 0 ? m + period : m;
}
double Fade(double t) { return t * t * (3.0 - 2.0 * t); }
}  // namespace

double ValueNoise(double x, double y, int period, uint32_t seed) {
    const double fx = std::floor(x);
    const double fy = std::floor(y);
    const int ix = static_cast<int>(fx);
    const int iy = static_cast<int>(fy);
    const double tx = Fade(x - fx);
    const double ty = Fade(y - fy);
    const int x0 = Wrap(ix, period), x1 = Wrap(ix + 1, period);
    const int y0 = Wrap(iy, period), y1 = Wrap(iy + 1, period);
    const double a = HashUnit(x0, y0, seed), b = HashUnit(x1, y0, seed);
    const double c = HashUnit(x0, y1, seed), d = HashUnit(x1, y1, seed);
    const double top = a + (b - a) * tx;
    const double bottom = c + (d - c) * tx;
    return top + (bottom - top) * ty;
}

double Fbm(double u, double v, int period, int octaves, double gain, uint32_t seed) {
    double sum = 0.0, amplitude = 1.0, norm = 0.0;
    int p = period;
    for (int o = 0; o < octaves; ++o) {
        sum += amplitude * ValueNoise(u * p, v * p, p, seed + 101u * static_cast<uint32_t>(o));
        norm += amplitude;
        amplitude *= gain;
        p *= 2;
    }
    return sum / norm;
}

void Worley(double u, double v, int cells, uint32_t seed, double& f1, double& f2, int& id) {
    const double x = u * cells, y = v * cells;
    const int cx = static_cast<int>(std::floor(x)), cy = static_cast<int>(std::floor(y));
    f1 = 1e9;
    f2 = 1e9;
    id = 0;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int gx = cx + dx, gy = cy + dy;
            const int wx = Wrap(gx, cells), wy = Wrap(gy, cells);
            const double px = gx + HashUnit(wx, wy, seed);
            const double py = gy + HashUnit(wx, wy, seed + 7u);
            const double d = std::sqrt((px - x) * (px - x) + (py - y) * (py - y));
            if (d < f1) {
                f2 = f1;
                f1 = d;
                id = wy * cells + wx;
            } else if (d < f2) {
                f2 = d;
            }
        }
    }
}

}  // namespace content
