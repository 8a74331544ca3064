#include "common/Wrappers.h"

#include <cmath>

namespace {

D3DVECTOR Subtract(const D3DVECTOR& a, const D3DVECTOR& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }

D3DVECTOR Cross(const D3DVECTOR& a, const D3DVECTOR& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

float Dot(const D3DVECTOR& a, const D3DVECTOR& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

D3DVECTOR Normalize(const D3DVECTOR& v) {
    const float length = std::sqrt(Dot(v, v));
    if (length == 0.0f) return {0, 0, 0};
    return {v.x / length, v.y / length, v.z / length};
}

void SetRows(D3DMATRIX& out, const float (&values)[16]) {
    for (int i = 0; i < 16; ++i) out.m[i / 4][i % 4] = values[i];
}

}  // namespace

void D3DXMatrixIdentity(D3DMATRIX& out) { out = kIdentityMatrix; }

void D3DXMatrixMultiply(D3DMATRIX& out, const D3DMATRIX& a, const D3DMATRIX& b) { out = MatrixProduct(a, b); }

void D3DXMatrixScaling(D3DMATRIX& out, float sx, float sy, float sz) {
    SetRows(out, {sx, 0, 0, 0, 0, sy, 0, 0, 0, 0, sz, 0, 0, 0, 0, 1});
}

void D3DXMatrixTranslation(D3DMATRIX& out, float x, float y, float z) {
    SetRows(out, {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, x, y, z, 1});
}

void D3DXMatrixRotationX(D3DMATRIX& out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    SetRows(out, {1, 0, 0, 0, 0, c, s, 0, 0, -s, c, 0, 0, 0, 0, 1});
}

void D3DXMatrixRotationY(D3DMATRIX& out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    SetRows(out, {c, 0, -s, 0, 0, 1, 0, 0, s, 0, c, 0, 0, 0, 0, 1});
}

void D3DXMatrixRotationZ(D3DMATRIX& out, float angle) {
    const float c = std::cos(angle), s = std::sin(angle);
    SetRows(out, {c, s, 0, 0, -s, c, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
}

void D3DXMatrixLookAtLH(D3DMATRIX& out, const D3DVECTOR& eye, const D3DVECTOR& at, const D3DVECTOR& up) {
    const D3DVECTOR z = Normalize(Subtract(at, eye));
    const D3DVECTOR x = Normalize(Cross(up, z));
    const D3DVECTOR y = Cross(z, x);
    SetRows(out, {x.x, y.x, z.x, 0, x.y, y.y, z.y, 0, x.z, y.z, z.z, 0, -Dot(x, eye), -Dot(y, eye),
                  -Dot(z, eye), 1});
}

void D3DXMatrixPerspectiveFovLH(D3DMATRIX& out, float fovy, float aspect, float zn, float zf) {
    const float ys = 1.0f / std::tan(fovy / 2.0f);
    const float xs = ys / aspect;
    const float q = zf / (zf - zn);
    SetRows(out, {xs, 0, 0, 0, 0, ys, 0, 0, 0, 0, q, 1, 0, 0, -zn * q, 0});
}

void D3DXVec3CatmullRom(D3DVECTOR& out, const D3DVECTOR& v0, const D3DVECTOR& v1, const D3DVECTOR& v2,
                        const D3DVECTOR& v3, float s) {
    const float s2 = s * s, s3 = s2 * s;
    auto component = [&](float p0, float p1, float p2, float p3) {
        return 0.5f * (2.0f * p1 + (p2 - p0) * s + (2.0f * p0 - 5.0f * p1 + 4.0f * p2 - p3) * s2 +
                       (3.0f * p1 - p0 - 3.0f * p2 + p3) * s3);
    };
    out = {component(v0.x, v1.x, v2.x, v3.x), component(v0.y, v1.y, v2.y, v3.y),
           component(v0.z, v1.z, v2.z, v3.z)};
}

D3DCOLOR D3DColorARGB(int16_t a, int16_t r, int16_t g, int16_t b) {
    auto bits = [](int16_t v) { return static_cast<uint32_t>(static_cast<uint16_t>(v)); };
    return (bits(a) << 24) | (bits(r) << 16) | (bits(g) << 8) | bits(b);
}

#include "common/Variables.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"

int32_t GetTickCount() { return SystemClock->TickCount(); }
int64_t QueryPerformanceCounter() { return SystemClock->PerformanceCounter(); }
int64_t QueryPerformanceFrequency() { return SystemClock->PerformanceFrequency(); }
float Rnd() { return Rng->Next(); }
void Randomize() { Rng->Randomize(SecondsSinceMidnight()); }
