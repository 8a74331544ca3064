// Triangle meshes with materials, the modelling helpers that build them, and
// the text .x writer.
//
// Front faces are clockwise seen from outside (the left-handed .x convention).
// The helpers take the outward normal of every face and order its corners to
// match, so models never have to think about winding.
#pragma once

#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "Image.h"

namespace content {

struct Vec3 {
    double x = 0, y = 0, z = 0;
    Vec3() = default;
    Vec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
    Vec3 operator+(const Vec3& o) const { return {x + o.x, y + o.y, z + o.z}; }
    Vec3 operator-(const Vec3& o) const { return {x - o.x, y - o.y, z - o.z}; }
    Vec3 operator*(double k) const { return {x * k, y * k, z * k}; }
    Vec3 operator-() const { return {-x, -y, -z}; }
};
inline double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(const Vec3& a, const Vec3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
inline Vec3 Normalize(const Vec3& a) {
    const double l = Length(a);
    return l > 0 ? a * (1.0 / l) : Vec3{0, 1, 0};
}

struct Material {
    Color diffuse{1, 1, 1};
    double alpha = 1.0;
    double power = 0.0;
    Color specular{0, 0, 0};
    Color emissive{0, 0, 0};
    std::string texture;  // file name beside the mesh; empty for none
};

struct Vertex {
    Vec3 position, normal;
    double u = 0, v = 0;
};

// Affine transform p' = M p + t.
struct Xform {
    double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Vec3 t;
    static Xform Translate(const Vec3& t);
    static Xform Scale(double sx, double sy, double sz);
    // Rotation about the vertical axis; positive angles turn +x towards -z,
    // the way the demo's rotation turns objects.
    static Xform RotateY(double angle);
    static Xform RotateX(double angle);
    static Xform RotateZ(double angle);
    Xform operator*(const Xform& inner) const;  // applies `inner` first
    Vec3 Point(const Vec3& p) const;
    Vec3 Normal(const Vec3& n) const;
};

// The faces of an axis-aligned box, as bits for Mesh::Box.
enum BoxFace : int {
    kFacePlusX = 1,
    kFaceMinusX = 2,
    kFaceTop = 4,
    kFaceBottom = 8,
    kFacePlusZ = 16,
    kFaceMinusZ = 32,
    kFaceSides = kFacePlusX | kFaceMinusX | kFacePlusZ | kFaceMinusZ,
    kFaceAll = kFaceSides | kFaceTop | kFaceBottom,
};

class Mesh {
public:
    int AddMaterial(const Material& material);
    size_t MaterialCount() const { return materials_.size(); }
    const std::vector<Material>& materials() const { return materials_; }
    const std::vector<Vertex>& vertices() const { return vertices_; }
    const std::vector<std::array<uint32_t, 3>>& triangles() const { return triangles_; }
    const std::vector<int>& triangleMaterials() const { return triangleMaterials_; }

    // Everything added is transformed by the current transform.
    void Push(const Xform& x) { stack_.push_back(current_), current_ = current_ * x; }
    void Pop() { current_ = stack_.back(), stack_.pop_back(); }

    // One triangle; corners are reordered so that its front faces `facing`.
    void Tri(int material, const Vertex& a, const Vertex& b, const Vertex& c, const Vec3& facing);
    // A planar quad a-b-c-d (in order around it) with flat normal `n` and the given uvs.
    void Quad(int material, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, const Vec3& n,
              std::array<double, 8> uv);
    // A planar quad textured by its size: u runs a->b, v runs b->c, `tile` world
    // units per texture repeat (u and v scaled separately by tileU, tileV).
    void Panel(int material, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d, const Vec3& n,
               double tileU, double tileV, double u0 = 0, double v0 = 0);
    // The same quad with a back side, for cut-out cards seen from both sides.
    void Card(int material, const Vec3& a, const Vec3& b, const Vec3& c, const Vec3& d,
              std::array<double, 8> uv);
    // Axis-aligned box with the faces named by `faces` (BoxFace bits).
    // `inward` turns the faces to the inside, for rooms seen from within.
    void Box(int material, const Vec3& lo, const Vec3& hi, double tile, int faces = kFaceAll, bool inward = false);
    // Surface of revolution about the y axis through `profile` (radius, height)
    // points from bottom to top; u wraps `uRepeat` times around, v follows the
    // profile's length divided by `vTile`.
    void Lathe(int material, const std::vector<std::array<double, 2>>& profile, int segments,
               double uRepeat, double vTile, bool inward = false);
    // Flat disc at height y, facing up (or down).
    void Disc(int material, const Vec3& centre, double radius, int segments, bool up, double tile);
    // Ellipsoid centred at `c`.
    void Ellipsoid(int material, const Vec3& c, const Vec3& radii, int segments, int rings, double uRepeat,
                   double vRepeat);
    // Gable roof over x0..x1 (ridge along x) and z0..z1 from eave height to ridge
    // height, with overhang; `gableMaterial` fills the two end triangles.
    void GableRoof(int roofMaterial, int gableMaterial, double x0, double x1, double z0, double z1, double eave,
                   double ridge, double overhang, double tile, double wallTile);

private:
    uint32_t AddVertex(const Vertex& v);
    std::vector<Material> materials_;
    std::vector<Vertex> vertices_;
    std::vector<std::array<uint32_t, 3>> triangles_;
    std::vector<int> triangleMaterials_;
    Xform current_;
    std::vector<Xform> stack_;
};

// Text .x ("xof 0303txt 0032"): one frame, one mesh with normals, texture
// coordinates and a material list.
std::string WriteX(const Mesh& mesh, const std::string& name);

}  // namespace content
