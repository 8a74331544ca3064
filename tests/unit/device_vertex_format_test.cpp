// Vertex-format decoding, primitive counts, the normal matrix and the
// letterbox rectangle of the GL device.
#include <gtest/gtest.h>

#include <vector>

#include "common/Wrappers.h"
#include "platform/device/VertexFormat.h"

namespace {

// pretransformed, position floats and the offsets of normal, point size,
// diffuse, specular; texture sets, offset of set 0 and the vertex size.
std::vector<int> Layout(DWORD fvf) {
    VertexLayout l;
    if (!DecodeVertexFormat(fvf, l)) return {};
    return {l.pretransformed, l.positionFloats, l.normal, l.pointSize, l.diffuse, l.specular, l.texCoordCount,
            l.texCoord[0], l.size};
}

TEST(VertexFormat, DecodesEveryComponentInOrder) {
    const struct {
        DWORD fvf;
        std::vector<int> layout;
    } cases[] = {
        {0x112, {0, 3, 12, -1, -1, -1, 1, 24, 32}},  // XYZ | NORMAL | TEX1: meshes
        {0x142, {0, 3, -1, -1, 12, -1, 1, 16, 24}},  // XYZ | DIFFUSE | TEX1: particles
        {0x144, {1, 4, -1, -1, 16, -1, 1, 20, 28}},  // XYZRHW | DIFFUSE | TEX1: sprites
        {0x1C4, {1, 4, -1, -1, 16, 20, 1, 24, 32}},  // XYZRHW | DIFFUSE | SPECULAR | TEX1
        // XYZ | NORMAL | PSIZE | DIFFUSE | SPECULAR | TEX2, set 1 with 3 floats.
        {0x002 | 0x010 | 0x020 | 0x040 | 0x080 | 0x200 | (1u << 18), {0, 3, 12, 24, 28, 32, 2, 36, 56}},
        {0x006 | 0x040, {0, 3, -1, -1, 16, -1, 0, -1, 20}},  // XYZB1: one blend weight skipped
        {0x004, {1, 4, -1, -1, -1, -1, 0, -1, 16}},          // XYZRHW alone, TEX0
        {0x040, {}},                                          // no position
    };
    for (const auto& c : cases) EXPECT_EQ(Layout(c.fvf), c.layout) << std::hex << "fvf 0x" << c.fvf;
    VertexLayout l;
    ASSERT_TRUE(DecodeVertexFormat(0x002 | 0x200 | (1u << 18), l));
    EXPECT_EQ(l.texCoord[1], 20);
    EXPECT_EQ(l.texCoordFloats[0], 2);
    EXPECT_EQ(l.texCoordFloats[1], 3);
}

TEST(VertexFormat, VertexCountsPerPrimitiveKind) {
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_POINTLIST, 400), 400u);
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_LINELIST, 3), 6u);
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_LINESTRIP, 3), 4u);
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_TRIANGLELIST, 2), 6u);
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_TRIANGLESTRIP, 2), 4u);
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_TRIANGLEFAN, 2), 4u);
    EXPECT_EQ(VertexCountForPrimitives(D3DPT_TRIANGLEFAN, 0), 0u);
    EXPECT_EQ(VertexCountForPrimitives(static_cast<D3DPRIMITIVETYPE>(0), 5), 0u);
}

// n' = n x N must stay perpendicular to transformed surface directions.
TEST(VertexFormat, NormalMatrixKeepsNormalsPerpendicular) {
    D3DMATRIX scale, rotate, m;
    D3DXMatrixScaling(scale, 2.0f, 0.5f, 3.0f);
    D3DXMatrixRotationY(rotate, 0.7f);
    D3DXMatrixMultiply(m, scale, rotate);
    float n[9];
    NormalMatrix(m, n);
    const float normal[3] = {0.3f, 0.4f, 0.5f};
    const float tangent[3] = {0.5f, 0.0f, -0.3f};  // perpendicular to normal
    float nt[3], tt[3];
    for (int j = 0; j < 3; ++j) {
        nt[j] = normal[0] * n[j] + normal[1] * n[3 + j] + normal[2] * n[6 + j];
        tt[j] = tangent[0] * m.m[0][j] + tangent[1] * m.m[1][j] + tangent[2] * m.m[2][j];
    }
    EXPECT_NEAR(nt[0] * tt[0] + nt[1] * tt[1] + nt[2] * tt[2], 0.0f, 1e-5f);

    D3DMATRIX singular;
    D3DXMatrixScaling(singular, 1.0f, 0.0f, 1.0f);
    NormalMatrix(singular, n);
    EXPECT_EQ(n[0], 1.0f);
    EXPECT_EQ(n[4], 1.0f);
    EXPECT_EQ(n[1], 0.0f);
}

TEST(VertexFormat, PictureFitsWithBarsOnTheLongSide) {
    const struct {
        int targetWidth, targetHeight;
        ViewRect want;
    } cases[] = {{1024, 768, {0, 0, 1024, 768}},
                 {1920, 1080, {240, 0, 1440, 1080}},
                 {1280, 1024, {0, 32, 1280, 960}},
                 {0, 600, {0, 0, 0, 0}}};
    for (const auto& c : cases) {
        const ViewRect r = FitPicture(1024, 768, c.targetWidth, c.targetHeight);
        EXPECT_EQ((std::vector<int>{r.x, r.y, r.width, r.height}),
                  (std::vector<int>{c.want.x, c.want.y, c.want.width, c.want.height}))
            << c.targetWidth << " x " << c.targetHeight;
    }
}

}  // namespace
