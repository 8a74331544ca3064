#include "Screens.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "Errors.h"
#include "Noise.h"

namespace content {

namespace {

using Stroke = std::vector<std::array<double, 2>>;

// Capitals on a 4 x 6 grid (y down), as polylines.
const std::map<char, std::vector<Stroke>>& Glyphs() {
    static const std::map<char, std::vector<Stroke>> glyphs = [] {
        std::map<char, std::vector<Stroke>> g;
        Stroke o;
        for (int i = 0; i <= 24; ++i) {
            const double a = 2 * 3.14159265358979 * i / 24;
            o.push_back({2 + 2 * std::cos(a), 3 + 3 * std::sin(a)});
        }
        const Stroke c = {{4, 1}, {3, 0}, {1, 0}, {0, 1}, {0, 5}, {1, 6}, {3, 6}, {4, 5}};
        g['A'] = {{{0, 6}, {2, 0}, {4, 6}}, {{0.8, 3.8}, {3.2, 3.8}}};
        g['C'] = {c};
        g['D'] = {{{0, 0}, {0, 6}, {2.5, 6}, {4, 4.5}, {4, 1.5}, {2.5, 0}, {0, 0}}};
        g['E'] = {{{4, 0}, {0, 0}, {0, 6}, {4, 6}}, {{0, 3}, {3, 3}}};
        g['F'] = {{{4, 0}, {0, 0}, {0, 6}}, {{0, 3}, {3, 3}}};
        g['G'] = {c, {{4, 5}, {4, 3.5}, {2.5, 3.5}}};
        g['H'] = {{{0, 0}, {0, 6}}, {{4, 0}, {4, 6}}, {{0, 3}, {4, 3}}};
        g['I'] = {{{2, 0}, {2, 6}}, {{1, 0}, {3, 0}}, {{1, 6}, {3, 6}}};
        g['K'] = {{{0, 0}, {0, 6}}, {{4, 0}, {0, 3.5}}, {{1.3, 2.6}, {4, 6}}};
        g['L'] = {{{0, 0}, {0, 6}, {4, 6}}};
        g['M'] = {{{0, 6}, {0, 0}, {2, 3.5}, {4, 0}, {4, 6}}};
        g['N'] = {{{0, 6}, {0, 0}, {4, 6}, {4, 0}}};
        g['O'] = {o};
        g['P'] = {{{0, 6}, {0, 0}, {3, 0}, {4, 0.8}, {4, 2.2}, {3, 3}, {0, 3}}};
        g['R'] = {{{0, 6}, {0, 0}, {3, 0}, {4, 0.8}, {4, 2.2}, {3, 3}, {0, 3}}, {{2, 3}, {4, 6}}};
        g['S'] = {{{4, 0.6}, {3, 0}, {1, 0}, {0, 1}, {0, 2}, {1, 3}, {3, 3}, {4, 4}, {4, 5}, {3, 6}, {1, 6}, {0, 5.4}}};
        g['T'] = {{{0, 0}, {4, 0}}, {{2, 0}, {2, 6}}};
        g['U'] = {{{0, 0}, {0, 5}, {1, 6}, {3, 6}, {4, 5}, {4, 0}}};
        g['V'] = {{{0, 0}, {2, 6}, {4, 0}}};
        g['W'] = {{{0, 0}, {1, 6}, {2, 2.5}, {3, 6}, {4, 0}}};
        g['Y'] = {{{0, 0}, {2, 3}, {4, 0}}, {{2, 3}, {2, 6}}};
        g[' '] = {};
        return g;
    }();
    return glyphs;
}

double SegmentDistance(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay;
    const double len2 = dx * dx + dy * dy;
    const double t = len2 > 0 ? std::clamp(((px - ax) * dx + (py - ay) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - (ax + t * dx), py - (ay + t * dy));
}

double Smooth(double e0, double e1, double x) {
    const double t = std::clamp((x - e0) / (e1 - e0), 0.0, 1.0);
    return t * t * (3 - 2 * t);
}

}  // namespace

double TextDistance(const std::string& text, double cx, double cy, double height, double squeeze, double x, double y) {
    const double unit = height / 6.0;
    const double advance = 6.0 * unit * squeeze;
    const double width = advance * static_cast<double>(text.size()) - 2.0 * unit * squeeze;
    const double left = cx - width / 2, top = cy - height / 2;
    double best = 1e9;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto it = Glyphs().find(text[i]);
        if (it == Glyphs().end()) throw GenerateError(std::string("no glyph for '") + text[i] + "'");
        const double ox = left + advance * static_cast<double>(i);
        if (x < ox - height || x > ox + 4 * unit * squeeze + height) continue;
        for (const Stroke& s : it->second) {
            for (size_t k = 0; k + 1 < s.size(); ++k) {
                best = std::min(best, SegmentDistance(x, y, ox + s[k][0] * unit * squeeze, top + s[k][1] * unit,
                                                      ox + s[k + 1][0] * unit * squeeze, top + s[k + 1][1] * unit));
            }
        }
    }
    return best;
}

Image WhiteTexel() { return Image(1, 1, Rgba{255, 255, 255, 255}); }

namespace {

// JPEG stores 8 x 8 blocks: a block that is pure white throughout decodes to
// pure white exactly, while white next to an edge inside a block comes back
// slightly off-white and would show as specks instead of keying out. So keyed
// white is kept to whole blocks: every block that holds any of the picture is
// filled with `plate` under it.
constexpr int kJpegBlock = 8;

template <typename Paint>  // Paint(px, py, Color& c) -> coverage 0..1
Image BlockKeyed(const Color& plate, Paint paint) {
    Image img(512, 512, Rgba{255, 255, 255, 255});
    for (int by = 0; by < 512; by += kJpegBlock) {
        for (int bx = 0; bx < 512; bx += kJpegBlock) {
            Color colors[kJpegBlock][kJpegBlock];
            double cover[kJpegBlock][kJpegBlock];
            bool any = false;
            for (int y = 0; y < kJpegBlock; ++y) {
                for (int x = 0; x < kJpegBlock; ++x) {
                    cover[y][x] = paint(bx + x + 0.5, by + y + 0.5, colors[y][x]);
                    any = any || cover[y][x] > 0;
                }
            }
            if (!any) continue;
            for (int y = 0; y < kJpegBlock; ++y)
                for (int x = 0; x < kJpegBlock; ++x) img.Set(bx + x, by + y, Mix(plate, colors[y][x], cover[y][x]));
        }
    }
    return img;
}

}  // namespace

// The loading screen draws this image a quarter of the window wide and high,
// which squeezes it to 3:4 on a 4:3 window; it is drawn stretched by 4/3
// vertically so the emblem looks round. The plate is the loading screen's
// background colour.
Image LoadingLogo() {
    constexpr double kStretch = 4.0 / 3.0;
    const double cx = 256, cy = 150 * kStretch, radius = 128;
    return BlockKeyed(Hex(0x00003a), [&](double px, double py, Color& c) {
        const double dy = (py - cy) / kStretch;
        const double r = std::hypot(px - cx, dy);
        double cover = 0;
        if (r < radius + 10) {
            // Dusk sky over a skyline of gables and a spire, in a gold ring.
            const double h = (dy + radius) / (2 * radius);
            Color sky = Mix(Hex(0x0c1430), Hex(0xd06a3a), Smooth(0.25, 0.85, h));
            const double lx = (px - cx) / radius;
            double roof = 0.72 + 0.08 * std::abs(std::fmod(std::abs(lx * 5 + 7.3), 1.0) - 0.5) * 2;
            if (std::abs(lx - 0.1) < 0.05) roof = 0.38 + std::abs(lx - 0.1) * 4;
            if (std::abs(lx + 0.45) < 0.08) roof = 0.62;
            if (h > roof) sky = Hex(0x0a0a12);
            const double wy = dy + radius;
            const bool lit = h > roof + 0.04 && std::fmod(px, 13) < 4.5 && std::fmod(wy, 16) < 6 && h < 0.95;
            if (lit) sky = Hex(0xf0c060);
            const double ring = Smooth(radius - 8, radius - 6, r) * (1 - Smooth(radius + 2, radius + 4, r));
            c = Mix(sky, Hex(0xd8a840), ring);
            cover = 1 - Smooth(radius + 2, radius + 4, r);
        }
        const double d = TextDistance("VELMORA", 256, 335, 48, 1.0, px, 335 + (py - 335 * kStretch) / kStretch);
        if (d < 10) {
            const double fill = 1 - Smooth(4.2, 5.4, d);
            const Color text = Mix(Hex(0x2a1208), Hex(0xd89a30), fill);
            const double a = 1 - Smooth(8.0, 9.5, d);
            c = cover > 0 ? Mix(c, text, a) : text;
            cover = std::max(cover, a);
        }
        return cover;
    });
}

namespace {

// Capitals of the end title, 5 x 7 cells, '#' lit.
const std::map<char, std::array<const char*, 7>>& BlockGlyphs() {
    static const std::map<char, std::array<const char*, 7>> glyphs = {
        {'T', {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."}},
        {'H', {"#...#", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"}},
        {'E', {"#####", "#....", "#....", "####.", "#....", "#....", "#####"}},
        {'N', {"#...#", "##..#", "##..#", "#.#.#", "#..##", "#..##", "#...#"}},
        {'D', {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."}},
        {' ', {".....", ".....", ".....", ".....", ".....", ".....", "....."}},
    };
    return glyphs;
}

struct Cell {
    int x0, y0, x1, y1;
};

// The lit cells of `text` as pixel rectangles on the JPEG block grid.
std::vector<Cell> BlockText(const std::string& text, int left, int top, int cellW, int cellH) {
    std::vector<Cell> cells;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto& rows = BlockGlyphs().at(text[i]);
        for (int r = 0; r < 7; ++r)
            for (int col = 0; col < 5; ++col)
                if (rows[static_cast<size_t>(r)][col] == '#') {
                    const int x = left + (static_cast<int>(i) * 6 + col) * cellW, y = top + r * cellH;
                    cells.push_back({x, y, x + cellW, y + cellH});
                }
    }
    return cells;
}

}  // namespace

// "THE END" in whole JPEG blocks of pure white, so the red behind the image
// shows through them cleanly, with a dark red glow around them.
Image EndImage() {
    const std::vector<Cell> cells = BlockText("THE END", 96, 176, 8, 16);
    Image img(512, 512);
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            double d = 1e9;
            for (const Cell& cell : cells) {
                const double dx = std::max({cell.x0 - px, 0.0, px - cell.x1});
                const double dy = std::max({cell.y0 - py, 0.0, py - cell.y1});
                d = std::min(d, std::hypot(dx, dy));
            }
            if (d == 0) {
                img.at(x, y) = Rgba{255, 255, 255, 255};
                continue;
            }
            const double glow = Fbm(px / 512, py / 512, 4, 4, 0.5, 901);
            Color c = Mix(Hex(0x06070e), Hex(0x1a1a30), Smooth(0.0, 1.0, 1 - py / 512) * 0.6 + glow * 0.3);
            c = Mix(c, Hex(0x4a0c0c), 1 - Smooth(1.0, 14.0, d));
            const double s = TextDistance("VELMORA", 256, 372, 28, 1.0, px, py);
            if (s < 4) c = Mix(c, Hex(0x9a9aa8), 1 - Smooth(2.4, 3.6, s));
            img.Set(x, y, c);
        }
    }
    return img;
}

Image TitleLogo() {
    Image img(256, 256, Rgba{0, 0, 0, 0});
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            // Drawn twice as wide as it is stored, so the letters are half width here.
            const double d = TextDistance("VELMORA", 128, 112, 60, 0.5, px, py);
            const double shadow = TextDistance("VELMORA", 129.5, 115, 60, 0.5, px, py);
            const double sub = TextDistance("A TOWN AT DUSK", 128, 168, 14, 0.5, px, py);
            double alpha = 0.55 * (1 - Smooth(3.0, 9.0, shadow));
            Color c{0.02, 0.02, 0.05};
            const double fill = 1 - Smooth(4.0, 5.2, d);
            if (fill > 0) {
                const Color gold = Mix(Hex(0xf8e0a0), Hex(0xc07a28), Smooth(84, 140, py));
                c = Mix(c, gold, fill);
                alpha = std::max(alpha, fill);
            }
            const double line = (std::abs(py - 150) < 1.0 && std::abs(px - 128) < 70) ? 0.9 : 0.0;
            const double subFill = std::max(1 - Smooth(1.0, 1.8, sub), line);
            if (subFill > 0) {
                c = Mix(c, Hex(0xe8dcc8), subFill);
                alpha = std::max(alpha, subFill);
            }
            img.Set(x, y, c, alpha);
        }
    }
    return img;
}

Image Drop() {
    Image img(32, 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            const double r = std::hypot(x + 0.5 - 16, y + 0.5 - 16) / 16;
            const double alpha = std::pow(std::max(0.0, 1 - r), 1.6);
            img.Set(x, y, Mix(Hex(0xdce8ff), Hex(0x6a9ad8), Smooth(0.0, 1.0, r)), alpha);
        }
    }
    return img;
}

Image Icon() {
    Image img(256, 256, Rgba{0, 0, 0, 0});
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            const double px = x + 0.5, py = y + 0.5;
            // A rounded square: distance outside a 240-pixel square with corners of radius 44.
            const double qx = std::max(std::abs(px - 128) - 76, 0.0), qy = std::max(std::abs(py - 128) - 76, 0.0);
            const double alpha = 1 - Smooth(-1.0, 1.0, std::hypot(qx, qy) - 44);
            if (alpha <= 0) continue;
            Color c = Mix(Hex(0x0c1430), Hex(0xd06a3a), Smooth(30, 230, py));
            const double d = TextDistance("V", 128, 124, 140, 1.0, px, py);
            const double fill = 1 - Smooth(10.0, 12.0, d);
            c = Mix(c, Mix(Hex(0xf8e0a0), Hex(0xc07a28), Smooth(60, 200, py)), fill);
            img.Set(x, y, c, alpha);
        }
    }
    return img;
}

Image Overlay() {
    Image img(512, 512, Rgba{255, 255, 255, 255});
    for (int y = 0; y < 512; ++y) {
        for (int x = 0; x < 512; ++x) {
            const double u = (x + 0.5) / 512 - 0.5, v = (y + 0.5) / 512 - 0.5;
            double alpha = 0.62 * Smooth(0.42, 0.78, std::hypot(u * 1.1, v));
            if (y < 24 || y >= 512 - 24) alpha = 1.0;  // letterbox bars
            const int a = static_cast<int>(std::lround(alpha * 255));
            if (a > 0) img.at(x, y) = Rgba{0, 0, 0, static_cast<uint8_t>(a)};
        }
    }
    return img;
}

}  // namespace content
