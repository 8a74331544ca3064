// CPU-side pieces of the fixed-function emulation that need no GL: decoding a
// flexible vertex format into attribute offsets, primitive vertex counts, the
// normal matrix and the letterbox rectangle Present scales the picture into.
#pragma once

#include <cstdint>

#include "platform/device/D3D8Types.h"

// Where each component of a vertex lies, in bytes from the vertex start; -1
// when the format does not carry it.
struct VertexLayout {
    bool pretransformed = false;  // XYZRHW: x, y, z, rhw
    int positionFloats = 3;
    int normal = -1;
    int pointSize = -1;
    int diffuse = -1;
    int specular = -1;
    int texCoordCount = 0;
    int texCoord[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
    int texCoordFloats[8] = {2, 2, 2, 2, 2, 2, 2, 2};
    int size = 0;  // bytes of one vertex as the format describes it
};

// Decodes `fvf`; false when it has no usable position (no XYZ or XYZRHW family bits).
bool DecodeVertexFormat(DWORD fvf, VertexLayout& layout);

// Vertices that `primitiveCount` primitives of `type` consume; 0 for an unknown type.
uint32_t VertexCountForPrimitives(D3DPRIMITIVETYPE type, UINT primitiveCount);

// The matrix that carries normals from object to camera space for the row-vector
// transform `m` (its upper 3 x 3): the inverse transpose, row-major. A singular
// matrix gives the identity.
void NormalMatrix(const D3DMATRIX& m, float out[9]);

struct ViewRect {
    int x, y, width, height;
};

// The largest rectangle of the picture's aspect ratio centred in the target:
// where the picture goes in the output, with black bars beside it.
ViewRect FitPicture(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight);
