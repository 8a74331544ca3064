#include "Mesh.h"

#include <charconv>
#include <cstdio>

#include "Errors.h"

namespace content {

namespace {
constexpr double kPi = 3.14159265358979323846;
}

Xform Xform::Translate(const Vec3& t) {
    Xform x;
    x.t = t;
    return x;
}

Xform Xform::Scale(double sx, double sy, double sz) {
    Xform x;
    x.m[0][0] = sx;
    x.m[1][1] = sy;
    x.m[2][2] = sz;
    return x;
}

Xform Xform::RotateY(double a) {
    Xform x;
    const double c = std::cos(a), s = std::sin(a);
    x.m[0][0] = c;
    x.m[0][2] = s;
    x.m[2][0] = -s;
    x.m[2][2] = c;
    return x;
}

Xform Xform::RotateX(double a) {
    Xform x;
    const double c = std::cos(a), s = std::sin(a);
    x.m[1][1] = c;
    x.m[1][2] = -s;
    x.m[2][1] = s;
    x.m[2][2] = c;
    return x;
}

Xform Xform::RotateZ(double a) {
    Xform x;
    const double c = std::cos(a), s = std::sin(a);
    x.m[0][0] = c;
    x.m[0][1] = -s;
    x.m[1][0] = s;
    x.m[1][1] = c;
    return x;
}

Xform Xform::operator*(const Xform& inner) const {
    Xform r;
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) r.m[i][j] = m[i][0] * inner.m[0][j] + m[i][1] * inner.m[1][j] + m[i][2] * inner.m[2][j];
    r.t = Point(inner.t);
    return r;
}

Vec3 Xform::Point(const Vec3& p) const {
    return {m[0][0] * p.x + m[0][1] * p.y + m[0][2] * p.z + t.x, m[1][0] * p.x + m[1][1] * p.y + m[1][2] * p.z + t.y,
            m[2][0] * p.x + m[2][1] * p.y + m[2][2] * p.z + t.z};
}

Vec3 Xform::Normal(const Vec3& n) const {
    // Inverse transpose of M, up to a positive factor: the cofactor matrix.
    const double c[3][3] = {
        {m[1][1] * m[2][2] - m[1][2] * m[2][1], m[1][2] * m[2][0] - m[1][0] * m[2][2], m[1][0] * m[2][1] - m[1][1] * m[2][0]},
        {m[0][2] * m[2][1] - m[0][1] * m[2][2], m[0][0] * m[2][2] - m[0][2] * m[2][0], m[0][1] * m[2][0] - m[0][0] * m[2][1]},
        {m[0][1] * m[1][2] - m[0][2] * m[1][1], m[0][2] * m[1][0] - m[0][0] * m[1][2], m[0][0] * m[1][1] - m[0][1] * m[1][0]}};
    const double det = m[0][0] * c[0][0] + m[0][1] * c[0][1] + m[0][2] * c[0][2];
    const double sign = det < 0 ? -1.0 : 1.0;
    return Normalize(Vec3{c[0][0] * n.x + c[0][1] * n.y + c[0][2] * n.z, c[1][0] * n.x + c[1][1] * n.y + c[1][2] * n.z,
                          c[2][0] * n.x + c[2][1] * n.y + c[2][2] * n.z} *
                     sign);
}

int Mesh::AddMaterial(const Material& material) {
    materials_.push_back(material);
    return static_cast<int>(materials_.size()) - 1;
}

uint32_t Mesh::AddVertex(const Vertex& v) {
    Vertex w = v;
    w.position = current_.Point(v.position);
    w.normal = current_.Normal(v.normal);
    vertices_.push_back(w);
    return static_cast<uint32_t>(vertices_.size() - 1);
}

void Mesh::Tri(int material, const Vertex& a, const Vertex& b, const Vertex& c, const Vec3& facing) {
    if (material < 0 || material >= static_cast<int>(materials_.size()))
        throw GenerateError("triangle uses a material the mesh does not have");
    const uint32_t ia = AddVertex(a), ib = AddVertex(b), ic = AddVertex(c);
    const Vec3 pa = vertices_[ia].position, pb = vertices_[ib].position, pc = vertices_[ic].position;
    const Vec3 f = current_.Normal(facing);
    // A clockwise front face has (b - a) x (c - a) along its outward normal.
    if (Dot(Cross(pb - pa, pc - pa), f) >= 0)
        triangles_.push_back({ia, ib, ic});
    else
        triangles_.push_back({ia, ic, ib});
    triangleMaterials_.push_back(material);
}

void Mesh::Quad(int material, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, const Vec3& n,
                std::array<double, 8> uv) {
    const Vertex va{a, n, uv[0], uv[1]}, vb{b, n, uv[2], uv[3]}, vc{c, n, uv[4], uv[5]}, vd{d, n, uv[6], uv[7]};
    Tri(material, va, vb, vc, n);
    Tri(material, va, vc, vd, n);
}

void Mesh::Panel(int material, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, const Vec3& n,
                 double tileU, double tileV, double u0, double v0) {
    const double w = Length(b - a) / tileU, h = Length(c - b) / tileV;
    Quad(material, a, b, c, d, n, {u0, v0, u0 + w, v0, u0 + w, v0 + h, u0, v0 + h});
}

void Mesh::Card(int material, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, std::array<double, 8> uv) {
    const Vec3 n = Normalize(Cross(b - a, c - a));
    Quad(material, a, b, c, d, n, uv);
    Quad(material, a, b, c, d, -n, uv);
}

void Mesh::Box(int material, const Vec3& lo, const Vec3& hi, double tile, int faces, bool inward) {
    const double s = inward ? -1.0 : 1.0;
    const double x0 = lo.x, y0 = lo.y, z0 = lo.z, x1 = hi.x, y1 = hi.y, z1 = hi.z;
    // Side faces: v runs down from the top edge so textures stand upright.
    if (faces & kFacePlusX) Panel(material, {x1, y1, z0}, {x1, y1, z1}, {x1, y0, z1}, {x1, y0, z0}, Vec3{1, 0, 0} * s, tile, tile);
    if (faces & kFaceMinusX) Panel(material, {x0, y1, z1}, {x0, y1, z0}, {x0, y0, z0}, {x0, y0, z1}, Vec3{-1, 0, 0} * s, tile, tile);
    if (faces & kFaceTop) Panel(material, {x0, y1, z1}, {x1, y1, z1}, {x1, y1, z0}, {x0, y1, z0}, Vec3{0, 1, 0} * s, tile, tile);
    if (faces & kFaceBottom) Panel(material, {x0, y0, z0}, {x1, y0, z0}, {x1, y0, z1}, {x0, y0, z1}, Vec3{0, -1, 0} * s, tile, tile);
    if (faces & kFacePlusZ) Panel(material, {x1, y1, z1}, {x0, y1, z1}, {x0, y0, z1}, {x1, y0, z1}, Vec3{0, 0, 1} * s, tile, tile);
    if (faces & kFaceMinusZ) Panel(material, {x0, y1, z0}, {x1, y1, z0}, {x1, y0, z0}, {x0, y0, z0}, Vec3{0, 0, -1} * s, tile, tile);
}

void Mesh::Lathe(int material, const std::vector<std::array<double, 2>>& profile, int segments, double uRepeat,
                 double vTile, bool inward) {
    const double s = inward ? -1.0 : 1.0;
    // v runs down the profile from its top, so textures stand upright.
    std::vector<double> vs(profile.size(), 0.0);
    for (size_t i = profile.size() - 1; i-- > 0;) {
        const double dr = profile[i][0] - profile[i + 1][0], dy = profile[i][1] - profile[i + 1][1];
        vs[i] = vs[i + 1] + std::sqrt(dr * dr + dy * dy) / vTile;
    }
    for (size_t i = 0; i + 1 < profile.size(); ++i) {
        const double r0 = profile[i][0], y0 = profile[i][1], r1 = profile[i + 1][0], y1 = profile[i + 1][1];
        // Outward normal of this band in the (radius, height) plane.
        const double nr = (y1 - y0), ny = -(r1 - r0);
        const double len = std::sqrt(nr * nr + ny * ny);
        if (len == 0) continue;
        for (int k = 0; k < segments; ++k) {
            const double a0 = 2 * kPi * k / segments, a1 = 2 * kPi * (k + 1) / segments;
            const double u0 = uRepeat * k / segments, u1 = uRepeat * (k + 1) / segments;
            auto vert = [&](double r, double y, double a, double u, double v) {
                const Vec3 n = Vec3{std::cos(a) * nr / len, ny / len, std::sin(a) * nr / len} * s;
                return Vertex{{r * std::cos(a), y, r * std::sin(a)}, n, u, v};
            };
            const Vertex p00 = vert(r0, y0, a0, u0, vs[i]), p01 = vert(r0, y0, a1, u1, vs[i]);
            const Vertex p10 = vert(r1, y1, a0, u0, vs[i + 1]), p11 = vert(r1, y1, a1, u1, vs[i + 1]);
            const double am = (a0 + a1) / 2;
            const Vec3 facing = Vec3{std::cos(am) * nr, ny, std::sin(am) * nr} * s;
            if (r0 > 1e-9) Tri(material, p00, p01, p11, facing);
            if (r1 > 1e-9) Tri(material, p00, p11, p10, facing);
        }
    }
}

void Mesh::Disc(int material, const Vec3& centre, double radius, int segments, bool up, double tile) {
    const Vec3 n{0, up ? 1.0 : -1.0, 0};
    const Vertex c{centre, n, centre.x / tile, centre.z / tile};
    for (int k = 0; k < segments; ++k) {
        const double a0 = 2 * kPi * k / segments, a1 = 2 * kPi * (k + 1) / segments;
        const Vec3 p0 = centre + Vec3{radius * std::cos(a0), 0, radius * std::sin(a0)};
        const Vec3 p1 = centre + Vec3{radius * std::cos(a1), 0, radius * std::sin(a1)};
        Tri(material, c, Vertex{p0, n, p0.x / tile, p0.z / tile}, Vertex{p1, n, p1.x / tile, p1.z / tile}, n);
    }
}

void Mesh::Ellipsoid(int material, const Vec3& c, const Vec3& radii, int segments, int rings, double uRepeat,
                     double vRepeat) {
    auto vert = [&](int k, int j) {
        const double a = 2 * kPi * k / segments, b = kPi * j / rings - kPi / 2;
        const Vec3 unit{std::cos(b) * std::cos(a), std::sin(b), std::cos(b) * std::sin(a)};
        const Vec3 n = Normalize(Vec3{unit.x / radii.x, unit.y / radii.y, unit.z / radii.z});
        return Vertex{c + Vec3{unit.x * radii.x, unit.y * radii.y, unit.z * radii.z}, n,
                      uRepeat * k / segments, vRepeat * (rings - j) / rings};
    };
    for (int j = 0; j < rings; ++j) {
        for (int k = 0; k < segments; ++k) {
            const Vertex a = vert(k, j), b = vert(k + 1, j), d = vert(k, j + 1), e = vert(k + 1, j + 1);
            const Vec3 mid = Normalize((a.position + b.position + d.position + e.position) * 0.25 - c);
            if (j > 0) Tri(material, a, b, e, mid);
            if (j < rings - 1) Tri(material, a, e, d, mid);
        }
    }
}

void Mesh::GableRoof(int roofMaterial, int gableMaterial, double x0, double x1, double z0, double z1, double eave,
                     double ridge, double overhang, double tile, double wallTile) {
    const double zm = (z0 + z1) / 2, half = (z1 - z0) / 2;
    const double slope = (ridge - eave) / half;
    const double ze0 = z0 - overhang, ze1 = z1 + overhang;
    const double ye = eave - overhang * slope;
    const double xa = x0 - overhang, xb = x1 + overhang;
    const Vec3 n0 = Normalize(Vec3{0, half, -(ridge - eave)});
    const Vec3 n1 = Normalize(Vec3{0, half, (ridge - eave)});
    // Tiles run down the slope: v from ridge to eave.
    Panel(roofMaterial, {xa, ridge, zm}, {xb, ridge, zm}, {xb, ye, ze0}, {xa, ye, ze0}, n0, tile, tile);
    Panel(roofMaterial, {xb, ridge, zm}, {xa, ridge, zm}, {xa, ye, ze1}, {xb, ye, ze1}, n1, tile, tile);
    // Undersides of the overhang, so the eaves are not see-through from below.
    Panel(roofMaterial, {xa, ridge - 0.01, zm}, {xb, ridge - 0.01, zm}, {xb, ye - 0.01, ze0}, {xa, ye - 0.01, ze0}, -n0, tile, tile);
    Panel(roofMaterial, {xb, ridge - 0.01, zm}, {xa, ridge - 0.01, zm}, {xa, ye - 0.01, ze1}, {xb, ye - 0.01, ze1}, -n1, tile, tile);
    for (int side = 0; side < 2; ++side) {
        const double x = side == 0 ? x0 : x1;
        const Vec3 n{side == 0 ? -1.0 : 1.0, 0, 0};
        const Vertex a{{x, eave, z0}, n, z0 / wallTile, 0}, b{{x, eave, z1}, n, z1 / wallTile, 0},
            c{{x, ridge, zm}, n, zm / wallTile, -(ridge - eave) / wallTile};
        Tri(gableMaterial, a, b, c, n);
    }
}

namespace {

void Num(std::string& out, double v) {
    char buf[32];
    if (std::abs(v) < 0.00005) v = 0.0;
    const int n = std::snprintf(buf, sizeof buf, "%.4f", v);
    out.append(buf, static_cast<size_t>(n));
}

std::string Identifier(const std::string& name) {
    std::string id;
    for (char ch : name) id.push_back(std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_');
    if (id.empty() || std::isdigit(static_cast<unsigned char>(id[0]))) id.insert(id.begin(), '_');
    return id;
}

}  // namespace

std::string WriteX(const Mesh& mesh, const std::string& name) {
    if (mesh.triangles().empty()) throw GenerateError("mesh " + name + " has no triangles");
    const std::string id = Identifier(name);
    const auto& vs = mesh.vertices();
    const auto& ts = mesh.triangles();
    std::string out = "xof 0303txt 0032\n";
    out += "\nHeader {\n 1;\n 0;\n 1;\n}\n\nFrame " + id + "_Root {\n FrameTransformMatrix {\n";
    out += "  1.000000,0.000000,0.000000,0.000000,\n  0.000000,1.000000,0.000000,0.000000,\n";
    out += "  0.000000,0.000000,1.000000,0.000000,\n  0.000000,0.000000,0.000000,1.000000;;\n }\n\n";
    out += " Mesh " + id + " {\n  " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i) {
        out += "  ";
        Num(out, vs[i].position.x), out += ';';
        Num(out, vs[i].position.y), out += ';';
        Num(out, vs[i].position.z), out += ';';
        out += i + 1 < vs.size() ? ",\n" : ";\n";
    }
    out += "  " + std::to_string(ts.size()) + ";\n";
    auto faces = [&](std::string& o) {
        for (size_t i = 0; i < ts.size(); ++i) {
            o += "  3;" + std::to_string(ts[i][0]) + ',' + std::to_string(ts[i][1]) + ',' + std::to_string(ts[i][2]);
            o += i + 1 < ts.size() ? ";,\n" : ";;\n";
        }
    };
    faces(out);
    out += "\n  MeshNormals {\n   " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i) {
        out += "   ";
        Num(out, vs[i].normal.x), out += ';';
        Num(out, vs[i].normal.y), out += ';';
        Num(out, vs[i].normal.z), out += ';';
        out += i + 1 < vs.size() ? ",\n" : ";\n";
    }
    out += "   " + std::to_string(ts.size()) + ";\n";
    faces(out);
    out += "  }\n\n  MeshTextureCoords {\n   " + std::to_string(vs.size()) + ";\n";
    for (size_t i = 0; i < vs.size(); ++i) {
        out += "   ";
        Num(out, vs[i].u), out += ';';
        Num(out, vs[i].v), out += ';';
        out += i + 1 < vs.size() ? ",\n" : ";\n";
    }
    out += "  }\n\n  MeshMaterialList {\n   " + std::to_string(mesh.MaterialCount()) + ";\n   " +
           std::to_string(ts.size()) + ";\n   ";
    const auto& tm = mesh.triangleMaterials();
    for (size_t i = 0; i < tm.size(); ++i) {
        out += std::to_string(tm[i]);
        out += i + 1 < tm.size() ? (i % 32 == 31 ? ",\n   " : ",") : ";;\n";
    }
    for (size_t i = 0; i < mesh.MaterialCount(); ++i) {
        const Material& m = mesh.materials()[i];
        out += "   Material " + id + "_Mat" + std::to_string(i) + " {\n    ";
        Num(out, m.diffuse.r), out += ';', Num(out, m.diffuse.g), out += ';', Num(out, m.diffuse.b), out += ';';
        Num(out, m.alpha), out += ";;\n    ";
        Num(out, m.power), out += ";\n    ";
        Num(out, m.specular.r), out += ';', Num(out, m.specular.g), out += ';', Num(out, m.specular.b);
        out += ";;\n    ";
        Num(out, m.emissive.r), out += ';', Num(out, m.emissive.g), out += ';', Num(out, m.emissive.b);
        out += ";;\n";
        if (!m.texture.empty()) out += "    TextureFilename {\n     \"" + m.texture + "\";\n    }\n";
        out += "   }\n";
    }
    out += "  }\n }\n}\n";
    return out;
}

}  // namespace content
