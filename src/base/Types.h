// The plain value records that every layer shares: result codes, packed
// colours, vectors and matrices, under the names the device uses for them.
#pragma once

#include <cstdint>

using HRESULT = int32_t;
using DWORD = uint32_t;
using UINT = uint32_t;
using BOOL = int32_t;
using D3DCOLOR = uint32_t;

struct D3DVECTOR {
    float x, y, z;
};

struct D3DVECTOR2 {
    float x, y;
};

struct D3DCOLORVALUE {
    float r, g, b, a;
};

// 4 x 4 single-precision matrix in row-vector convention: p' = p x M.
struct D3DMATRIX {
    float m[4][4];
};
