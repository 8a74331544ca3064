#include "platform/device/VertexFormat.h"

#include <cmath>

bool DecodeVertexFormat(DWORD fvf, VertexLayout& layout) {
    layout = VertexLayout{};
    int offset = 0;
    switch (fvf & D3DFVF_POSITION_MASK) {
        case D3DFVF_XYZ: offset = 12; break;
        case D3DFVF_XYZRHW:
            layout.pretransformed = true;
            layout.positionFloats = 4;
            offset = 16;
            break;
        // XYZB1..XYZB5: the position followed by 1 to 5 blend weights, which
        // this device does not use but must step over.
        case 0x006: offset = 16; break;
        case 0x008: offset = 20; break;
        case 0x00A: offset = 24; break;
        case 0x00C: offset = 28; break;
        case 0x00E: offset = 32; break;
        default: return false;
    }
    if (fvf & D3DFVF_NORMAL) {
        layout.normal = offset;
        offset += 12;
    }
    if (fvf & D3DFVF_PSIZE) {
        layout.pointSize = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_DIFFUSE) {
        layout.diffuse = offset;
        offset += 4;
    }
    if (fvf & D3DFVF_SPECULAR) {
        layout.specular = offset;
        offset += 4;
    }
    int sets = static_cast<int>((fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT);
    if (sets > 8) sets = 8;
    layout.texCoordCount = sets;
    static constexpr int kFloatsForCode[4] = {2, 3, 4, 1};
    for (int i = 0; i < sets; ++i) {
        layout.texCoord[i] = offset;
        layout.texCoordFloats[i] = kFloatsForCode[(fvf >> (16 + 2 * i)) & 3];
        offset += 4 * layout.texCoordFloats[i];
    }
    layout.size = offset;
    return true;
}

uint32_t VertexCountForPrimitives(D3DPRIMITIVETYPE type, UINT primitiveCount) {
    if (primitiveCount == 0) return 0;
    switch (type) {
        case D3DPT_POINTLIST: return primitiveCount;
        case D3DPT_LINELIST: return primitiveCount * 2;
        case D3DPT_LINESTRIP: return primitiveCount + 1;
        case D3DPT_TRIANGLELIST: return primitiveCount * 3;
        case D3DPT_TRIANGLESTRIP:
        case D3DPT_TRIANGLEFAN: return primitiveCount + 2;
    }
    return 0;
}

void NormalMatrix(const D3DMATRIX& m, float out[9]) {
    const auto& a = m.m;
    // Cofactors of the upper 3 x 3; the inverse transpose is cofactor / det.
    const double c00 = double(a[1][1]) * a[2][2] - double(a[1][2]) * a[2][1];
    const double c01 = double(a[1][2]) * a[2][0] - double(a[1][0]) * a[2][2];
    const double c02 = double(a[1][0]) * a[2][1] - double(a[1][1]) * a[2][0];
    const double c10 = double(a[0][2]) * a[2][1] - double(a[0][1]) * a[2][2];
    const double c11 = double(a[0][0]) * a[2][2] - double(a[0][2]) * a[2][0];
    const double c12 = double(a[0][1]) * a[2][0] - double(a[0][0]) * a[2][1];
    const double c20 = double(a[0][1]) * a[1][2] - double(a[0][2]) * a[1][1];
    const double c21 = double(a[0][2]) * a[1][0] - double(a[0][0]) * a[1][2];
    const double c22 = double(a[0][0]) * a[1][1] - double(a[0][1]) * a[1][0];
    const double det = a[0][0] * c00 + a[0][1] * c01 + a[0][2] * c02;
    if (det == 0.0 || !std::isfinite(det)) {
        const float identity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        for (int i = 0; i < 9; ++i) out[i] = identity[i];
        return;
    }
    const double cof[9] = {c00, c01, c02, c10, c11, c12, c20, c21, c22};
    for (int i = 0; i < 9; ++i) out[i] = static_cast<float>(cof[i] / det);
}

ViewRect FitPicture(int pictureWidth, int pictureHeight, int targetWidth, int targetHeight) {
    if (pictureWidth <= 0 || pictureHeight <= 0 || targetWidth <= 0 || targetHeight <= 0) return {0, 0, 0, 0};
    // Compare target/picture ratios in integers to avoid rounding drift.
    const long long wideness = static_cast<long long>(targetWidth) * pictureHeight;
    const long long tallness = static_cast<long long>(targetHeight) * pictureWidth;
    int width = targetWidth, height = targetHeight;
    if (wideness > tallness) {
        width = static_cast<int>((static_cast<long long>(targetHeight) * pictureWidth + pictureHeight / 2) /
                                 pictureHeight);
    } else if (wideness < tallness) {
        height = static_cast<int>((static_cast<long long>(targetWidth) * pictureHeight + pictureWidth / 2) /
                                  pictureWidth);
    }
    return {(targetWidth - width) / 2, (targetHeight - height) / 2, width, height};
}
