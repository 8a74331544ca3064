// Per-vertex lighting and fog of the GL device against the fixed-function
// equations, evaluated here independently for the same inputs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "common/Wrappers.h"
#include "support/DeviceHarness.h"

namespace {

constexpr float kPi = 3.1415927f;

struct Vec3 {
    float x, y, z;
};
Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec3 Cross(Vec3 a, Vec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
Vec3 Normalize(Vec3 a) { return a * (1.0f / std::sqrt(Dot(a, a))); }
Vec3 Transform(Vec3 p, const D3DMATRIX& m, float w = 1.0f) {
    const D3DVECTOR r = {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + w * m.m[3][0],
                         p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + w * m.m[3][1],
                         p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + w * m.m[3][2]};
    return {r.x, r.y, r.z};
}

struct NormalVertex {
    float x, y, z;
    float nx, ny, nz;
};
constexpr DWORD kNormalFvf = D3DFVF_XYZ | D3DFVF_NORMAL;

struct ColourVertex {
    float x, y, z;
    D3DCOLOR diffuse;
};
constexpr DWORD kColourFvf = D3DFVF_XYZ | D3DFVF_DIFFUSE;

// Two clockwise triangles of the square (x0, y0)-(x1, y1) at depth z, with
// the normal (0, 0, -1) or, when `colour` is given, a diffuse colour instead.
void DrawQuad(Direct3DDevice8& d, float x0, float y0, float x1, float y1, float z) {
    const NormalVertex q[6] = {{x0, y1, z, 0, 0, -1}, {x1, y1, z, 0, 0, -1}, {x0, y0, z, 0, 0, -1},
                               {x1, y1, z, 0, 0, -1}, {x1, y0, z, 0, 0, -1}, {x0, y0, z, 0, 0, -1}};
    d.SetVertexShader(kNormalFvf);
    ASSERT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(NormalVertex)), D3D_OK);
}
void DrawQuad(Direct3DDevice8& d, float x0, float y0, float x1, float y1, float z, D3DCOLOR c) {
    const ColourVertex q[6] = {{x0, y1, z, c}, {x1, y1, z, c}, {x0, y0, z, c},
                               {x1, y1, z, c}, {x1, y0, z, c}, {x0, y0, z, c}};
    d.SetVertexShader(kColourFvf);
    ASSERT_EQ(d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, q, sizeof(ColourVertex)), D3D_OK);
}

// Camera at `eye` looking along +z, the demo's projection (pi/4, aspect 1, 0.1..1400).
struct Camera {
    D3DMATRIX view, proj;
    explicit Camera(Vec3 eye = {0, 0, 0}) {
        D3DXMatrixLookAtLH(view, {eye.x, eye.y, eye.z}, {eye.x, eye.y, eye.z + 1}, {0, 1, 0});
        D3DXMatrixPerspectiveFovLH(proj, kPi / 4.0f, 1.0f, 0.1f, 1400.0f);
    }
    void Apply(Direct3DDevice8& d) const {
        d.SetTransform(D3DTS_VIEW, view);
        d.SetTransform(D3DTS_PROJECTION, proj);
    }
    // The pixel a world point lands on (integer pixel centres, row 0 at the top).
    void PixelOf(Vec3 world, int& x, int& y) const {
        const Vec3 e = Transform(world, view);
        const float cx = e.x * proj.m[0][0], cy = e.y * proj.m[1][1], w = e.z;
        x = static_cast<int>(std::floor((cx / w + 1.0f) * 0.5f * 1024.0f + 0.5f));
        y = static_cast<int>(std::floor((1.0f - cy / w) * 0.5f * 768.0f + 0.5f));
    }
};

Rgb ToBytes(Vec3 c) {
    auto byte = [](float v) { return static_cast<int>(std::lround(std::clamp(v, 0.0f, 1.0f) * 255.0f)); };
    return {byte(c.x), byte(c.y), byte(c.z)};
}

// Two clockwise triangles of a square with outward normal n, centre c, half size s.
void AddFace(std::vector<MeshVertex>& vertices, std::vector<uint32_t>& indices, Vec3 c, Vec3 n, Vec3 up, float s) {
    const Vec3 right = Cross(n, up) * s, u = up * s;
    const auto base = static_cast<uint32_t>(vertices.size());
    for (Vec3 p : {c - right + u, c + right + u, c + right - u, c - right - u})
        vertices.push_back({{p.x, p.y, p.z}, {n.x, n.y, n.z}, 0, {0, 0}});
    for (uint32_t i : {0u, 1u, 3u, 1u, 2u, 3u}) indices.push_back(base + i);
}

D3DMATERIAL8 TestMaterial() {
    D3DMATERIAL8 m{};
    m.Diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    m.Ambient = {0.2f, 0.3f, 0.4f, 1.0f};
    m.Emissive = {0.05f, 0.0f, 0.0f, 0.0f};
    return m;
}

// Camera-space colour of a vertex with normal n at P under the lights below:
// emissive + ambient * (global + sum of light ambient) + diffuse * sum of N.L.
Vec3 LitColour(const D3DMATERIAL8& m, Vec3 global, Vec3 lightAmbient, Vec3 lightDiffuseTimesNdotL) {
    const Vec3 md = {m.Diffuse.r, m.Diffuse.g, m.Diffuse.b}, ma = {m.Ambient.r, m.Ambient.g, m.Ambient.b};
    const Vec3 me = {m.Emissive.r, m.Emissive.g, m.Emissive.b};
    const Vec3 amb = global + lightAmbient;
    return {me.x + ma.x * amb.x + md.x * lightDiffuseTimesNdotL.x, me.y + ma.y * amb.y + md.y * lightDiffuseTimesNdotL.y,
            me.z + ma.z * amb.z + md.z * lightDiffuseTimesNdotL.z};
}

// A cube of three visible faces under a directional light, drawn as a mesh in
// two subsets; an all-zero light in slot 1 is enabled and changes nothing.
TEST(DeviceLighting, DirectionalLightOnCubeFollowsTheLightingEquation) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    const Camera camera({0, 0, -2});
    camera.Apply(d);

    D3DMATRIX rotY, rotX, move, world;
    D3DXMatrixRotationY(rotY, 0.6f);
    D3DXMatrixRotationX(rotX, 0.5f);
    D3DXMatrixTranslation(move, 0, 0, 6);
    D3DXMatrixMultiply(world, rotY, rotX);
    D3DXMatrixMultiply(world, world, move);

    MeshGeometry cube;
    cube.fvf = D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1;
    const Vec3 normals[6] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    const Vec3 ups[6] = {{0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 1, 0}, {0, 0, 1}, {0, 0, 1}};
    for (int f = 0; f < 6; ++f) AddFace(cube.vertices, cube.indices, normals[f], normals[f], ups[f], 1.0f);
    cube.subsets = {{{0, 18}}, {{18, 18}}};
    std::shared_ptr<D3DXMesh> mesh;
    ASSERT_EQ(d.CreateMesh(cube, mesh), D3D_OK);

    const D3DMATERIAL8 material = TestMaterial();
    d.SetMaterial(material);
    d.SetRenderState(D3DRS_AMBIENT, 0x00202020u);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 0.9f, 0.8f, 1.0f};
    light.Ambient = {0.1f, 0.1f, 0.1f, 1.0f};
    light.Direction = {0.3f, -0.5f, 1.0f};  // not unit length on purpose
    ASSERT_EQ(d.SetLight(0, light), D3D_OK);
    ASSERT_EQ(d.LightEnable(0, 1), D3D_OK);
    const D3DLIGHT8 zero{};
    ASSERT_EQ(d.SetLight(1, zero), D3D_OK);
    ASSERT_EQ(d.LightEnable(1, 1), D3D_OK);

    d.SetTransform(D3DTS_WORLD, world);
    h.Begin();
    ASSERT_EQ(mesh->DrawSubset(0), D3D_OK);
    ASSERT_EQ(mesh->DrawSubset(1), D3D_OK);
    ASSERT_EQ(mesh->DrawSubset(7), D3D_OK);  // no such subset: nothing
    h.End();
    h.SaveIfAsked("lit_cube");

    DWORD fvf = 0;
    d.GetVertexShader(&fvf);
    EXPECT_EQ(fvf, cube.fvf);  // drawing a mesh selects its format

    const Vec3 L = Normalize(Vec3{-0.3f, 0.5f, -1.0f});
    const Vec3 global = {32 / 255.0f, 32 / 255.0f, 32 / 255.0f};
    int visibleFaces = 0;
    for (int f = 0; f < 6; ++f) {
        const Vec3 n = Normalize(Transform(normals[f], world, 0.0f));
        const Vec3 centre = Transform(normals[f], world);
        const bool facesCamera = Dot(n, Vec3{0, 0, -2} - centre) > 0;
        int x, y;
        camera.PixelOf(centre, x, y);
        if (!facesCamera) continue;
        ++visibleFaces;
        const float ndotl = std::max(0.0f, Dot(n, L));
        const Vec3 want = LitColour(material, global, {0.1f, 0.1f, 0.1f}, Vec3{1.0f, 0.9f, 0.8f} * ndotl);
        ExpectPixel(h, x, y, ToBytes(want), 2, "cube face");
    }
    EXPECT_EQ(visibleFaces, 3);
}

// A square of four vertices at equal distance from a point light is lit
// evenly: attenuation 1 / (a0 + a1 d + a2 d^2) and N.L = h / d; out of range
// the light adds nothing, its ambient included. The camera is moved so the
// light's position must go through the view transform.
TEST(DeviceLighting, PointLightRangeAndAttenuation) {
    const float h = 3.0f, s = 2.0f, planeZ = 5.0f;
    const float distance = std::sqrt(2 * s * s + h * h);
    const D3DMATERIAL8 material = TestMaterial();
    const Vec3 global = {64 / 255.0f, 0, 0};
    for (float range : {10.0f, 4.0f}) {
        DeviceHarness harness;
        Direct3DDevice8& d = harness.device();
        const Camera camera({0, 0, -5});
        camera.Apply(d);
        d.SetMaterial(material);
        d.SetRenderState(D3DRS_AMBIENT, 0x00400000u);
        D3DLIGHT8 light{};
        light.Type = D3DLIGHT_POINT;
        light.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
        light.Ambient = {0.2f, 0.2f, 0.2f, 1.0f};
        light.Position = {0, 0, planeZ - h};
        light.Range = range;
        light.Attenuation0 = 0.5f;
        light.Attenuation1 = 0.1f;
        light.Attenuation2 = 0.02f;
        d.SetLight(0, light);
        d.LightEnable(0, 1);
        harness.Begin();
        DrawQuad(d, -s, -s, s, s, planeZ);
        harness.End();

        const float att = 1.0f / (0.5f + 0.1f * distance + 0.02f * distance * distance);
        const Vec3 want = range > distance
                              ? LitColour(material, global, Vec3{0.2f, 0.2f, 0.2f} * att, Vec3{1, 1, 1} * (h / distance * att))
                              : LitColour(material, global, {0, 0, 0}, {0, 0, 0});
        int x, y;
        camera.PixelOf({0, 0, planeZ}, x, y);
        ExpectPixel(harness, x, y, ToBytes(want), 2, range > distance ? "in range" : "out of range");
        camera.PixelOf({1.5f, -1.5f, planeZ}, x, y);
        ExpectPixel(harness, x, y, ToBytes(want), 2, "evenly lit");
    }
}

// Vertices without normals take only emissive and ambient light, whatever
// lights shine; their diffuse alpha is kept. The default light of an index
// never set lights nothing here either.
TEST(DeviceLighting, VerticesWithoutNormalsGetAmbientAndEmissiveOnly) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    const Camera camera;
    camera.Apply(d);
    D3DMATERIAL8 material{};
    material.Ambient = {1.0f, 0.5f, 0.25f, 1.0f};
    material.Emissive = {0.0f, 0.0f, 0.1f, 0.0f};
    material.Diffuse = {1, 1, 1, 1};
    d.SetMaterial(material);
    d.SetRenderState(D3DRS_AMBIENT, 0x00404040u);
    ASSERT_EQ(d.LightEnable(3, 1), D3D_OK);  // default white directional light along +z
    h.Begin();
    DrawQuad(d, -1.8f, -1, -0.2f, 1, 5, 0xFF00FF00u);
    // The same quad with normals facing the default light is lit by it in full.
    DrawQuad(d, 0.2f, -1, 1.8f, 1, 5);
    h.End();
    int x, y;
    camera.PixelOf({-1, 0, 5}, x, y);
    ExpectPixel(h, x, y, ToBytes({64 / 255.0f, 32 / 255.0f, 16 / 255.0f + 0.1f}), 1, "no normal");
    camera.PixelOf({1, 0, 5}, x, y);
    ExpectPixel(h, x, y, ToBytes({1.0f, 1.0f, 1.0f}), 1, "default light");
}

TEST(DeviceLighting, UnlitVerticesKeepTheirColourAndMissingDiffuseIsWhite) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    const Camera camera;
    camera.Apply(d);
    d.SetRenderState(D3DRS_LIGHTING, 0);
    const ColourVertex quad[3] = {{-1, 1, 5, 0xFF336699u}, {1, 1, 5, 0xFF336699u}, {-1, -1, 5, 0xFF336699u}};
    const NormalVertex white[3] = {{1, 1, 5, 0, 0, -1}, {3, 1, 5, 0, 0, -1}, {1, -1, 5, 0, 0, -1}};
    h.Begin();
    d.SetVertexShader(kColourFvf);
    d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, quad, sizeof(ColourVertex));
    d.SetVertexShader(kNormalFvf);
    d.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 1, white, sizeof(NormalVertex));
    h.End();
    int x, y;
    camera.PixelOf({-0.5f, 0.5f, 5}, x, y);
    ExpectPixel(h, x, y, {0x33, 0x66, 0x99}, 0, "vertex colour");
    camera.PixelOf({1.5f, 0.5f, 5}, x, y);
    ExpectPixel(h, x, y, {255, 255, 255}, 0, "no colour");
}

// Linear vertex fog between 300 and 1200 on camera depth: none at 300, half
// at 750, full at 1200. Pre-transformed vertices take the factor from their
// specular alpha.
TEST(DeviceFog, LinearVertexFogFactorAtKnownDepths) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    const Camera camera;
    camera.Apply(d);
    d.SetRenderState(D3DRS_LIGHTING, 0);
    d.SetRenderState(D3DRS_FOGENABLE, 1);
    d.SetRenderState(D3DRS_FOGCOLOR, 0xFF10101Au);
    d.SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR);
    const float start = 300.0f, end = 1200.0f;
    DWORD bits;
    std::memcpy(&bits, &start, 4);
    d.SetRenderState(D3DRS_FOGSTART, bits);
    std::memcpy(&bits, &end, 4);
    d.SetRenderState(D3DRS_FOGEND, bits);

    const float depths[3] = {300.0f, 750.0f, 1200.0f};
    const float ndcX[3] = {-0.5f, 0.0f, 0.5f};
    h.Begin();
    for (int i = 0; i < 3; ++i) {
        const float z = depths[i], k = std::tan(kPi / 8.0f) * z, cx = ndcX[i] * k, s = 0.1f * k;
        DrawQuad(d, cx - s, -s, cx + s, s, z, 0xFFFFFFFFu);
    }
    DrawScreenQuad(d, 0, 0, 50, 50, 0xFFFFFFFFu, 0.0f, 0x80000000u);   // factor 128/255
    DrawScreenQuad(d, 60, 0, 110, 50, 0xFFFFFFFFu, 0.0f, 0xFF000000u);  // unfogged
    h.End();
    h.SaveIfAsked("fog");

    const Rgb want[3] = {{255, 255, 255}, {136, 136, 141}, {16, 16, 26}};
    for (int i = 0; i < 3; ++i) {
        int x, y;
        camera.PixelOf({ndcX[i] * std::tan(kPi / 8.0f) * depths[i], 0, depths[i]}, x, y);
        ExpectPixel(h, x, y, want[i], 1, "fogged quad");
    }
    const float f = 128.0f / 255.0f;
    ExpectPixel(h, 25, 25,
                ToBytes(Vec3{f + (1 - f) * 16 / 255.0f, f + (1 - f) * 16 / 255.0f, f + (1 - f) * 26 / 255.0f}), 1,
                 "specular alpha fog");
    ExpectPixel(h, 85, 25, {255, 255, 255}, 0, "specular alpha 255");
}

}  // namespace

namespace {

// A spot light lights fully inside its inner cone and not at all outside the
// outer one; specular light is added only with SPECULARENABLE.
TEST(DeviceLighting, SpotConeAndSpecularHighlight) {
    DeviceHarness h;
    Direct3DDevice8& d = h.device();
    const Camera camera;
    camera.Apply(d);
    D3DMATERIAL8 material{};
    material.Diffuse = {0.5f, 0.5f, 0.5f, 1.0f};
    material.Specular = {1.0f, 1.0f, 1.0f, 1.0f};
    material.Power = 0.0f;  // pow(x, 0) = 1: full specular wherever N.L > 0
    d.SetMaterial(material);
    D3DLIGHT8 spot{};
    spot.Type = D3DLIGHT_SPOT;
    spot.Diffuse = {1, 1, 1, 1};
    spot.Specular = {0.25f, 0.0f, 0.0f, 1.0f};
    spot.Position = {-1.0f, 0, 0};
    spot.Direction = {0, 0, 1};
    spot.Range = 100.0f;
    spot.Attenuation0 = 1.0f;
    spot.Theta = 0.2f;
    spot.Phi = 0.4f;
    spot.Falloff = 1.0f;
    d.SetLight(0, spot);
    d.LightEnable(0, 1);
    // Left square: straight ahead of the spot (inside theta). Right square: far outside phi.
    auto square = [&](float cx) { DrawQuad(d, cx - 0.05f, -0.05f, cx + 0.05f, 0.05f, 5.0f); };
    h.Begin();
    square(-1.0f);
    square(1.0f);
    d.SetRenderState(D3DRS_SPECULARENABLE, 1);
    D3DMATRIX up;
    const float raise = 5.0f * std::tan(0.15f);  // 0.15 rad off the axis: between theta / 2 and phi / 2
    D3DXMatrixTranslation(up, 0, raise, 0);
    d.SetTransform(D3DTS_WORLD, up);
    square(-1.0f);
    h.End();

    // Straight ahead: N.L = 5 / |(0, 0, 5)| = 1 within the inner cone.
    int x, y;
    camera.PixelOf({-1.0f, 0, 5}, x, y);
    ExpectPixel(h, x, y, {128, 128, 128}, 2, "inside the cone");
    camera.PixelOf({1.0f, 0, 5}, x, y);
    ExpectPixel(h, x, y, {0, 0, 0}, 0, "outside the cone");
    // Raised: rho = cos(0.15) lies between cos(phi / 2) and cos(theta / 2), so the
    // falloff term applies: (rho - cos 0.2) / (cos 0.1 - cos 0.2).
    const float dist = std::sqrt(25.0f + raise * raise), rho = 5.0f / dist;
    const float spotFactor = (rho - std::cos(0.2f)) / (std::cos(0.1f) - std::cos(0.2f));
    const float ndotl = 5.0f / dist;
    camera.PixelOf({-1.0f, raise, 5}, x, y);
    const float grey = 0.5f * ndotl * spotFactor;
    ExpectPixel(h, x, y, ToBytes({grey + 0.25f * spotFactor, grey, grey}), 3, "falloff with specular");
}

}  // namespace
