// Matrix, point and colour maths in Direct3D's row-vector convention
// (p' = p x M; A x B applies A first), the bit patterns of floats that
// float-valued render states carry, and the little-endian integers of
// binary content files.
#pragma once

#include <cstdint>

#include "base/Types.h"

// Little-endian 16- and 32-bit values at `p`.
constexpr uint16_t ReadLittle16(const unsigned char* p) { return uint16_t(p[0] | (p[1] << 8)); }
constexpr uint32_t ReadLittle32(const unsigned char* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

constexpr D3DMATRIX kIdentityMatrix = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};

// The IEEE-754 bit pattern of a float, as float-valued render states take it,
// and back. The builtin is what std::bit_cast is made of; the browser
// build's standard library lacks the wrapper.
constexpr DWORD FloatToDWord(float value) { return __builtin_bit_cast(DWORD, value); }
constexpr float DWordToFloat(DWORD bits) { return __builtin_bit_cast(float, bits); }

constexpr D3DMATRIX MatrixProduct(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int row = 0; row < 4; ++row) {
        for (int col = 0; col < 4; ++col) {
            r.m[row][col] = a.m[row][0] * b.m[0][col] + a.m[row][1] * b.m[1][col] + a.m[row][2] * b.m[2][col] +
                            a.m[row][3] * b.m[3][col];
        }
    }
    return r;
}

// p x M for a point (w = 1), without the divide by w.
constexpr D3DVECTOR TransformPoint(const D3DVECTOR& p, const D3DMATRIX& m) {
    return {p.x * m.m[0][0] + p.y * m.m[1][0] + p.z * m.m[2][0] + m.m[3][0],
            p.x * m.m[0][1] + p.y * m.m[1][1] + p.z * m.m[2][1] + m.m[3][1],
            p.x * m.m[0][2] + p.y * m.m[1][2] + p.z * m.m[2][2] + m.m[3][2]};
}

// v x M for a direction (w = 0): the translation row does not apply.
constexpr D3DVECTOR TransformDirection(const D3DVECTOR& v, const D3DMATRIX& m) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0],
            v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2]};
}

// A packed A8R8G8B8 colour as red, green, blue and alpha in [0, 1].
constexpr D3DCOLORVALUE ColourValue(D3DCOLOR c) {
    return {static_cast<float>((c >> 16) & 0xFF) / 255.0f, static_cast<float>((c >> 8) & 0xFF) / 255.0f,
            static_cast<float>(c & 0xFF) / 255.0f, static_cast<float>((c >> 24) & 0xFF) / 255.0f};
}
