// Vertex-format decoding, primitive counts, the normal matrix and the
// letterbox rectangle of the GL device.
#include <gtest/gtest.h>

#include "common/Wrappers.h"
#include "platform/device/VertexFormat.h"

namespace {

TEST(VertexFormat, DecodesTheDemosFormats) {
    VertexLayout l;
    ASSERT_TRUE(DecodeVertexFormat(0x112, l));
    EXPECT_FALSE(l.pretransformed);
    EXPECT_EQ(l.normal, 12);
    EXPECT_EQ(l.diffuse, -1);
    EXPECT_EQ(l.texCoordCount, 1);
    EXPECT_EQ(l.texCoord[0], 24);
    EXPECT_EQ(l.size, 32);

    // XYZ | DIFFUSE | TEX1 (the particle record) is 0x142.
    ASSERT_TRUE(DecodeVertexFormat(0x142, l));
    EXPECT_FALSE(l.pretransformed);
    EXPECT_EQ(l.normal, -1);
    EXPECT_EQ(l.diffuse, 12);
    EXPECT_EQ(l.texCoord[0], 16);
    EXPECT_EQ(l.size, 24);

    // 0x144 is XYZRHW | DIFFUSE | TEX1.
    ASSERT_TRUE(DecodeVertexFormat(0x144, l));
    EXPECT_TRUE(l.pretransformed);
    EXPECT_EQ(l.diffuse, 16);
    EXPECT_EQ(l.texCoord[0], 20);
    EXPECT_EQ(l.size, 28);

    ASSERT_TRUE(DecodeVertexFormat(0x1C4, l));
    EXPECT_TRUE(l.pretransformed);
    EXPECT_EQ(l.positionFloats, 4);
    EXPECT_EQ(l.diffuse, 16);
    EXPECT_EQ(l.specular, 20);
    EXPECT_EQ(l.texCoord[0], 24);
    EXPECT_EQ(l.size, 32);
}

TEST(VertexFormat, WalksEveryComponentInOrder) {
    VertexLayout l;
    // XYZ | NORMAL | PSIZE | DIFFUSE | SPECULAR | TEX2, set 1 with 3 floats.
    const DWORD fvf = 0x002 | 0x010 | 0x020 | 0x040 | 0x080 | 0x200 | (1u << 18);
    ASSERT_TRUE(DecodeVertexFormat(fvf, l));
    EXPECT_EQ(l.normal, 12);
    EXPECT_EQ(l.pointSize, 24);
    EXPECT_EQ(l.diffuse, 28);
    EXPECT_EQ(l.specular, 32);
    EXPECT_EQ(l.texCoord[0], 36);
    EXPECT_EQ(l.texCoordFloats[0], 2);
    EXPECT_EQ(l.texCoord[1], 44);
    EXPECT_EQ(l.texCoordFloats[1], 3);
    EXPECT_EQ(l.size, 56);

    ASSERT_TRUE(DecodeVertexFormat(0x006 | 0x040, l));  // XYZB1: one blend weight skipped
    EXPECT_EQ(l.diffuse, 16);
    ASSERT_TRUE(DecodeVertexFormat(0x004, l));  // XYZRHW alone, TEX0
    EXPECT_EQ(l.size, 16);
    EXPECT_EQ(l.texCoordCount, 0);
    EXPECT_FALSE(DecodeVertexFormat(0x000 | 0x040, l));
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
    const ViewRect same = FitPicture(1024, 768, 1024, 768);
    EXPECT_EQ(same.x, 0);
    EXPECT_EQ(same.width, 1024);
    const ViewRect wide = FitPicture(1024, 768, 1920, 1080);
    EXPECT_EQ(wide.width, 1440);
    EXPECT_EQ(wide.height, 1080);
    EXPECT_EQ(wide.x, 240);
    EXPECT_EQ(wide.y, 0);
    const ViewRect tall = FitPicture(1024, 768, 1280, 1024);
    EXPECT_EQ(tall.width, 1280);
    EXPECT_EQ(tall.height, 960);
    EXPECT_EQ(tall.y, 32);
    const ViewRect none = FitPicture(1024, 768, 0, 600);
    EXPECT_EQ(none.width, 0);
}

}  // namespace
