#include <gtest/gtest.h>

#include "common/BoundedArray.h"
#include "common/Common.h"
#include "common/Wrappers.h"
#include "support/TestSupport.h"

namespace {

TEST(Maths, VectorsColoursAndBits) {
    const D3DVECTOR v = MakeVector(1, 2, 3);
    ExpectPoint(v, 1, 2, 3, 0);
    EXPECT_EQ(D3DColorARGB(255, 16, 16, 26), 0xFF10101Au);
    EXPECT_EQ(D3DColorARGB(0, 255, 255, 255), 0x00FFFFFFu);
    // An alpha past 255 keeps only its low byte, as a shift into the top byte does.
    EXPECT_EQ(D3DColorARGB(259, 255, 255, 255) >> 24, 3u);
    EXPECT_EQ(FloatToDWord(1.0f), 0x3F800000u);
    EXPECT_FLOAT_EQ(GetDistance(MakeVector(0, 0, 0), MakeVector(3, 4, 0)), 5.0f);
}

TEST(Maths, RoundingIsHalfToEven) {
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(3.5), 4);
    EXPECT_EQ(RoundHalfEven(-2.5), -2);
    EXPECT_EQ(RoundHalfEven(3.64), 4);
    EXPECT_THROW(RoundHalfEven(3e9), DemoError);
    EXPECT_EQ(RoundToInt16(363.5), 364);
    EXPECT_THROW(RoundToInt16(40000), DemoError);
}

TEST(Maths, LookAtMatchesTheHandComputedMatrix) {
    // Eye at (0, 0, -10) looking at the origin: the view is a translation by +10 in z.
    D3DMATRIX view;
    D3DXMatrixLookAtLH(view, MakeVector(0, 0, -10), MakeVector(0, 0, 0), MakeVector(0, 1, 0));
    const float expected[4][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 10, 1}};
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c) EXPECT_NEAR(view.m[r][c], expected[r][c], 1e-6f) << r << "," << c;
    // Looking along +x from (5, 0, 0): a point ahead lies on +z, one to the left of the view on -x.
    D3DXMatrixLookAtLH(view, MakeVector(5, 0, 0), MakeVector(6, 0, 0), MakeVector(0, 1, 0));
    ExpectPoint(TransformPoint(MakeVector(8, 0, 0), view), 0, 0, 3);
    ExpectPoint(TransformPoint(MakeVector(5, 0, 1), view), -1, 0, 0);
}

TEST(Maths, CatmullRomPassesThroughTheInnerKeys) {
    const D3DVECTOR p0 = MakeVector(0, 0, 0), p1 = MakeVector(1, 2, 0), p2 = MakeVector(2, 0, 5),
                    p3 = MakeVector(3, 3, 3);
    D3DVECTOR out;
    D3DXVec3CatmullRom(out, p0, p1, p2, p3, 0.0f);
    ExpectPoint(out, 1, 2, 0);
    D3DXVec3CatmullRom(out, p0, p1, p2, p3, 1.0f);
    ExpectPoint(out, 2, 0, 5);
    D3DXVec3CatmullRom(out, MakeVector(0, 0, 0), MakeVector(1, 0, 0), MakeVector(2, 0, 0), MakeVector(3, 0, 0),
                       0.5f);
    ExpectPoint(out, 1.5f, 0, 0);
    // Uneven keys: the tangent at each inner key runs from its neighbour before to the one after.
    D3DXVec3CatmullRom(out, p0, p1, p2, p3, 0.5f);
    ExpectPoint(out, 1.5f, 0.9375f, 2.625f);
}

TEST(BoundedArrays, IndicesAreCheckedAgainstTheirBounds) {
    BoundedArray<int32_t> flower("FlowerIndex", 1, 1);
    flower[1] = 60;
    EXPECT_EQ(flower[1], 60);
    try {
        flower[0] = 1;
        FAIL() << "index 0 was accepted";
    } catch (const BoundsError& error) {
        EXPECT_NE(std::string(error.what()).find("FlowerIndex"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("index 0"), std::string::npos);
    }
    EXPECT_THROW(flower[2], BoundsError);
}

TEST(BoundedArrays, GrowableArraysStartEmptyAndKeepElementsWhenGrown) {
    BoundedArray<int32_t> list("DrawList");
    EXPECT_TRUE(IsArrayEmpty(list));
    EXPECT_THROW(list.UBound(), BoundsError);
    list.Redim(0, 0);
    EXPECT_FALSE(IsArrayEmpty(list));
    list[0] = 7;
    list.RedimPreserve(2);
    EXPECT_EQ(list.UBound(), 2);
    EXPECT_EQ(list[0], 7);
    EXPECT_EQ(list[2], 0);
    BoundedArray<int32_t> copy = list;
    copy[0] = 9;
    EXPECT_EQ(list[0], 7) << "copies must not share elements";
}

}  // namespace
