#include "Models.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string_view>

#include "Random.h"
#include "loading/ObjectTable.h"

namespace content {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Surfaces glow a little so the town reads at dusk under the dim ambient light.
Material Tex(const std::string& file, double glow = 0.24) {
    Material m;
    m.texture = file;
    m.emissive = {glow, glow, glow * 1.08};
    return m;
}

// Lit windows, lamps and stained glass: bright whatever the lights.
Material Lit(const std::string& file, double glow = 0.9) {
    Material m;
    m.texture = file;
    m.emissive = {glow, glow * 0.95, glow * 0.85};
    return m;
}

Material Plain(Color c, double glow = 0.2) {
    Material m;
    m.diffuse = c;
    m.emissive = c * glow;
    m.power = 12;
    m.specular = {0.3, 0.3, 0.3};
    return m;
}

// Builds in design units (world size, ground at y = 0), then maps into the
// mesh's local units for a placement with scale (sx, sy, sz) at height posY.
struct Placement {
    double sx = 1, sy = 1, sz = 1, posY = 0;
};
void PushPlacement(Mesh& m, const Placement& p) {
    m.Push(Xform::Translate({0, -p.posY / p.sy, 0}) * Xform::Scale(1 / p.sx, 1 / p.sy, 1 / p.sz));
}

// The first row of the demo's object table with this name.
const ObjectRow& Placed(std::string_view name) {
    for (const ObjectRow& row : ObjectTable)
        if (name == row.Name) return row;
    throw std::logic_error("the object table has no \"" + std::string(name) + "\"");
}

// A table value as the decimal it is written with (0.38f as 0.38, not
// 0.3799999952...), so that the meshes are built from the same numbers as the
// demo's source shows.
double Decimal(float value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::strtod(std::string(text, end).c_str(), nullptr);
}

// The placement of a named object: its scale, and its height when the mesh
// must undo it to stand on the ground (`onGround`); objects inside the
// cathedral stand on its floor, where they are placed.
Placement PlacementOf(std::string_view name, bool onGround = true) {
    const ObjectRow& row = Placed(name);
    return {Decimal(row.ScaleX), Decimal(row.ScaleY), Decimal(row.ScaleZ), onGround ? Decimal(row.PosY) : 0.0};
}

struct Style {
    std::string wall, roof, window, door, plinth = "stone_grey.jpg";
    double storey = 22;
    int storeys = 2;
    double roofRise = 16;
    double overhang = 2.5;
    bool chimney = true;
};

struct Face {
    Vec3 start, dir, normal;
    double length;
};

std::vector<Face> Faces(double cx, double cz, double hx, double hz) {
    return {{{cx - hx, 0, cz - hz}, {1, 0, 0}, {0, 0, -1}, 2 * hx},
            {{cx + hx, 0, cz + hz}, {-1, 0, 0}, {0, 0, 1}, 2 * hx},
            {{cx - hx, 0, cz + hz}, {0, 0, -1}, {-1, 0, 0}, 2 * hz},
            {{cx + hx, 0, cz - hz}, {0, 0, 1}, {1, 0, 0}, 2 * hz}};
}

void Opening(Mesh& m, int material, const Face& f, double t, double w, double y0, double y1) {
    const Vec3 off = f.normal * 0.3;
    const Vec3 a = f.start + f.dir * (t - w / 2) + off, b = f.start + f.dir * (t + w / 2) + off;
    m.Quad(material, a + Vec3{0, y1, 0}, b + Vec3{0, y1, 0}, b + Vec3{0, y0, 0}, a + Vec3{0, y0, 0}, f.normal,
           {0, 0, 1, 0, 1, 1, 0, 1});
}

// A house: walls, stone plinth, windows on every storey, a door on the -z side,
// a gable roof along its longer side and a chimney.
void Building(Mesh& m, double cx, double cz, double hx, double hz, const Style& s) {
    const int wall = m.AddMaterial(Tex(s.wall));
    const int roof = m.AddMaterial(Tex(s.roof, 0.2));
    const int window = m.AddMaterial(Lit(s.window));
    const int door = m.AddMaterial(Tex(s.door, 0.3));
    const int plinth = m.AddMaterial(Tex(s.plinth));
    const double h = s.storey * s.storeys;
    m.Box(wall, {cx - hx, 0, cz - hz}, {cx + hx, h, cz + hz}, s.storey, kFaceSides);
    m.Box(plinth, {cx - hx - 0.6, -1, cz - hz - 0.6}, {cx + hx + 0.6, 3.5, cz + hz + 0.6}, 14, kFaceSides | kFaceTop);
    // Cornice under the eaves.
    m.Box(plinth, {cx - hx - 0.8, h - 1.2, cz - hz - 0.8}, {cx + hx + 0.8, h, cz + hz + 0.8}, 14, kFaceSides | kFaceBottom);
    if (hx >= hz) {
        m.GableRoof(roof, wall, cx - hx, cx + hx, cz - hz, cz + hz, h, h + s.roofRise, s.overhang, 18, s.storey);
    } else {
        m.Push(Xform::Translate({cx, 0, cz}) * Xform::RotateY(kPi / 2));
        m.GableRoof(roof, wall, -hz, hz, -hx, hx, h, h + s.roofRise, s.overhang, 18, s.storey);
        m.Pop();
    }
    if (s.chimney) {
        const double chx = cx + (hx >= hz ? hx * 0.5 : 0), chz = cz + (hx >= hz ? 0 : hz * 0.5);
        m.Box(plinth, {chx - 2, h + s.roofRise * 0.4, chz - 2}, {chx + 2, h + s.roofRise + 5, chz + 2}, 10, kFaceSides | kFaceTop);
    }
    const auto faces = Faces(cx, cz, hx, hz);
    for (size_t fi = 0; fi < faces.size(); ++fi) {
        const Face& f = faces[fi];
        const int n = std::max(1, static_cast<int>(f.length / 15));
        const double spacing = f.length / n;
        const double w = std::min(7.0, spacing * 0.5);
        for (int st = 0; st < s.storeys; ++st) {
            for (int i = 0; i < n; ++i) {
                const double t = spacing * (i + 0.5);
                const bool doorHere = fi == 0 && st == 0 && i == n / 2;
                if (doorHere) {
                    Opening(m, door, f, t, 7.5, 0.5, std::min(14.0, s.storey * 0.75));
                    continue;
                }
                const double y0 = st * s.storey + s.storey * 0.32, y1 = st * s.storey + s.storey * 0.78;
                Opening(m, window, f, t, w, y0, y1);
            }
        }
    }
}

// ---- the ground -------------------------------------------------------------

enum class Surface { Cobbles, Flagstones, Grass };

Surface SurfaceAt(double x, double z) {
    if (x > 240 && x < 560 && z < -130 && z > -610) return Surface::Flagstones;
    if (x > 725 && x < 990 && z < -370 && z > -690) return Surface::Grass;
    if (x < -150 || x > 975 || z < -960 || z > 170) return Surface::Grass;
    if (x < 20 && z > -80 && z < 160) return Surface::Grass;
    return Surface::Cobbles;
}

// Houses and trees that fill the town's lots between the placed buildings; each
// belongs to the ground tile that holds its centre.
struct Filler {
    double x, z, hx, hz;
    int storeys, style;
};
const std::vector<Filler>& Fillers() {
    static const std::vector<Filler> fillers = {
        {230, 145, 50, 28, 2, 0},  {580, 120, 60, 30, 3, 1},  {940, -60, 35, 45, 2, 2},  {840, -290, 38, 40, 2, 3},
        {-150, -470, 40, 45, 2, 4}, {-150, -880, 40, 50, 2, 5}, {280, -900, 70, 40, 2, 6}, {155, -505, 40, 40, 2, 1},
        {-70, -230, 22, 30, 2, 2},  {430, -900, 50, 40, 3, 0},  {930, -900, 50, 60, 2, 3},
    };
    return fillers;
}
const std::vector<std::array<double, 2>>& Trees() {
    static const std::vector<std::array<double, 2>> trees = {
        {850, -520}, {960, -480}, {960, -650}, {860, -675}, {-150, 140}, {-180, 60}, {-170, -40}, {-185, -300},
    };
    return trees;
}

Style FillerStyle(int i) {
    static const Style styles[] = {
        {"plaster_white.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 20, 2, 16},
        {"timber_white.jpg", "roof_brown.dds", "window_lit.tga", "door.jpg", "stone_dark.jpg", 20, 2, 18},
        {"brick_red.jpg", "roof_slate.dds", "window_green.tga", "door.jpg", "stone_grey.jpg", 20, 2, 15},
        {"plaster_ochre.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 20, 2, 17},
        {"timber_yellow.jpg", "roof_slate.dds", "window_lit.tga", "door.jpg", "stone_dark.jpg", 20, 2, 18},
        {"plaster_blue.jpg", "roof_brown.dds", "window_dark.tga", "door.jpg", "stone_grey.jpg", 20, 2, 15},
        {"brick_brown.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 20, 2, 16},
    };
    return styles[i % 7];
}

void Tree(Mesh& m, const Vec3& at, uint32_t seed) {
    const int bark = m.AddMaterial(Tex("wood.jpg", 0.15));
    const int core = m.AddMaterial(Tex("leafcore.jpg", 0.16));
    const int cards = m.AddMaterial(Tex("leaves_dark.tga", 0.18));
    Random rng(seed);
    m.Push(Xform::Translate(at));
    m.Lathe(bark, {{3.2, 0}, {2.2, 4}, {1.8, 24}, {0, 26}}, 8, 2, 12);
    const double h = rng.Range(40, 50), r = rng.Range(14, 18);
    m.Ellipsoid(core, {0, h, 0}, {r, r * 1.1, r}, 10, 6, 3, 3);
    m.Ellipsoid(core, {r * 0.5, h - r * 0.6, rng.Range(-4, 4)}, {r * 0.7, r * 0.6, r * 0.7}, 8, 5, 2, 2);
    for (int i = 0; i < 3; ++i) {
        const double a = kPi * i / 3 + rng.Range(-0.2, 0.2);
        const Vec3 d{std::cos(a) * r * 1.35, 0, std::sin(a) * r * 1.35};
        m.Card(cards, Vec3{-d.x, h + r * 1.35, -d.z}, Vec3{d.x, h + r * 1.35, d.z}, Vec3{d.x, h - r * 1.2, d.z},
               Vec3{-d.x, h - r * 1.2, -d.z}, {0, 0, 1, 0, 1, 1, 0, 1});
    }
    m.Pop();
}

Mesh Ground(double cx, double cz) {
    Mesh m;
    const int cobbles = m.AddMaterial(Tex("cobbles.jpg", 0.3));
    const int flags = m.AddMaterial(Tex("flagstones.jpg", 0.26));
    const int grass = m.AddMaterial(Tex("grass.jpg", 0.2));
    const double cell = 20;
    for (int j = 0; j < 20; ++j) {
        for (int i = 0; i < 20; ++i) {
            const double x0 = -200 + i * cell, z0 = -200 + j * cell, x1 = x0 + cell, z1 = z0 + cell;
            const Surface s = SurfaceAt(cx + x0 + cell / 2, cz + z0 + cell / 2);
            const int mat = s == Surface::Cobbles ? cobbles : s == Surface::Flagstones ? flags : grass;
            const double tile = s == Surface::Cobbles ? 50 : s == Surface::Flagstones ? 45 : 100;
            auto uv = [&](double x, double z) { return std::array<double, 2>{(cx + x) / tile, -(cz + z) / tile}; };
            const auto a = uv(x0, z1), b = uv(x1, z1), c = uv(x1, z0), d = uv(x0, z0);
            m.Quad(mat, {x0, 0, z1}, {x1, 0, z1}, {x1, 0, z0}, {x0, 0, z0}, {0, 1, 0},
                   {a[0], a[1], b[0], b[1], c[0], c[1], d[0], d[1]});
        }
    }
    auto mine = [&](double x, double z) { return x >= cx - 200 && x < cx + 200 && z >= cz - 200 && z < cz + 200; };
    for (const Filler& f : Fillers()) {
        if (!mine(f.x, f.z)) continue;
        Style style = FillerStyle(f.style);
        style.storeys = f.storeys;
        m.Push(Xform::Translate({f.x - cx, 0, f.z - cz}));
        Building(m, 0, 0, f.hx, f.hz, style);
        m.Pop();
    }
    for (size_t i = 0; i < Trees().size(); ++i) {
        const auto& t = Trees()[i];
        if (mine(t[0], t[1])) Tree(m, {t[0] - cx, 0, t[1] - cz}, 900 + static_cast<uint32_t>(i));
    }
    return m;
}

Mesh BigPlane() {
    Mesh m;
    const int grass = m.AddMaterial(Tex("grass.jpg", 0.16));
    const double cell = 200, extent = 1800;
    const int n = static_cast<int>(2 * extent / cell);
    for (int j = 0; j < n; ++j) {
        for (int i = 0; i < n; ++i) {
            const double x0 = -extent + i * cell, z0 = -extent + j * cell;
            m.Panel(grass, {x0, 0, z0 + cell}, {x0 + cell, 0, z0 + cell}, {x0 + cell, 0, z0}, {x0, 0, z0}, {0, 1, 0}, 100,
                    100);
        }
    }
    return m;
}

Mesh Hill() {
    Mesh m;
    const int grass = m.AddMaterial(Tex("hillgrass.jpg", 0.18));
    m.Lathe(grass, {{520, 0}, {430, 40}, {330, 95}, {230, 140}, {130, 166}, {40, 174}, {0, 175}}, 28, 8, 120);
    return m;
}

// ---- houses -----------------------------------------------------------------

Mesh House01() {  // the town hall on the square
    Mesh m;
    PushPlacement(m, PlacementOf("Hus 1"));
    Building(m, 0, 0, 70, 32, {"brick_red.jpg", "roof_slate.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 21, 3, 22, 3, false});
    // Clock tower over the entrance.
    const int stone = m.AddMaterial(Tex("stone_grey.jpg"));
    const int roof = m.AddMaterial(Tex("roof_slate.dds", 0.2));
    const int face = m.AddMaterial(Lit("lampglass.tga", 0.7));
    m.Box(stone, {-11, 40, -34}, {11, 104, -12}, 16, kFaceSides | kFaceTop);
    const Vec3 apex{0, 128, -23};
    const Vec3 c[4] = {{-13, 104, -36}, {13, 104, -36}, {13, 104, -10}, {-13, 104, -10}};
    for (int i = 0; i < 4; ++i) {
        const Vec3 a = c[i], b = c[(i + 1) % 4];
        const Vec3 n = Normalize(Cross(b - a, apex - a));
        const Vec3 out = Normalize((a + b) * 0.5 - Vec3{0, 104, -23});
        m.Tri(roof, {a, n, 0, 1.4}, {b, n, 1.4, 1.4}, {apex, n, 0.7, 0}, out + Vec3{0, 0.5, 0});
    }
    m.Push(Xform::Translate({0, 90, -34.4}) * Xform::RotateX(-kPi / 2));
    m.Disc(face, {0, 0, 0}, 7, 20, true, 14);
    m.Pop();
    return m;
}

Mesh House02() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_02"));
    Building(m, 0, 0, 42, 34, {"plaster_ochre.jpg", "roof_red.dds", "window_green.tga", "door.jpg", "stone_grey.jpg", 20, 2, 18});
    return m;
}

Mesh House03() {  // its wall texture is the one the demo replaces by tex.jpg
    Mesh m;
    PushPlacement(m, PlacementOf("house_03"));
    Building(m, 0, 0, 28, 26, {"tex.jpg", "roof_brown.dds", "window_lit.tga", "door.jpg", "stone_dark.jpg", 21, 2, 17});
    return m;
}

Mesh House04() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_04"));
    Building(m, 0, 0, 32, 38, {"plaster_blue.jpg", "roof_slate.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 21, 3, 16});
    return m;
}

Mesh House06() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_06"));
    Building(m, 0, 0, 44, 40, {"brick_brown.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 21, 3, 20});
    return m;
}

// The car park: striped asphalt with a kerb, a ticket booth and parked cars.
Mesh House07() {
    Mesh m;
    PushPlacement(m, PlacementOf("Parkeringsplatsen"));
    const int lot = m.AddMaterial(Tex("parking.jpg", 0.2));
    const int kerb = m.AddMaterial(Tex("stone_grey.jpg"));
    const int booth = m.AddMaterial(Tex("plaster_white.jpg"));
    const int roof = m.AddMaterial(Tex("roof_slate.dds"));
    const int glass = m.AddMaterial(Lit("window_lit.tga", 0.8));
    const int tyre = m.AddMaterial(Plain(Hex(0x181818)));
    m.Panel(lot, {-90, 0.4, 55}, {90, 0.4, 55}, {90, 0.4, -55}, {-90, 0.4, -55}, {0, 1, 0}, 90, 110);
    m.Box(kerb, {-92, 0, -57}, {92, 1.2, -55}, 10, kFaceSides | kFaceTop);
    m.Box(kerb, {-92, 0, 55}, {92, 1.2, 57}, 10, kFaceSides | kFaceTop);
    m.Box(kerb, {90, 0, -55}, {92, 1.2, 55}, 10, kFacePlusX | kFaceTop | kFacePlusZ | kFaceMinusZ);
    m.Box(booth, {-88, 0, 30}, {-70, 14, 50}, 14, kFaceSides | kFaceTop);
    m.Box(roof, {-90, 14, 28}, {-68, 15.5, 52}, 14, kFaceAll);
    Opening(m, glass, Faces(-79, 40, 9, 10)[3], 10, 10, 5, 11);
    const Color paints[] = {Hex(0x8a1c1c), Hex(0x1c3a7a), Hex(0xb0b0a8), Hex(0x2a5a3a), Hex(0xc09020), Hex(0x303038)};
    Random rng(707);
    for (int i = 0; i < 6; ++i) {
        const int body = m.AddMaterial(Plain(paints[i], 0.35));
        const double x = -45 + i * 22.5 + rng.Range(-1.5, 1.5), z = (i % 2 ? 30 : -32);
        m.Box(body, {x - 7, 2, z - 15}, {x + 7, 7, z + 15}, 10, kFaceSides | kFaceTop);
        m.Box(body, {x - 6, 7, z - 7}, {x + 6, 11, z + 6}, 10, kFaceSides | kFaceTop);
        Opening(m, glass, Faces(x, z, 6.05, 6.5)[0], 6, 10, 7.5, 10.5);
        for (int w = 0; w < 4; ++w) {
            m.Push(Xform::Translate({x + (w % 2 ? 7.2 : -7.2), 2.6, z + (w < 2 ? -9 : 9)}) * Xform::RotateZ(kPi / 2));
            m.Lathe(tyre, {{0, -0.8}, {2.6, -0.8}, {2.6, 0.8}, {0, 0.8}}, 10, 1, 10);
            m.Pop();
        }
    }
    return m;
}

Mesh House08() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_08"));
    Building(m, 0, 0, 40, 44, {"timber_white.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 21, 2, 19});
    return m;
}

Mesh House09() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_09"));
    Building(m, 0, 0, 40, 40, {"brick_yellow.jpg", "roof_brown.dds", "window_green.tga", "door.jpg", "stone_grey.jpg", 21, 3, 18});
    return m;
}

Mesh House10() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_10"));
    Building(m, 0, 0, 48, 28, {"plaster_rose.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 21, 2, 17});
    return m;
}

Mesh House11() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_11"));
    Building(m, 0, 0, 38, 38, {"timber_yellow.jpg", "roof_brown.dds", "window_lit.tga", "door.jpg", "stone_dark.jpg", 21, 2, 20});
    return m;
}

// The row houses: four placements, three like house_13 and house_16 narrower
// and lower; the base sits at about the same local height for both.
Mesh House13to17() {
    Mesh m;
    PushPlacement(m, PlacementOf("house_13"));
    Building(m, 0, 0, 20, 18, {"plaster_cream.jpg", "roof_red.dds", "window_lit.tga", "door.jpg", "stone_grey.jpg", 20, 2, 14});
    return m;
}

// ---- walls, bushes, lamps, fountain -----------------------------------------------

Mesh Wall01() {  // a garden wall 100 long on x
    Mesh m;
    PushPlacement(m, PlacementOf("wall1"));
    const int stone = m.AddMaterial(Tex("stone_grey.jpg"));
    const int cap = m.AddMaterial(Tex("stone_dark.jpg"));
    m.Box(stone, {-50, 0, -1.5}, {50, 11, 1.5}, 16, kFaceSides | kFaceTop);
    m.Box(cap, {-50.5, 11, -2.2}, {50.5, 12.5, 2.2}, 10, kFaceSides | kFaceTop);
    for (int i = 0; i <= 4; ++i) m.Box(cap, {-51.0 + i * 25, 0, -2.5}, {-47.0 + i * 25, 14, 2.5}, 10, kFaceSides | kFaceTop);
    return m;
}

Mesh Wall02() {  // a hedge on a low wall
    Mesh m;
    const int stone = m.AddMaterial(Tex("stone_cream.jpg"));
    const int hedge = m.AddMaterial(Tex("leafcore.jpg", 0.2));
    m.Box(stone, {-40, 0, -3}, {40, 4, 3}, 12, kFaceSides | kFaceTop);
    m.Box(hedge, {-39, 4, -2.5}, {39, 14, 2.5}, 12, kFaceSides | kFaceTop);
    return m;
}

// A bush: a leafy core with cut-out cards standing out of it. Placed stretched
// upwards, so it is shorter in local units than it looks.
Mesh Bush(uint32_t seed, double radius, double height, const std::string& leaves) {
    Mesh m;
    PushPlacement(m, PlacementOf("Bush_01"));
    const int core = m.AddMaterial(Tex("leafcore.jpg", 0.18));
    const int cards = m.AddMaterial(Tex(leaves, 0.2));
    Random rng(seed);
    m.Ellipsoid(core, {0, height * 0.42, 0}, {radius * 0.8, height * 0.42, radius * 0.8}, 10, 6, 3, 2);
    for (int i = 0; i < 5; ++i) {
        const double a = kPi * i / 5 + rng.Range(-0.2, 0.2);
        const double r = radius * rng.Range(1.0, 1.2);
        const Vec3 d{std::cos(a) * r, 0, std::sin(a) * r};
        const double top = height * rng.Range(1.0, 1.15);
        m.Card(cards, Vec3{-d.x, top, -d.z}, Vec3{d.x, top, d.z}, Vec3{d.x, -0.5, d.z}, Vec3{-d.x, -0.5, -d.z},
               {0, 0, 1, 0, 1, 1, 0, 1});
    }
    // A few cards lying flat over the top.
    for (int i = 0; i < 2; ++i) {
        const double y = height * (0.7 + 0.15 * i), r = radius * 0.9;
        const double a = kPi / 4 * i;
        const Vec3 u{std::cos(a) * r, 0, std::sin(a) * r}, v{-std::sin(a) * r, 0, std::cos(a) * r};
        m.Card(cards, Vec3{0, y, 0} - u - v, Vec3{0, y, 0} + u - v, Vec3{0, y, 0} + u + v, Vec3{0, y, 0} - u + v,
               {0, 0, 1, 0, 1, 1, 0, 1});
    }
    return m;
}

// A cast-iron street lamp with its arm towards -x.
Mesh StreetLight() {
    Mesh m;
    PushPlacement(m, PlacementOf("Gatulyckta1"));
    const int iron = m.AddMaterial(Tex("iron.jpg", 0.15));
    const int glass = m.AddMaterial(Lit("lampglass.tga", 1.0));
    m.Lathe(iron, {{2.2, 0}, {2.2, 2}, {1.6, 3}, {1.0, 5}, {0.8, 8}, {0.7, 44}, {1.0, 45}, {1.0, 46}, {0, 46.2}}, 10, 1, 10);
    m.Box(iron, {-9, 44.5, -0.4}, {0, 45.5, 0.4}, 4, kFaceAll);
    m.Push(Xform::Translate({-8, 0, 0}));
    m.Lathe(iron, {{0.3, 43.6}, {0.3, 44.6}}, 6, 1, 4);
    m.Lathe(glass, {{1.2, 39.6}, {2.0, 42.8}, {2.2, 43.0}}, 8, 1, 4);
    m.Lathe(iron, {{2.6, 42.8}, {2.6, 43.2}, {1.2, 44.4}, {0, 44.6}}, 8, 1, 4);
    m.Disc(glass, {0, 39.6, 0}, 1.2, 8, false, 3);
    m.Pop();
    return m;
}

Mesh Fountain() {  // at (400, 0, -180); the drops leave the spout at height 27
    Mesh m;
    const int stone = m.AddMaterial(Tex("stone_cream.jpg", 0.26));
    const int marble = m.AddMaterial(Tex("marble_white.jpg", 0.28));
    m.Lathe(stone, {{57, -0.5}, {57, 5.5}, {56.2, 6.8}, {52, 6.8}, {52, 2}, {0, 2}}, 40, 12, 14);
    m.Lathe(marble, {{8, 2}, {8, 4}, {6, 5}, {5, 14}, {6, 15}, {4, 17}, {4, 19}, {10, 19.6}, {14.5, 21.5}, {16, 25},
                     {16, 25.4}, {15.2, 25.6}, {14.6, 22.6}, {2.6, 22.6}, {2.6, 25.6}, {1.4, 26.8}, {0.6, 27.2}, {0, 27.3}},
            24, 4, 10);
    // Four small lion-head spouts around the column.
    for (int i = 0; i < 4; ++i) {
        const double a = kPi / 2 * i + kPi / 4;
        m.Ellipsoid(marble, {std::cos(a) * 6.2, 12, std::sin(a) * 6.2}, {1.6, 1.8, 1.6}, 8, 5, 1, 1);
    }
    return m;
}

Mesh WaterPlane() {  // two placements: scale 0.7 at y -10 and 0.19 at y 20, both land on the fountain's axis
    Mesh m;
    const int water = m.AddMaterial(Tex("water.dds", 0.3));
    m.Push(Xform::Translate({8, 0, 36}));
    m.Lathe(water, {{70, 20}, {50, 20}, {25, 20}, {0, 20}}, 32, 4, 30);
    m.Pop();
    return m;
}

// ---- the cathedral ----------------------------------------------------------

// The nave seen from inside: floor at y = -80, walls and a barrel vault that the
// pillars reach, windows of stained glass, an altar behind the statues.
// Placed with x-scale 1.1.
Mesh Cathedral() {
    Mesh m;
    const double sx = 1.1;
    m.Push(Xform::Scale(1 / sx, 1, 1));
    const int floor = m.AddMaterial(Tex("floor_tiles.jpg", 0.3));
    const int wall = m.AddMaterial(Tex("stone_cream.jpg", 0.28));
    const int vault = m.AddMaterial(Tex("vault.jpg", 0.3));
    const int glass = m.AddMaterial(Lit("stained_glass.tga", 0.95));
    const int rose = m.AddMaterial(Lit("rose_window.tga", 0.95));
    const int marble = m.AddMaterial(Tex("marble_white.jpg", 0.35));
    const int cloth = m.AddMaterial(Tex("cloth_blue.jpg", 0.3));
    const int candle = m.AddMaterial(Lit("lampglass.tga", 1.0));
    const double x0 = -92, x1 = 92, z0 = -290, z1 = 215, fy = -80, wallTop = 62;
    // Floor in strips so fog and light vary along the nave.
    for (double z = z0; z < z1; z += 50) {
        const double ze = std::min(z + 50, z1);
        for (double x = x0; x < x1; x += 46)
            m.Panel(floor, {x, fy, ze}, {x + 46, fy, ze}, {x + 46, fy, z}, {x, fy, z}, {0, 1, 0}, 40, 40, x / 40, -ze / 40);
    }
    // Side walls (facing inwards), split along z for the windows.
    for (int side = 0; side < 2; ++side) {
        const double x = side == 0 ? x0 : x1;
        const Vec3 n{side == 0 ? 1.0 : -1.0, 0, 0};
        for (double z = z0; z < z1; z += 50) {
            const double ze = std::min(z + 50, z1);
            m.Panel(wall, {x, wallTop, z}, {x, wallTop, ze}, {x, fy, ze}, {x, fy, z}, n, 40, 40, z / 40, 0);
            if (ze - z < 50 || z + 25 > 190) continue;
            // A tall pointed window in the middle of each bay.
            const double zc = z + 25, w = 9, y0 = -45, y1 = 28;
            const double xi = x + n.x * 0.4;
            m.Quad(glass, {xi, y1, zc - w}, {xi, y1, zc + w}, {xi, y0, zc + w}, {xi, y0, zc - w}, n, {0, 0.2, 1, 0.2, 1, 1, 0, 1});
            m.Tri(glass, {{xi, y1, zc - w}, n, 0, 0.2}, {{xi, y1, zc + w}, n, 1, 0.2}, {{xi, y1 + 14, zc}, n, 0.5, 0}, n);
        }
    }
    // End walls with a rose window behind the altar.
    m.Panel(wall, {x1, wallTop, z0}, {x0, wallTop, z0}, {x0, fy, z0}, {x1, fy, z0}, {0, 0, 1}, 40, 40);
    m.Panel(wall, {x0, wallTop, z1}, {x1, wallTop, z1}, {x1, fy, z1}, {x0, fy, z1}, {0, 0, -1}, 40, 40);
    m.Push(Xform::Translate({0, 30, z1 - 0.5}) * Xform::RotateX(-kPi / 2));
    m.Disc(rose, {0, 0, 0}, 26, 32, true, 53);
    m.Pop();
    // Barrel vault over the whole width, and the lunettes that close its ends.
    const int segs = 16;
    const double r = (x1 - x0) / 2;
    for (int k = 0; k < segs; ++k) {
        const double a0 = kPi * k / segs, a1 = kPi * (k + 1) / segs;
        const Vec3 p0{std::cos(a0) * r, wallTop + std::sin(a0) * 48, 0}, p1{std::cos(a1) * r, wallTop + std::sin(a1) * 48, 0};
        const Vec3 n0 = Normalize(Vec3{-std::cos((a0 + a1) / 2), -std::sin((a0 + a1) / 2) * r / 48, 0});
        for (double z = z0; z < z1; z += 50) {
            const double ze = std::min(z + 50, z1);
            m.Quad(vault, {p0.x, p0.y, z}, {p1.x, p1.y, z}, {p1.x, p1.y, ze}, {p0.x, p0.y, ze}, n0,
                   {z / 60, k / 8.0, z / 60, (k + 1) / 8.0, ze / 60, (k + 1) / 8.0, ze / 60, k / 8.0});
        }
        for (int end = 0; end < 2; ++end) {
            const double z = end == 0 ? z0 : z1;
            const Vec3 n{0, 0, end == 0 ? 1.0 : -1.0};
            m.Tri(wall, {{0, wallTop, z}, n, 0, 0}, {{p0.x, p0.y, z}, n, p0.x / 40, -p0.y / 40},
                  {{p1.x, p1.y, z}, n, p1.x / 40, -p1.y / 40}, n);
        }
    }
    // Cornice along the top of the side walls.
    m.Box(marble, {x0, wallTop - 3, z0}, {x0 + 3, wallTop, z1}, 20, kFacePlusX | kFaceBottom);
    m.Box(marble, {x1 - 3, wallTop - 3, z0}, {x1, wallTop, z1}, 20, kFaceMinusX | kFaceBottom);
    // Altar on two steps, with candles.
    m.Box(marble, {-40, fy, 168}, {40, fy + 3, 214}, 20, kFaceTop | kFaceMinusZ | kFacePlusX | kFaceMinusX);
    m.Box(marble, {-32, fy + 3, 176}, {32, fy + 6, 214}, 20, kFaceTop | kFaceMinusZ | kFacePlusX | kFaceMinusX);
    m.Box(marble, {-18, fy + 6, 188}, {18, fy + 20, 200}, 14, kFaceSides | kFaceTop);
    m.Box(cloth, {-16, fy + 20, 187}, {16, fy + 21, 201}, 10, kFaceSides | kFaceTop);
    for (int i = 0; i < 2; ++i) {
        const double x = i == 0 ? -11 : 11;
        m.Push(Xform::Translate({x, fy + 21, 194}));
        m.Lathe(marble, {{1.2, 0}, {0.8, 0.5}, {0.8, 6}, {0, 6}}, 8, 1, 4);
        m.Ellipsoid(candle, {0, 7.2, 0}, {0.7, 1.3, 0.7}, 6, 4, 1, 1);
        m.Pop();
    }
    return m;
}

// A column with base and capital on the cathedral's floor, 142 units tall in
// the world, so it meets the vault's springing.
Mesh Pillar() {
    Mesh m;
    PushPlacement(m, PlacementOf("Pelare", false));
    const int marble = m.AddMaterial(Tex("marble_grey.jpg", 0.3));
    const int stone = m.AddMaterial(Tex("stone_cream.jpg", 0.3));
    m.Box(stone, {-8, 0, -8}, {8, 5, 8}, 16, kFaceSides | kFaceTop);
    m.Lathe(marble, {{7, 5}, {7, 6.5}, {5.8, 8}, {5.2, 10}, {4.6, 128}, {5.4, 130}, {7.5, 134}, {8.5, 137}}, 14, 2, 40);
    m.Box(stone, {-9.5, 137, -9.5}, {9.5, 142, 9.5}, 16, kFaceAll);
    return m;
}

// A robed figure with folded hands and wings, on a pedestal; faces -z.
// Placed at about a ninth of its size, so it is modelled nine times life size.
Mesh Figure(bool female, bool wings, const std::string& robeTexture, const std::string& skinTexture) {
    Mesh m;
    PushPlacement(m, PlacementOf(female ? "Kvinlig staty" : "Manlig staty", false));
    const int stone = m.AddMaterial(Tex("marble_grey.jpg", 0.3));
    const int robe = m.AddMaterial(Tex(robeTexture, 0.32));
    const int skin = m.AddMaterial(Tex(skinTexture, 0.34));
    m.Box(stone, {-8, 0, -8}, {8, 8, 8}, 12, kFaceSides | kFaceTop);
    m.Box(stone, {-8.6, 7, -8.6}, {8.6, 8.4, 8.6}, 12, kFaceAll);
    const double s = female ? 0.92 : 1.0;
    m.Push(Xform::Translate({0, 8.4, 0}) * Xform::Scale(1.45 * s, 1.45, 1.45 * s));
    m.Lathe(robe, {{4.6, 0}, {4.2, 3}, {3.4, 8}, {2.9, 12}, {2.6, 14}, {3.3, 16.2}, {3.7, 17.4}, {2.8, 18.4}, {1.0, 18.9}, {0, 19}},
            16, 2, 8);
    m.Lathe(skin, {{0.75, 18.6}, {0.75, 19.8}, {0, 19.8}}, 8, 1, 4);
    m.Ellipsoid(skin, {0, 21.2, -0.2}, {1.25, 1.6, 1.4}, 10, 7, 1, 1);
    m.Ellipsoid(robe, {0, 21.6, 0.4}, {1.4, 1.5, 1.4}, 10, 7, 2, 1);  // hair or hood
    // Arms folded in front.
    m.Ellipsoid(robe, {-2.6, 14.6, -0.8}, {1.0, 2.8, 1.0}, 8, 5, 1, 1);
    m.Ellipsoid(robe, {2.6, 14.6, -0.8}, {1.0, 2.8, 1.0}, 8, 5, 1, 1);
    m.Ellipsoid(skin, {0, 12.8, -2.7}, {1.4, 0.9, 0.8}, 8, 5, 1, 1);
    if (wings) {
        for (int side = -1; side <= 1; side += 2) {
            m.Push(Xform::Translate({side * 2.6, 15.5, 2.2}) * Xform::RotateY(side * 0.5) * Xform::RotateZ(side * -0.3));
            m.Ellipsoid(stone, {side * 2.4, 1.5, 0}, {3.0, 6.5, 0.45}, 10, 6, 1, 1);
            m.Pop();
        }
    }
    m.Pop();
    return m;
}

// A townsman, life size.
Mesh Gubbe() {
    Mesh m;
    const int coat = m.AddMaterial(Tex("cloth_brown.jpg", 0.25));
    const int trousers = m.AddMaterial(Tex("cloth_blue.jpg", 0.25));
    const int skin = m.AddMaterial(Tex("skin.jpg", 0.3));
    for (int side = -1; side <= 1; side += 2) {
        m.Push(Xform::Translate({side * 1.1, 0, 0}));
        m.Lathe(trousers, {{0.8, 0}, {0.8, 8.5}, {1.0, 9}, {0, 9.2}}, 8, 1, 4);
        m.Pop();
    }
    m.Lathe(coat, {{2.4, 8.5}, {2.4, 13}, {2.6, 15}, {1.6, 15.8}, {0, 16}}, 10, 2, 6);
    m.Ellipsoid(skin, {0, 17.2, 0}, {1.1, 1.4, 1.2}, 10, 6, 1, 1);
    for (int side = -1; side <= 1; side += 2) m.Ellipsoid(coat, {side * 2.9, 12.5, 0}, {0.7, 3.2, 0.7}, 8, 5, 1, 1);
    return m;
}

// A flower on a stem.
Mesh Flower() {
    Mesh m;
    const int stem = m.AddMaterial(Tex("leafcore.jpg", 0.2));
    const int petals = m.AddMaterial(Tex("petals.tga", 0.35));
    m.Lathe(stem, {{0.3, 0}, {0.25, 12}, {0, 12.2}}, 6, 1, 4);
    for (int i = 0; i < 3; ++i) {
        const double a = kPi / 3 * i;
        const Vec3 d{std::cos(a) * 3, 0, std::sin(a) * 3};
        m.Card(petals, Vec3{-d.x, 15, -d.z}, Vec3{d.x, 15, d.z}, Vec3{d.x, 9, d.z}, Vec3{-d.x, 9, -d.z}, {0, 0, 1, 0, 1, 1, 0, 1});
    }
    m.Card(petals, {-3, 12.5, -3}, {3, 12.5, -3}, {3, 12.5, 3}, {-3, 12.5, 3}, {0, 0, 1, 0, 1, 1, 0, 1});
    return m;
}

// A dusk sky dome seen from inside.
Mesh SkyBlob() {
    Mesh m;
    const int sky = m.AddMaterial(Tex("sky.jpg", 0.9));
    std::vector<std::array<double, 2>> profile;
    for (int i = 0; i <= 8; ++i) {
        const double a = kPi / 2 * i / 8;
        profile.push_back({std::cos(a) * 1000, std::sin(a) * 600 - 50});
    }
    m.Lathe(sky, profile, 24, 4, 1100, true);
    return m;
}

}  // namespace

std::vector<MeshFile> BuildModels() {
    std::vector<MeshFile> files;
    auto add = [&](const std::string& path, Mesh mesh) { files.push_back({path, std::move(mesh)}); };
    add("data/house/house_01/house_01.x", House01());
    const double tiles[9][2] = {{0, 0}, {400, 0}, {800, 0}, {0, -400}, {400, -400}, {800, -400}, {0, -800}, {400, -800}, {800, -800}};
    for (int i = 0; i < 9; ++i)
        add("data/misc/ground/ground" + std::to_string(i + 1) + ".x", Ground(tiles[i][0], tiles[i][1]));
    add("data/house/house_11/house_11.x", House11());
    add("data/house/house_02/house_02.x", House02());
    add("data/house/house_13-17/house_13-17.x", House13to17());
    add("data/misc/bushes/bush_01.x", Bush(1501, 15, 13, "leaves.tga"));
    add("data/misc/bushes/bush_02.x", Bush(1502, 10, 20, "leaves_dark.tga"));
    add("data/house/house_10/house_10.x", House10());
    add("data/house/house_09/house_09.x", House09());
    add("data/misc/wall/wall_01.x", Wall01());
    add("data/house/house_06/house_06.x", House06());
    add("data/house/house_03/house_03.x", House03());
    add("data/misc/skysphere/blob.x", SkyBlob());
    add("data/house/house_08/house_08.x", House08());
    add("data/misc/fountain/fountain_01.x", Fountain());
    add("data/house/house_07/house_07.x", House07());
    add("data/misc/fountain/waterplane.x", WaterPlane());
    add("data/misc/streetlight/streetlight_01.x", StreetLight());
    add("data/house/house_04/house_04.x", House04());
    add("data/misc/ground/hill_01.x", Hill());
    add("data/misc/ground/bigplane_01.x", BigPlane());
    add("data/misc/wall/wall_02.x", Wall02());
    add("data/misc/char/gubbe.x", Gubbe());
    add("data/Cathedral/cathedral.x", Cathedral());
    add("data/Cathedral/pelare.x", Pillar());
    add("data/misc/angel/female.x", Figure(true, true, "marble_white.jpg", "marble_white.jpg"));
    add("data/misc/angel/male.x", Figure(false, true, "marble_grey.jpg", "marble_white.jpg"));
    add("data/misc/flower/frame7.x", Flower());
    return files;
}

namespace {

// A footprint turned by `rotY` about (px, pz): design half sizes (hx, hz) and
// height, with a margin for the camera.
Obstacle Footprint(double px, double pz, double hx, double hz, double height, double rotY) {
    const double c = std::abs(std::cos(rotY)), s = std::abs(std::sin(rotY));
    const double ex = hx * c + hz * s, ez = hx * s + hz * c;
    return {{px - ex - 4, -10, pz - ez - 4}, {px + ex + 4, height, pz + ez + 4}, nullptr};
}

// A placed object's footprint, where the object table puts and turns it.
Obstacle ObjectFootprint(const char* name, double hx, double hz, double height) {
    const ObjectRow& row = Placed(name);
    Obstacle o = Footprint(Decimal(row.PosX), Decimal(row.PosZ), hx, hz, height, Decimal(row.RotY));
    o.object = row.Name;
    return o;
}

}  // namespace

std::vector<Obstacle> TownObstacles() {
    std::vector<Obstacle> out = {
        ObjectFootprint("Hus 1", 70, 32, 130),  // town hall with its tower
        ObjectFootprint("house_11", 38, 38, 65),
        ObjectFootprint("house_02", 42, 34, 60),
        ObjectFootprint("house_13", 20, 18, 60),
        ObjectFootprint("house_14", 20, 18, 60),
        ObjectFootprint("house_15", 20, 18, 60),
        ObjectFootprint("house_16", 20 * 2 / 2.7, 18, 45),
        ObjectFootprint("house_10", 48, 28, 60),
        ObjectFootprint("house_09", 40, 40, 85),
        ObjectFootprint("wall1", 52, 3, 25),
        ObjectFootprint("wall2", 52, 3, 25),
        ObjectFootprint("house_06", 44, 40, 85),
        ObjectFootprint("house_03", 28, 26, 62),
        ObjectFootprint("house_08", 40, 44, 65),
        ObjectFootprint("Parkeringsplatsen", 90, 66, 20),
        ObjectFootprint("fontänen utan vattenmesh", 57, 57, 30),
        ObjectFootprint("house_04", 32, 38, 85),
        ObjectFootprint("Gatulyckta1", 10, 3, 50),
        ObjectFootprint("Gatulyckta2", 10, 3, 50),
        ObjectFootprint("Gatulyckta3", 10, 3, 50),
        ObjectFootprint("Gatulyckta4", 10, 3, 50),
        Footprint(840, -525, 80, 110, 35, 0),  // the bushes in the park
    };
    for (const Filler& f : Fillers()) out.push_back(Footprint(f.x, f.z, f.hx, f.hz, f.storeys * 20 + 25, 0));
    for (const auto& t : Trees()) out.push_back(Footprint(t[0], t[1], 20, 20, 70, 0));
    return out;
}

std::vector<Obstacle> CathedralObstacles() {
    std::vector<Obstacle> out;
    for (int side = -1; side <= 1; side += 2)
        for (int k = -1; k <= 1; ++k) out.push_back({{side * 53.0 - 10, -90, k * 100.0 - 10}, {side * 53.0 + 10, 70, k * 100.0 + 10}, nullptr});
    for (int side = -1; side <= 1; side += 2) out.push_back({{side * 35.0 - 10, -90, 110}, {side * 35.0 + 10, -45, 130}, nullptr});
    out.push_back({{-45, -90, 165}, {45, -55, 220}, nullptr});  // the altar
    return out;
}

}  // namespace content
