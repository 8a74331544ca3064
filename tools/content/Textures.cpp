#include "Textures.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "Errors.h"
#include "Noise.h"
#include "Random.h"

namespace content {

namespace {

constexpr double kPi = 3.14159265358979323846;

double Clamp01(double x) { return std::clamp(x, 0.0, 1.0); }
double Smooth(double e0, double e1, double x) {
    const double t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
double Fract(double x) { return x - std::floor(x); }
int Wrap(int i, int n) { return ((i % n) + n) % n; }

template <class F>
Image Fill(int size, F f) {
    Image img(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) img.Set(x, y, f((x + 0.5) / size, (y + 0.5) / size));
    return img;
}

// Fine per-pixel grain, tileable because it hashes pixel coordinates.
double Grain(double u, double v, int size, uint32_t seed) {
    return HashUnit(static_cast<int>(u * size), static_cast<int>(v * size), seed) - 0.5;
}

Image Brick(Color base, uint32_t seed) {
    const int size = 512, rows = 16, cols = 8;
    return Fill(size, [&](double u, double v) {
        const double by = v * rows;
        const int row = static_cast<int>(std::floor(by));
        const double fy = by - row;
        const double bx = u * cols + (row % 2 ? 0.5 : 0.0);
        const int col = static_cast<int>(std::floor(bx));
        const double fx = bx - col;
        const double d = std::min({fx * 64, (1 - fx) * 64, fy * 32, (1 - fy) * 32});
        const double h = HashUnit(Wrap(col, cols), row, seed);
        const double grain = Fbm(u, v, 32, 3, 0.5, seed + 3) - 0.5;
        Color brick = base * (0.78 + 0.4 * h) + Color{0.05, 0.02, 0.0} * (HashUnit(col, row, seed + 9) - 0.5) * 2;
        brick = brick * (1.0 + 0.35 * grain + 0.12 * Grain(u, v, size, seed));
        brick = brick * (0.8 + 0.2 * Smooth(2.0, 5.0, d));
        const Color mortar = Color{0.58, 0.56, 0.52} * (0.85 + 0.3 * (Fbm(u, v, 64, 2, 0.5, seed + 5) - 0.5));
        const double dirt = 0.85 + 0.15 * Fbm(u, v, 4, 3, 0.5, seed + 11);
        return Mix(mortar, brick, Smooth(1.5, 2.5, d)) * dirt;
    });
}

Color PlasterAt(double u, double v, Color base, uint32_t seed) {
    const double blot = Fbm(u, v, 8, 5, 0.55, seed);
    const double stain = Smooth(0.55, 0.75, Fbm(u, v, 4, 4, 0.5, seed + 1));
    Color c = base * (0.86 + 0.24 * blot);
    c = Mix(c, c * Color{0.78, 0.76, 0.72}, stain * 0.6);
    return c * (1.0 + 0.05 * Grain(u, v, 512, seed + 2));
}

Image Plaster(Color base, uint32_t seed) {
    return Fill(512, [&](double u, double v) { return PlasterAt(u, v, base, seed); });
}

double WoodGrain(double along, double across, uint32_t seed) {
    return 0.75 + 0.25 * std::sin(across * 90 + 6 * Fbm(along, across, 4, 3, 0.5, seed));
}

// Half-timbered wall: one repeat is one storey, two bays wide.
Image Timber(Color plaster, uint32_t seed) {
    const Color beam = Hex(0x3b2617);
    return Fill(512, [&](double u, double v) {
        const Color wall = PlasterAt(u, v, plaster, seed);
        double d = 1.0;  // distance to the nearest beam centre line, minus half its width
        d = std::min(d, std::abs(v - 0.03) - 0.03);
        d = std::min(d, std::abs(v - 0.97) - 0.03);
        d = std::min(d, std::min(u, 1 - u) - 0.03);
        d = std::min(d, std::abs(u - 0.5) - 0.028);
        d = std::min(d, std::abs(v - 0.5) - 0.022);
        // Braces across the lower half of each bay.
        const double bu = Fract(u * 2), bv = v;
        if (bv > 0.5) {
            const double line = std::abs((bv - 0.5) - (Fract(u * 2) < 0.5 ? bu * 0.9 : (1 - bu) * 0.9));
            d = std::min(d, line * 0.5 - 0.018);
        }
        if (d >= 0) return wall * (1.0 - 0.25 * Smooth(0.012, 0.0, d));
        const Color wood = beam * WoodGrain(u, v, seed + 4) * (0.9 + 0.2 * Fbm(u, v, 16, 2, 0.5, seed + 7));
        return wood;
    });
}

Image Ashlar(Color base, int rows, uint32_t seed) {
    return Fill(512, [&](double u, double v) {
        const double by = v * rows;
        const int row = static_cast<int>(std::floor(by));
        const double fy = by - row;
        const int cols = 3 + static_cast<int>(HashUnit(0, row, seed + 1) * 2);
        const double bx = u * cols + HashUnit(1, row, seed + 2);
        const int col = static_cast<int>(std::floor(bx));
        const double fx = bx - col;
        const double w = 512.0 / cols, h = 512.0 / rows;
        const double d = std::min({fx * w, (1 - fx) * w, fy * h, (1 - fy) * h});
        const double k = HashUnit(Wrap(col, cols), row, seed + 3);
        Color stone = base * (0.84 + 0.26 * k) * (0.85 + 0.3 * Fbm(u, v, 16, 4, 0.55, seed + 4));
        stone = stone * (1.0 + 0.06 * Grain(u, v, 512, seed + 5));
        stone = stone * (0.82 + 0.18 * Smooth(1.0, 6.0, d));
        const Color joint = base * 0.45;
        return Mix(joint, stone, Smooth(1.0, 2.2, d));
    });
}

Image RoofTiles(Color base, uint32_t seed) {
    const int rows = 12, cols = 10;
    return Fill(512, [&](double u, double v) {
        const double by = v * rows;
        const int row = static_cast<int>(std::floor(by));
        const double fy = by - row;
        const double bx = u * cols + (row % 2 ? 0.5 : 0.0);
        const int col = static_cast<int>(std::floor(bx));
        const double fx = bx - col;
        // Rounded lower edge of each tile over the row below.
        const double curve = 0.85 + 0.15 * std::sqrt(std::max(0.0, 1 - std::pow(2 * fx - 1, 2)));
        double shade = 0.55 + 0.45 * Smooth(0.0, 0.35, fy);
        if (fy > curve) shade *= 0.55;
        const double across = std::sin(fx * kPi);
        shade *= 0.75 + 0.3 * across;
        const double k = HashUnit(Wrap(col, cols), row, seed);
        Color c = base * (0.8 + 0.35 * k) * shade;
        const double moss = Smooth(0.62, 0.8, Fbm(u, v, 6, 4, 0.5, seed + 2));
        c = Mix(c, Hex(0x4a5a2a) * shade, moss * 0.6);
        return c * (1.0 + 0.08 * Grain(u, v, 512, seed + 3));
    });
}

Image Slate(Color base, uint32_t seed) {
    const int rows = 14, cols = 9;
    return Fill(512, [&](double u, double v) {
        const double by = v * rows;
        const int row = static_cast<int>(std::floor(by));
        const double fy = by - row;
        const double bx = u * cols + (row % 2 ? 0.5 : 0.0);
        const int col = static_cast<int>(std::floor(bx));
        const double fx = bx - col;
        double shade = 0.6 + 0.4 * Smooth(0.0, 0.3, fy);
        shade *= 0.7 + 0.3 * Smooth(0.0, 0.05, std::min(fx, 1 - fx));
        const double k = HashUnit(Wrap(col, cols), row, seed);
        return base * (0.8 + 0.35 * k) * shade * (0.9 + 0.2 * Fbm(u, v, 32, 2, 0.5, seed + 1));
    });
}

// A lit window: painted frame, six panes of warm light, curtains at the sides.
Image Window(Color frame, Color light, uint32_t seed) {
    return Fill(128, [&](double u, double v) {
        const double border = std::min({u, 1 - u, v, 1 - v});
        if (border < 0.07) return frame * (0.85 + 0.15 * Smooth(0.0, 0.07, border));
        const double pu = (u - 0.07) / 0.86, pv = (v - 0.07) / 0.86;
        const double mu = std::abs(Fract(pu * 2) - 0.5) * 2, mv = std::abs(Fract(pv * 3) - 0.5) * 2;
        if (mu > 0.93 || mv > 0.94) return frame * 0.9;
        const double dist = std::hypot(pu - 0.5, pv - 0.45);
        Color glass = Mix(light, light * Color{0.75, 0.55, 0.4}, Clamp01(dist * 1.6));
        const double curtain = std::max(Smooth(0.22, 0.16, pu), Smooth(0.78, 0.84, pu));
        const Color cloth = Hex(0x8a2a22) * (0.75 + 0.25 * std::sin(pu * 90 + v * 3));
        glass = Mix(glass, cloth * (0.6 + 0.4 * light.r), curtain * 0.9);
        return glass * (1.0 + 0.04 * (Fbm(u, v, 8, 2, 0.5, seed) - 0.5));
    });
}

Image Door(uint32_t seed) {
    const Color wood = Hex(0x5b3a22);
    return Fill(256, [&](double u, double v) {
        const double border = std::min({u, 1 - u, v});
        if (border < 0.06) return Hex(0x2a1c12) * 1.2;
        const double plank = Fract((u - 0.06) / 0.88 * 5);
        double shade = 0.8 + 0.2 * Smooth(0.0, 0.08, std::min(plank, 1 - plank));
        Color c = wood * shade * WoodGrain(v, u * 5, seed);
        if (std::abs(v - 0.2) < 0.03 || std::abs(v - 0.8) < 0.03) c = Hex(0x2b2b2b) * 1.3;
        if (std::hypot(u - 0.8, v - 0.52) < 0.035) c = Hex(0xb08a40);
        return c;
    });
}

Image Cobbles(Color tint, int cells, uint32_t seed) {
    return Fill(512, [&](double u, double v) {
        double f1, f2;
        int id;
        Worley(u, v, cells, seed, f1, f2, id);
        const double edge = f2 - f1;
        const double k = HashUnit(id, 3, seed + 1);
        Color stone = Mix(Hex(0x77726a), Hex(0x8a7e6c), k) * tint * (0.8 + 0.3 * HashUnit(id, 5, seed + 2));
        stone = stone * (1.05 - 0.55 * f1) * (0.9 + 0.2 * Fbm(u, v, 32, 2, 0.5, seed + 3));
        const Color gap = Hex(0x2c2722) * (0.8 + 0.4 * Fbm(u, v, 16, 2, 0.5, seed + 4));
        return Mix(gap, stone, Smooth(0.03, 0.12, edge));
    });
}

Image Flagstones(uint32_t seed) {
    return Fill(512, [&](double u, double v) {
        const int rows = 4;
        const double by = v * rows;
        const int row = static_cast<int>(std::floor(by));
        const double fy = by - row;
        const double bx = u * 3 + (row % 2 ? 0.5 : 0.0);
        const int col = static_cast<int>(std::floor(bx));
        const double fx = bx - col;
        const double d = std::min({fx * 170, (1 - fx) * 170, fy * 128, (1 - fy) * 128});
        const double k = HashUnit(Wrap(col, 3), row, seed);
        Color c = Mix(Hex(0x9a948a), Hex(0xa89c88), k) * (0.85 + 0.25 * Fbm(u, v, 16, 4, 0.55, seed + 1));
        const double crack = Smooth(0.012, 0.0, std::abs(Fbm(u, v, 8, 3, 0.5, seed + 2) - 0.5));
        c = c * (1.0 - 0.35 * crack) * (1.0 + 0.05 * Grain(u, v, 512, seed + 3));
        return Mix(Hex(0x3a3630), c, Smooth(1.0, 3.0, d));
    });
}

Image Grass(Color base, uint32_t seed) {
    return Fill(512, [&](double u, double v) {
        const double patches = Fbm(u, v, 4, 4, 0.5, seed);
        const double blades = Fbm(u * 1, v, 64, 2, 0.5, seed + 1);
        Color c = Mix(base, base * Color{1.35, 1.2, 0.7}, Smooth(0.5, 0.8, patches));
        c = c * (0.7 + 0.55 * blades) * (1.0 + 0.15 * Grain(u, v, 512, seed + 2));
        const double dirt = Smooth(0.68, 0.8, Fbm(u, v, 8, 3, 0.5, seed + 3));
        return Mix(c, Hex(0x4a3a28), dirt * 0.7);
    });
}

Image Asphalt(uint32_t seed, bool stripes) {
    return Fill(512, [&](double u, double v) {
        Color c = Hex(0x2e2e30) * (0.85 + 0.3 * Fbm(u, v, 8, 4, 0.5, seed));
        c = c * (1.0 + 0.35 * Grain(u, v, 512, seed + 1));
        const double patch = Smooth(0.6, 0.65, Fbm(u, v, 4, 3, 0.5, seed + 2));
        c = Mix(c, c * 0.75, patch);
        if (stripes) {
            const double lu = std::abs(Fract(u * 4) - 0.5);
            if (lu > 0.47 && v > 0.1 && v < 0.9) c = Hex(0xd8d4c0) * (0.8 + 0.3 * Fbm(u, v, 32, 2, 0.5, seed + 3));
        }
        return c;
    });
}

// Leaves scattered over magenta; `holes` leaves the edge of the card open.
Image Foliage(Color base, bool holes, uint32_t seed) {
    const int size = 256;
    Image img(size, size, holes ? kCutout : Rgba{});
    if (!holes) {
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) img.Set(x, y, base * 0.35 * (0.8 + 0.4 * Fbm(x / 256.0, y / 256.0, 8, 2, 0.5, seed)));
    }
    Random rng(seed);
    const int leaves = holes ? 900 : 700;
    for (int i = 0; i < leaves; ++i) {
        double cx = rng.Range(0, size), cy = rng.Range(0, size);
        if (holes) {
            // Denser towards the middle so the card's outline is ragged, not square.
            const double r = std::hypot(cx - size / 2.0, cy - size / 2.0) / (size / 2.0);
            if (rng.Uniform() < Smooth(0.55, 0.98, r)) continue;
        }
        const double len = rng.Range(7, 15), wid = len * rng.Range(0.35, 0.55);
        const double ang = rng.Range(0, kPi);
        const double ca = std::cos(ang), sa = std::sin(ang);
        const Color leaf = base * rng.Range(0.6, 1.3) * Color{rng.Range(0.9, 1.1), 1.0, rng.Range(0.8, 1.1)};
        const int x0 = static_cast<int>(cx - len), x1 = static_cast<int>(cx + len);
        const int y0 = static_cast<int>(cy - len), y1 = static_cast<int>(cy + len);
        for (int y = y0; y <= y1; ++y) {
            for (int x = x0; x <= x1; ++x) {
                const double dx = x - cx, dy = y - cy;
                const double a = (dx * ca + dy * sa) / len, b = (-dx * sa + dy * ca) / wid;
                const double e = a * a + b * b;
                if (e > 1.0) continue;
                const int px = holes ? x : Wrap(x, size), py = holes ? y : Wrap(y, size);
                if (px < 2 || py < 2 || px >= size - 2 || py >= size - 2) {
                    if (holes) continue;
                }
                const double light = 0.75 + 0.35 * b - 0.25 * e + 0.1 * std::abs(a) * (std::abs(b) < 0.12 ? 1 : 0);
                img.Set(px, py, leaf * light);
            }
        }
    }
    return img;
}

Image Water(uint32_t seed) {
    return Fill(256, [&](double u, double v) {
        const double w = Fbm(u, v, 6, 4, 0.55, seed);
        const double ripple = std::sin((u + v * 0.7 + 0.3 * w) * 40) * 0.5 + 0.5;
        Color c = Mix(Hex(0x1d3d4e), Hex(0x3a7a8a), w);
        c = c + Color{0.25, 0.3, 0.32} * std::pow(ripple, 8) * Smooth(0.4, 0.7, w);
        return c;
    });
}

Image Metal(Color base, uint32_t seed) {
    return Fill(256, [&](double u, double v) {
        Color c = base * (0.85 + 0.3 * Fbm(u, v, 16, 3, 0.5, seed));
        const double rust = Smooth(0.66, 0.8, Fbm(u, v, 8, 3, 0.5, seed + 1));
        return Mix(c, Hex(0x5a3420), rust * 0.5);
    });
}

Image Glow(Color inner, Color outer) {
    return Fill(128, [&](double u, double v) {
        const double d = std::hypot(u - 0.5, v - 0.5) * 2;
        return Mix(inner, outer, Smooth(0.1, 1.0, d));
    });
}

Color MarbleAt(double u, double v, Color base, Color vein, uint32_t seed) {
    const double t = Fbm(u, v, 4, 5, 0.55, seed);
    const double s = std::abs(std::sin((u * 3 + v * 2 + t * 5) * kPi));
    Color c = Mix(vein, base, Smooth(0.0, 0.25, s));
    return c * (0.94 + 0.1 * Fbm(u, v, 16, 2, 0.5, seed + 1));
}

Image Marble(Color base, Color vein, uint32_t seed) {
    return Fill(512, [&](double u, double v) { return MarbleAt(u, v, base, vein, seed); });
}

Image FloorTiles(uint32_t seed) {
    return Fill(512, [&](double u, double v) {
        const int cu = static_cast<int>(u * 4), cv = static_cast<int>(v * 4);
        const double fu = Fract(u * 4), fv = Fract(v * 4);
        const bool dark = (cu + cv) % 2 == 1;
        Color c = dark ? MarbleAt(u, v, Hex(0x2c3430), Hex(0x6a726a), seed)
                       : MarbleAt(u, v, Hex(0xd8d0c0), Hex(0x8a8478), seed + 5);
        const double d = std::min({fu, 1 - fu, fv, 1 - fv}) * 128;
        return Mix(Hex(0x504a40), c, Smooth(0.8, 2.0, d));
    });
}

Image StainedGlass(uint32_t seed) {
    const Color palette[] = {Hex(0xc0182a), Hex(0x1a3ac8), Hex(0xe0a020), Hex(0x1a9a4a), Hex(0x7a2aa0), Hex(0x2a8ad0)};
    return Fill(256, [&](double u, double v) {
        double f1, f2;
        int id;
        Worley(u, v, 6, seed, f1, f2, id);
        if (f2 - f1 < 0.06) return Hex(0x181410);
        const Color c = palette[static_cast<int>(HashUnit(id, 1, seed) * 6) % 6];
        return c * (0.75 + 0.4 * (1 - f1)) * (0.9 + 0.2 * Fbm(u, v, 16, 2, 0.5, seed + 1));
    });
}

// A rose window centred on texel (0, 0), so a disc mapped with texture
// coordinates from -0.5 to 0.5 shows it whole: a gold heart, twelve petals
// and a ring of roundels, held in lead.
Image RoseWindow(uint32_t seed) {
    constexpr double kPi = 3.14159265358979323846;
    return Fill(256, [&](double u, double v) {
        const double x = Fract(u + 0.5) - 0.5, y = Fract(v + 0.5) - 0.5;
        const double r = std::hypot(x, y) * 2, a = std::atan2(y, x);
        const double shade = 0.85 + 0.3 * Fbm(u, v, 16, 2, 0.5, seed);
        const Color lead = Hex(0x14100c);
        auto ringLine = [&](double at) { return std::abs(r - at) < 0.018; };
        if (ringLine(0.2) || ringLine(0.58) || r > 0.95) return lead;
        if (r < 0.2) {
            const double lobe = 0.13 + 0.04 * std::cos(4 * a);
            if (std::abs(r - lobe) < 0.015) return lead;
            return (r < lobe ? Hex(0xf0c040) : Hex(0xc01828)) * shade;
        }
        if (r < 0.58) {
            // Twelve petals, split by spokes, each red at its tip and blue inside.
            const double sector = 2 * kPi / 12;
            const double phi = std::remainder(a, sector) / sector;  // -0.5 .. 0.5 across a petal
            if (std::abs(std::abs(phi) - 0.5) < 0.035) return lead;
            const double tip = 0.56 - 0.5 * phi * phi * 1.2;
            if (std::abs(r - tip) < 0.016) return lead;
            if (r > tip) return Hex(0x1a2a9a) * shade;
            return (r > 0.42 ? Hex(0xc81c2c) : Hex(0x2040c8)) * shade;
        }
        // Twenty-four roundels on deep blue.
        const double sector = 2 * kPi / 24;
        const double k = std::round(a / sector);
        const double cx = std::cos(k * sector) * 0.76, cy = std::sin(k * sector) * 0.76;
        const double d = std::hypot(x * 2 - cx, y * 2 - cy);
        if (std::abs(d - 0.12) < 0.016) return lead;
        if (d < 0.12) {
            const int colour = static_cast<int>(k) & 1;
            return (d < 0.05 ? Hex(0xf0c040) : colour ? Hex(0x1a9a4a) : Hex(0xc01828)) * shade;
        }
        return Hex(0x18248a) * shade;
    });
}

// A painted vault: ultramarine panels with gold stars between broad stone
// ribs edged in gold, so it reads as a ceiling and not as the night sky.
Image Vault(uint32_t seed) {
    return Fill(512, [&](double u, double v) {
        Color c = Hex(0x2c4490) * (0.8 + 0.3 * Fbm(u, v, 8, 4, 0.5, seed));
        double f1, f2;
        int id;
        Worley(u, v, 10, seed + 1, f1, f2, id);
        c = Mix(c, Hex(0xe8c060), Smooth(0.09, 0.03, f1));
        const double d = std::min(std::abs(Fract(u * 2) - 0.5), std::abs(v - 0.5));
        c = Mix(c, Hex(0xd0a040), Smooth(0.07, 0.055, d));
        return Mix(c, Hex(0xb8ac90) * (0.9 + 0.2 * Fbm(u, v, 32, 2, 0.5, seed + 2)), Smooth(0.055, 0.045, d));
    });
}

Image Wood(uint32_t seed) {
    return Fill(256, [&](double u, double v) {
        const double plank = Fract(v * 4);
        Color c = Hex(0x6b4428) * WoodGrain(u, v * 4, seed) * (0.85 + 0.3 * HashUnit(static_cast<int>(v * 4), 0, seed));
        return c * (0.7 + 0.3 * Smooth(0.0, 0.06, std::min(plank, 1 - plank)));
    });
}

Image Cloth(Color base, uint32_t seed) {
    return Fill(256, [&](double u, double v) {
        const double weave = 0.9 + 0.1 * std::sin(u * 256) * std::sin(v * 256);
        return base * weave * (0.8 + 0.35 * Fbm(u, v, 8, 3, 0.5, seed));
    });
}

Image Petals(uint32_t seed) {
    const int size = 128;
    Image img(size, size, kCutout);
    Random rng(seed);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = (x + 0.5) / size - 0.5, dy = (y + 0.5) / size - 0.5;
            const double r = std::hypot(dx, dy), a = std::atan2(dy, dx);
            const double petal = 0.3 + 0.17 * std::abs(std::cos(a * 2.5));
            if (r < 0.09)
                img.Set(x, y, Hex(0xe8c020) * (1.0 - r * 3));
            else if (r < petal)
                img.Set(x, y, Mix(Hex(0xf0e8f0), Hex(0xd04070), r / petal) * (0.85 + 0.15 * std::cos(a * 5)));
        }
    }
    return img;
}

Image Sky() {
    return Fill(256, [&](double, double v) { return Mix(Hex(0x141a38), Hex(0xd07040), Smooth(0.2, 0.9, v)); });
}

// The named textures: name -> painter.
const std::map<std::string, std::function<Image()>>& Painters() {
    static const std::map<std::string, std::function<Image()>> painters = {
        {"brick_red", [] { return Brick(Hex(0x8a3a26), 11); }},
        {"brick_brown", [] { return Brick(Hex(0x6e4a32), 12); }},
        {"brick_yellow", [] { return Brick(Hex(0xa88a58), 13); }},
        {"plaster_cream", [] { return Plaster(Hex(0xd6caa8), 21); }},
        {"plaster_ochre", [] { return Plaster(Hex(0xc89a54), 22); }},
        {"plaster_blue", [] { return Plaster(Hex(0x8aa0b0), 23); }},
        {"plaster_rose", [] { return Plaster(Hex(0xc49088), 24); }},
        {"plaster_white", [] { return Plaster(Hex(0xdcd8cc), 25); }},
        {"timber_white", [] { return Timber(Hex(0xded6c0), 31); }},
        {"timber_yellow", [] { return Timber(Hex(0xd8c080), 32); }},
        {"stone_grey", [] { return Ashlar(Hex(0x8a8680), 8, 41); }},
        {"stone_cream", [] { return Ashlar(Hex(0xb8ab92), 10, 42); }},
        {"stone_dark", [] { return Ashlar(Hex(0x5e5a56), 6, 43); }},
        {"roof_red", [] { return RoofTiles(Hex(0x9a4228), 51); }},
        {"roof_brown", [] { return RoofTiles(Hex(0x7a4a30), 52); }},
        {"roof_slate", [] { return Slate(Hex(0x4a5260), 53); }},
        {"window_lit", [] { return Window(Hex(0xe8e0d0), Hex(0xffd890), 61); }},
        {"window_green", [] { return Window(Hex(0x3a5a3a), Hex(0xf0b860), 62); }},
        {"window_dark", [] { return Window(Hex(0xd8d0c0), Hex(0x5a6a80), 63); }},
        {"door", [] { return Door(71); }},
        {"cobbles", [] { return Cobbles(Color{1, 1, 1}, 14, 81); }},
        {"flagstones", [] { return Flagstones(82); }},
        {"grass", [] { return Grass(Hex(0x3a5a22), 83); }},
        {"hillgrass", [] { return Grass(Hex(0x44602a), 84); }},
        {"asphalt", [] { return Asphalt(85, false); }},
        {"parking", [] { return Asphalt(86, true); }},
        {"leaves", [] { return Foliage(Hex(0x3f7a2e), true, 91); }},
        {"leaves_dark", [] { return Foliage(Hex(0x2f6a3a), true, 92); }},
        {"leafcore", [] { return Foliage(Hex(0x3a6e2a), false, 93); }},
        {"water", [] { return Water(101); }},
        {"iron", [] { return Metal(Hex(0x2a3430), 111); }},
        {"lampglass", [] { return Glow(Hex(0xfff4d0), Hex(0xf0a040)); }},
        {"marble_white", [] { return Marble(Hex(0xe4ddd0), Hex(0x9a948a), 121); }},
        {"marble_grey", [] { return Marble(Hex(0xb0aaa0), Hex(0x5a5650), 122); }},
        {"floor_tiles", [] { return FloorTiles(123); }},
        {"stained_glass", [] { return StainedGlass(124); }},
        {"rose_window", [] { return RoseWindow(126); }},
        {"vault", [] { return Vault(125); }},
        {"wood", [] { return Wood(131); }},
        {"cloth_blue", [] { return Cloth(Hex(0x2a3a6a), 141); }},
        {"cloth_brown", [] { return Cloth(Hex(0x6a4a2a), 142); }},
        {"skin", [] { return Cloth(Hex(0xd0a080), 143); }},
        {"petals", [] { return Petals(151); }},
        {"sky", [] { return Sky(); }},
        {"tex", [] { return Timber(Hex(0xd8b070), 161); }},
    };
    return painters;
}

std::string Stem(const std::string& fileName) {
    const size_t dot = fileName.rfind('.');
    return dot == std::string::npos ? fileName : fileName.substr(0, dot);
}

}  // namespace

Image RenderTexture(const std::string& name) {
    const auto& painters = Painters();
    const auto it = painters.find(Stem(name));
    if (it == painters.end()) throw GenerateError("no texture named " + name);
    return it->second();
}

std::vector<std::string> TextureNames() {
    std::vector<std::string> names;
    for (const auto& [name, painter] : Painters()) names.push_back(name);
    return names;
}

std::string Encode(const std::string& fileName, const Image& image) {
    const size_t dot = fileName.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : fileName.substr(dot + 1);
    if (ext == "jpg") return EncodeJpg(image, 85);
    if (ext == "tga") return EncodeTga(image, false);
    if (ext == "dds") return EncodeDds(image, DdsFormat::Dxt1);
    throw GenerateError("no image format for " + fileName);
}

const std::string& TextureLibrary::Get(const std::string& fileName) {
    auto it = files_.find(fileName);
    if (it == files_.end()) it = files_.emplace(fileName, Encode(fileName, RenderTexture(fileName))).first;
    return it->second;
}

}  // namespace content
