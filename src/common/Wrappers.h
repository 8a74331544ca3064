// Matrix, vector and colour operations in Direct3D's row-vector convention
// (p' = p x M; A x B applies A first). Each writes its result into `out`.
#pragma once

#include <cstdint>

#include "base/Maths.h"
#include "platform/device/D3D8Types.h"

void D3DXMatrixIdentity(D3DMATRIX& out);
void D3DXMatrixMultiply(D3DMATRIX& out, const D3DMATRIX& a, const D3DMATRIX& b);
void D3DXMatrixScaling(D3DMATRIX& out, float sx, float sy, float sz);
void D3DXMatrixTranslation(D3DMATRIX& out, float x, float y, float z);
void D3DXMatrixRotationX(D3DMATRIX& out, float angle);
void D3DXMatrixRotationY(D3DMATRIX& out, float angle);
void D3DXMatrixRotationZ(D3DMATRIX& out, float angle);
// Left-handed look-at view matrix.
void D3DXMatrixLookAtLH(D3DMATRIX& out, const D3DVECTOR& eye, const D3DVECTOR& at, const D3DVECTOR& up);
// Left-handed perspective projection from a vertical field of view.
void D3DXMatrixPerspectiveFovLH(D3DMATRIX& out, float fovy, float aspect, float zn, float zf);
// Catmull-Rom point between v1 (s = 0) and v2 (s = 1).
void D3DXVec3CatmullRom(D3DVECTOR& out, const D3DVECTOR& v0, const D3DVECTOR& v1, const D3DVECTOR& v2,
                        const D3DVECTOR& v3, float s);

// Packs a colour from alpha, red, green and blue. Components are 16-bit
// integers shifted into place without clamping, so an alpha above 255 keeps
// only its low 8 bits.
D3DCOLOR D3DColorARGB(int16_t a, int16_t r, int16_t g, int16_t b);

// The system services the demo calls, over the clock and random generator of
// the platform (SystemClock and Rng in Variables).
int32_t GetTickCount();
int64_t QueryPerformanceCounter();
int64_t QueryPerformanceFrequency();
float Rnd();         // uniform in [0, 1)
void Randomize();    // reseed from the time of day
