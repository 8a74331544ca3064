// The .x reader: encodings, mesh assembly and malformed input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "platform/xfile/XFile.h"
#include "support/Bytes.h"

namespace {

// Writes a binary .x file token by token.
class BinaryWriter {
public:
    explicit BinaryWriter(bool doubles = false) : doubles_(doubles) {
        out_ = doubles ? "xof 0303bin 0064" : "xof 0303bin 0032";
    }
    BinaryWriter& Name(const std::string& s) {
        Token(1);
        U32(uint32_t(s.size()));
        out_ += s;
        return *this;
    }
    BinaryWriter& String(const std::string& s) {
        Token(2);
        U32(uint32_t(s.size()));
        out_ += s;
        Token(20);
        return *this;
    }
    BinaryWriter& Integer(uint32_t v) {
        Token(3);
        U32(v);
        return *this;
    }
    BinaryWriter& Ints(const std::vector<uint32_t>& v) {
        Token(6);
        U32(uint32_t(v.size()));
        for (uint32_t x : v) U32(x);
        return *this;
    }
    BinaryWriter& Floats(const std::vector<double>& v) {
        Token(7);
        U32(uint32_t(v.size()));
        for (double x : v) {
            if (doubles_) {
                Raw(&x, 8);
            } else {
                const float f = float(x);
                Raw(&f, 4);
            }
        }
        return *this;
    }
    BinaryWriter& Open() { return Token(10); }
    BinaryWriter& Close() { return Token(11); }
    BinaryWriter& Semi() { return Token(20); }
    BinaryWriter& Token(uint16_t t) {
        Raw(&t, 2);
        return *this;
    }
    BinaryWriter& U32(uint32_t v) {
        Raw(&v, 4);
        return *this;
    }
    const std::string& str() const { return out_; }

private:
    void Raw(const void* p, size_t n) { out_.append(static_cast<const char*>(p), n); }
    bool doubles_;
    std::string out_;
};

void ExpectSameMesh(const XMesh& a, const XMesh& b) {
    EXPECT_EQ(a.geometry.fvf, b.geometry.fvf);
    ASSERT_EQ(a.geometry.vertices.size(), b.geometry.vertices.size());
    for (size_t i = 0; i < a.geometry.vertices.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(&a.geometry.vertices[i], &b.geometry.vertices[i], sizeof(MeshVertex))) << "vertex " << i;
    }
    EXPECT_EQ(a.geometry.indices, b.geometry.indices);
    ASSERT_EQ(a.geometry.subsets.size(), b.geometry.subsets.size());
    for (size_t s = 0; s < a.geometry.subsets.size(); ++s) {
        ASSERT_EQ(a.geometry.subsets[s].size(), b.geometry.subsets[s].size());
        for (size_t r = 0; r < a.geometry.subsets[s].size(); ++r) {
            EXPECT_EQ(a.geometry.subsets[s][r].firstIndex, b.geometry.subsets[s][r].firstIndex);
            EXPECT_EQ(a.geometry.subsets[s][r].indexCount, b.geometry.subsets[s][r].indexCount);
        }
    }
    ASSERT_EQ(a.materials.size(), b.materials.size());
    for (size_t m = 0; m < a.materials.size(); ++m) {
        EXPECT_EQ(0, std::memcmp(&a.materials[m].material, &b.materials[m].material, sizeof(D3DMATERIAL8)));
        EXPECT_EQ(a.materials[m].textureFilename, b.materials[m].textureFilename);
    }
}

// Expects subset `s` of `m` to be the one range of `count` indices from `first`.
void ExpectSubset(const XMesh& m, size_t s, uint32_t first, uint32_t count) {
    ASSERT_LT(s, m.geometry.subsets.size());
    ASSERT_EQ(m.geometry.subsets[s].size(), 1u) << "subset " << s;
    EXPECT_EQ(m.geometry.subsets[s][0].firstIndex, first) << "subset " << s;
    EXPECT_EQ(m.geometry.subsets[s][0].indexCount, count) << "subset " << s;
}

void ExpectColour(const D3DCOLORVALUE& c, float r, float g, float b, float a) {
    EXPECT_FLOAT_EQ(c.r, r);
    EXPECT_FLOAT_EQ(c.g, g);
    EXPECT_FLOAT_EQ(c.b, b);
    EXPECT_FLOAT_EQ(c.a, a);
}

void ExpectVec(const float* v, float x, float y, float z) {
    EXPECT_FLOAT_EQ(v[0], x);
    EXPECT_FLOAT_EQ(v[1], y);
    EXPECT_FLOAT_EQ(v[2], z);
}

// One frame moved 2 along z; a quad (material 1) and a triangle (material 0)
// share two vertices with different normals; UVs, sparse colours, a texture.
const char* const kShapeText = R"(xof 0303txt 0032
Frame Root {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,0,2,1;; }
 Mesh Shape {
  5;
  0.0;0.0;0.0;, 1.0;0.0;0.0;, 1.0;1.0;0.0;, 0.0;1.0;0.0;, -1.0;0.5;0.0;;
  2;
  4;0,1,2,3;, 3;0,3,4;;
  MeshNormals { 2; 0.0;0.0;-1.0;, 0.0;2.0;0.0;; 2; 4;0,0,0,0;, 3;1,1,1;; }
  MeshTextureCoords { 5; 0.0;0.0;, 1.0;0.0;, 1.0;1.0;, 0.0;1.0;, 0.5;0.5;; }
  MeshVertexColors { 2; 0;0.0;0.0;1.0;0.1;;, 4;1.0;0.5;0.0;1.0;;; }
  MeshMaterialList {
   2; 2; 1, 0;;
   Material Red { 1.0;0.0;0.0;1.0;; 8.0; 0.5;0.5;0.5;; 0.0;0.0;0.0;; }
   Material Tex { 1.0;1.0;1.0;0.5;; 0.0; 0.0;0.0;0.0;; 0.25;0.25;0.25;;
    TextureFilename { "tex\\Checker.png"; }
   }
  }
 }
}
)";

std::string ShapeBinary(bool doubles) {
    BinaryWriter w(doubles);
    w.Name("Frame").Name("Root").Open();
    w.Name("FrameTransformMatrix").Open().Floats({1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 2, 1}).Close();
    w.Name("Mesh").Name("Shape").Open().Ints({5}).Floats({0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, -1, 0.5, 0});
    w.Ints({2, 4, 0, 1, 2, 3, 3, 0, 3, 4});
    w.Name("MeshNormals").Open().Ints({2}).Floats({0, 0, -1, 0, 2, 0}).Ints({2, 4, 0, 0, 0, 0, 3, 1, 1, 1}).Close();
    w.Name("MeshTextureCoords").Open().Ints({5}).Floats({0, 0, 1, 0, 1, 1, 0, 1, 0.5, 0.5}).Close();
    // A single INTEGER token among the lists, as some writers produce.
    w.Name("MeshVertexColors").Open().Ints({2, 0}).Floats({0, 0, 1, 0.1}).Integer(4).Semi();
    w.Floats({1, 0.5, 0, 1}).Close();
    w.Name("MeshMaterialList").Open().Ints({2, 2, 1, 0});
    w.Name("Material").Name("Red").Open().Floats({1, 0, 0, 1, 8, 0.5, 0.5, 0.5, 0, 0, 0}).Close();
    w.Name("Material").Name("Tex").Open().Floats({1, 1, 1, 0.5, 0, 0, 0, 0, 0.25, 0.25, 0.25});
    w.Name("TextureFilename").Open().String("tex\\\\Checker.png").Close().Close();
    w.Close().Close().Close();
    return w.str();
}

TEST(XFile, ShapeLoadsWithSplitNormalsSortedSubsetsAndMaterials) {
    const XMesh m = ParseXFile(kShapeText, "shape.x");
    EXPECT_EQ(m.geometry.fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    // Vertices 0 and 3 meet the triangle's normal again and are duplicated at the end.
    ASSERT_EQ(m.geometry.vertices.size(), 7u);
    const auto& v = m.geometry.vertices;
    ExpectVec(v[0].position, 0, 0, 2);
    ExpectVec(v[4].position, -1, 0.5f, 2);
    ExpectVec(v[0].normal, 0, 0, -1);
    ExpectVec(v[4].normal, 0, 1, 0);  // normalised on load
    ExpectVec(v[5].position, 0, 0, 2);
    ExpectVec(v[5].normal, 0, 1, 0);
    ExpectVec(v[6].position, 0, 1, 2);
    EXPECT_FLOAT_EQ(v[6].uv[1], 1.0f);
    EXPECT_EQ(v[0].diffuse, 0x1a0000ffu);
    EXPECT_EQ(v[5].diffuse, 0x1a0000ffu);  // duplicates keep the colour
    EXPECT_EQ(v[4].diffuse, 0xffff8000u);
    EXPECT_EQ(v[1].diffuse, 0x00ffffffu);  // not listed
    // The triangle (material 0) sorts before the quad (material 1).
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{5, 6, 4, 0, 1, 2, 0, 2, 3}));
    ASSERT_EQ(m.geometry.subsets.size(), 2u);
    ExpectSubset(m, 0, 0, 3);
    ExpectSubset(m, 1, 3, 6);
    ASSERT_EQ(m.materials.size(), 2u);
    const D3DMATERIAL8& red = m.materials[0].material;
    ExpectColour(red.Diffuse, 1, 0, 0, 1);
    ExpectColour(red.Specular, 0.5f, 0.5f, 0.5f, 1);
    ExpectColour(red.Ambient, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(red.Power, 8);
    EXPECT_TRUE(m.materials[0].textureFilename.empty());
    ExpectColour(m.materials[1].material.Diffuse, 1, 1, 1, 0.5f);
    ExpectColour(m.materials[1].material.Emissive, 0.25f, 0.25f, 0.25f, 1);
    EXPECT_EQ(m.materials[1].textureFilename, "tex\\\\Checker.png");  // raw, doubled backslashes kept
}

TEST(XFile, EveryEncodingLoadsTheSameMesh) {
    const XMesh text = ParseXFile(kShapeText, "shape.x");
    ExpectSameMesh(text, ParseXFile(ShapeBinary(false), "shape32.x"));
    ExpectSameMesh(text, ParseXFile(ShapeBinary(true), "shape64.x"));
    ExpectSameMesh(text, ParseXFile(CompressX(kShapeText, 32768), "shape-tzip.x"));
    // Small blocks force matches that reach back into earlier blocks.
    ExpectSameMesh(text, ParseXFile(CompressX(kShapeText, 40), "shape-tzip-blocks.x"));
    ExpectSameMesh(text, ParseXFile(CompressX(ShapeBinary(false), 37), "shape-bzip.x"));
    std::string text64 = kShapeText;
    text64.replace(12, 4, "0064");  // the float size does not matter in text
    ExpectSameMesh(text, ParseXFile(text64, "shape-text64.x"));
}

// The hand-written example of the format notes, with its stated result.
const char* const kExample = R"(xof 0303txt 0032
# Hand-written example: one frame, one mesh, two materials.
// Template declarations are optional for the standard templates.
Header { 1; 0; 1; }
Material Red {            // named top-level material, used by reference below
 1.000000;0.000000;0.000000;1.000000;;   // faceColor RGBA  -> Diffuse
 8.000000;                               // power           -> Power
 0.500000;0.500000;0.500000;;            // specularColor   -> Specular
 0.000000;0.000000;0.000000;;            // emissiveColor   -> Emissive
}
Frame Root {
 FrameTransformMatrix { 1.000000,0.000000,0.000000,0.000000, 0.000000,1.000000,0.000000,0.000000,
  0.000000,0.000000,1.000000,0.000000, 0.000000,0.000000,5.000000,1.000000;; }  // row 4 = translation (0,0,5)
 Mesh WallAndFloor {
  6;                       // nVertices
  -1.000000;2.000000;0.000000;, 1.000000;2.000000;0.000000;, 1.000000;0.000000;0.000000;,
  -1.000000;0.000000;0.000000;, 1.000000;0.000000;-2.000000;, -1.000000;0.000000;-2.000000;;
  2;                       // nFaces (two quads)
  4;0,1,2,3;,              // wall, clockwise seen from -z
  4;3,2,4,5;;              // floor, clockwise seen from +y
  MeshNormals { 2; 0.000000;0.000000;-1.000000;, 0.000000;1.000000;0.000000;; 2; 4;0,0,0,0;, 4;1,1,1,1;; }
  MeshTextureCoords { 6; 0.000000;0.000000;, 1.000000;0.000000;, 1.000000;0.000000;,
   0.000000;0.000000;, 1.000000;1.000000;, 0.000000;1.000000;; }
  MeshMaterialList {
   2;                      // nMaterials
   2;                      // nFaceIndexes (= nFaces)
   0,
   1;;
   { Red }                 // material 0: reference to the top-level object
   Material Checker {      // material 1: inline, textured
    1.000000;1.000000;1.000000;1.000000;; 0.000000; 0.000000;0.000000;0.000000;; 0.000000;0.000000;0.000000;;
    TextureFilename { "checker.png"; }
   }
  }
 }
}
)";

TEST(XFile, ReferenceExampleGivesItsStatedResult) {
    const XMesh m = ParseXFile(kExample, "example.x");
    EXPECT_EQ(m.geometry.fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    const float expected[8][8] = {
        {-1, 2, 5, 0, 0, -1, 0, 0}, {1, 2, 5, 0, 0, -1, 1, 0}, {1, 0, 5, 0, 0, -1, 1, 0}, {-1, 0, 5, 0, 0, -1, 0, 0},
        {1, 0, 3, 0, 1, 0, 1, 1},   {-1, 0, 3, 0, 1, 0, 0, 1}, {-1, 0, 5, 0, 1, 0, 0, 0}, {1, 0, 5, 0, 1, 0, 1, 0},
    };
    ASSERT_EQ(m.geometry.vertices.size(), 8u);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        const MeshVertex& v = m.geometry.vertices[size_t(i)];
        ExpectVec(v.position, expected[i][0], expected[i][1], expected[i][2]);
        ExpectVec(v.normal, expected[i][3], expected[i][4], expected[i][5]);
        EXPECT_FLOAT_EQ(v.uv[0], expected[i][6]);
        EXPECT_FLOAT_EQ(v.uv[1], expected[i][7]);
    }
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 6, 7, 4, 6, 4, 5}));
    ASSERT_EQ(m.materials.size(), 2u);
    ExpectSubset(m, 0, 0, 6);
    ExpectSubset(m, 1, 6, 6);
    const D3DMATERIAL8& red = m.materials[0].material;
    ExpectColour(red.Diffuse, 1, 0, 0, 1);
    ExpectColour(red.Specular, 0.5f, 0.5f, 0.5f, 1);
    ExpectColour(red.Emissive, 0, 0, 0, 1);
    EXPECT_FLOAT_EQ(red.Power, 8);
    EXPECT_EQ(m.materials[0].textureFilename, "");
    ExpectColour(m.materials[1].material.Diffuse, 1, 1, 1, 1);
    ExpectColour(m.materials[1].material.Specular, 0, 0, 0, 1);
    EXPECT_EQ(m.materials[1].textureFilename, "checker.png");
}

TEST(XFile, FrameMatricesApplyInOrderAndNestChildFirst) {
    const XMesh m = ParseXFile(R"(xof 0303txt 0032
Frame Parent {
 Mesh Untouched { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;; }
 FrameTransformMatrix { 0,0,-1,0, 0,1,0,0, 1,0,0,0, 0,0,0,1;; }
 Mesh Rotated { 3; 1;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;;
  MeshNormals { 1; 1;0;0;; 1; 3;0,0,0;; } }
 Frame Child {
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 10,0,0,1;; }
  Mesh Inner { 3; 0;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;; }
  FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,3,0,1;; }
  Mesh Second { 3; 0;0;0;, 0;1;0;, 0;0;1;; 1; 3;0,1,2;; }
 }
}
)",
                               "frames.x");
    ASSERT_EQ(m.geometry.vertices.size(), 12u);
    const auto& v = m.geometry.vertices;
    ExpectVec(v[0].position, 1, 0, 0);  // before any matrix: unchanged
    // Rotation of 90 degrees about y: x goes to -z.
    ExpectVec(v[3].position, 0, 0, -1);
    ExpectVec(v[5].position, 1, 0, 0);
    ExpectVec(v[3].normal, 0, 0, -1);  // normals turn without the translation
    // The child's own translation comes first, then the parent's rotation.
    ExpectVec(v[6].position, 0, 0, -10);
    // A second matrix in a frame multiplies onto the first.
    ExpectVec(v[9].position, 0, 3, -10);
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
}

TEST(XFile, MeshesMergeWithOffsetIndicesAndAttributes) {
    const XMesh m = ParseXFile(R"(xof 0303txt 0032
Mesh A { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 2; 1; 1;;
  Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }
  Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } } }
Mesh B { 4; 0;0;0;, 1;0;0;, 1;1;0;, 0;1;0;; 2; 3;0,1,2;, 3;0,2,3;;
 MeshMaterialList { 1; 2; 0,0;; Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; } } }
Mesh C { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;2,1,0;; }
)",
                               "merge.x");
    ASSERT_EQ(m.materials.size(), 4u);
    EXPECT_FLOAT_EQ(m.materials[0].material.Diffuse.r, 1);
    EXPECT_FLOAT_EQ(m.materials[1].material.Diffuse.g, 1);
    EXPECT_FLOAT_EQ(m.materials[2].material.Diffuse.b, 1);
    // A mesh without a material list beside others gets a grey default of its own.
    EXPECT_FLOAT_EQ(m.materials[3].material.Diffuse.r, 0.5f);
    EXPECT_EQ(m.geometry.vertices.size(), 10u);
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 3, 5, 6, 9, 8, 7}));
    ASSERT_EQ(m.geometry.subsets.size(), 4u);
    EXPECT_TRUE(m.geometry.subsets[0].empty());  // material 0 of A is used by no face
    ExpectSubset(m, 1, 0, 3);
    ExpectSubset(m, 2, 3, 6);
    ExpectSubset(m, 3, 9, 3);
}

TEST(XFile, FileWithoutMaterialsGetsOneGreyDefault) {
    const XMesh m = ParseXFile("xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n", "plain.x");
    EXPECT_EQ(m.geometry.fvf, D3DFVF_XYZ);  // no normals are made up
    ExpectVec(m.geometry.vertices[0].normal, 0, 0, 0);
    ASSERT_EQ(m.materials.size(), 1u);
    const D3DMATERIAL8& d = m.materials[0].material;
    EXPECT_FLOAT_EQ(d.Diffuse.r, 0.5f);
    EXPECT_FLOAT_EQ(d.Diffuse.a, 0);
    EXPECT_FLOAT_EQ(d.Specular.b, 0.5f);
    EXPECT_FLOAT_EQ(d.Specular.a, 0);
    EXPECT_FLOAT_EQ(d.Ambient.a, 0);
    EXPECT_FLOAT_EQ(d.Emissive.a, 0);
    EXPECT_FLOAT_EQ(d.Power, 0);
    ASSERT_EQ(m.geometry.subsets.size(), 1u);
    ExpectSubset(m, 0, 0, 3);
}

TEST(XFile, CubeWithFaceNormalsSplitsToTwentyFourVertices) {
    const XMesh m = ParseXFile(R"(xof 0303txt 0032
Mesh Cube {
 8; -1;-1;-1;, -1;1;-1;, 1;1;-1;, 1;-1;-1;, -1;-1;1;, -1;1;1;, 1;1;1;, 1;-1;1;;
 6; 4;0,1,2,3;, 4;7,6,5,4;, 4;4,5,1,0;, 4;3,2,6,7;, 4;1,5,6,2;, 4;4,0,3,7;;
 MeshNormals { 6; 0;0;-1;, 0;0;1;, -1;0;0;, 1;0;0;, 0;1;0;, 0;-1;0;;
  6; 4;0,0,0,0;, 4;1,1,1,1;, 4;2,2,2,2;, 4;3,3,3,3;, 4;4,4,4,4;, 4;5,5,5,5;; }
}
)",
                               "cube.x");
    ASSERT_EQ(m.geometry.vertices.size(), 24u);
    ASSERT_EQ(m.geometry.indices.size(), 36u);
    // Every triangle's corners carry the normal of its face, and each position
    // appears exactly three times.
    const float normals[6][3] = {{0, 0, -1}, {0, 0, 1}, {-1, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, -1, 0}};
    for (size_t t = 0; t < 12; ++t) {
        for (size_t c = 0; c < 3; ++c) {
            const MeshVertex& v = m.geometry.vertices[m.geometry.indices[t * 3 + c]];
            ExpectVec(v.normal, normals[t / 2][0], normals[t / 2][1], normals[t / 2][2]);
        }
    }
    // The originals keep their places: vertex 0 took the normal of the first face.
    ExpectVec(m.geometry.vertices[0].position, -1, -1, -1);
    ExpectVec(m.geometry.vertices[0].normal, 0, 0, -1);
    EXPECT_EQ(m.geometry.indices[6], 7u);
    EXPECT_EQ(m.geometry.indices[12], 8u);  // vertex 4 met with a new normal: the first duplicate
    ExpectVec(m.geometry.vertices[8].position, -1, -1, 1);
}

TEST(XFile, PolygonsBecomeFansKeepingTheirWinding) {
    const XMesh m = ParseXFile(R"(xof 0303txt 0032
Mesh { 9; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;, 5;0;0;, 6;0;0;, 6;1;0;, 5;1;0;;
 2; 5;0,1,2,3,4;, 4;5,6,7,8;; }
)",
                               "polygons.x");
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4, 5, 6, 7, 5, 7, 8}));
}

TEST(XFile, ReferencesResolveByNameIgnoringCase) {
    const XMesh m = ParseXFile(R"(xof 0303txt 0032
Material Shiny { 1;1;0;1;; 20; 1;1;1;; 0;0;0;; TextureFileName { "shiny.tga"; } }
Material dull { <10000000-2000-3000-4000-500000000000> 0.2;0.2;0.2;1;; 0; 0;0;0;; 0;0;0;; }
Mesh Tri { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 3; 1; 1;; { SHINY } { Dull } { <10000000-2000-3000-4000-500000000000> } } }
Frame F {
 FrameTransformMatrix { 1,0,0,0, 0,1,0,0, 0,0,1,0, 0,7,0,1;; }
 { tri }
}
)",
                               "refs.x");
    // The top-level mesh loads as itself and again through the frame's reference.
    ASSERT_EQ(m.geometry.vertices.size(), 6u);
    ExpectVec(m.geometry.vertices[4].position, 1, 7, 0);
    ASSERT_EQ(m.materials.size(), 6u);
    EXPECT_EQ(m.materials[0].textureFilename, "shiny.tga");
    EXPECT_FLOAT_EQ(m.materials[0].material.Power, 20);
    EXPECT_FLOAT_EQ(m.materials[1].material.Diffuse.r, 0.2f);
    EXPECT_FLOAT_EQ(m.materials[2].material.Diffuse.r, 0.2f);
    EXPECT_EQ(m.geometry.subsets[1].size(), 1u);
    EXPECT_EQ(m.geometry.subsets[4].size(), 1u);
}

TEST(XFile, SeparatorAndNumberVariantsLoadAlike) {
    const XMesh canonical =
        ParseXFile("xof 0303txt 0032\nMesh { 3; 0.5;0;0;, 1;0;0;, 0;1.5;0;; 1; 3;0,1,2;; }\n", "canonical.x");
    const char* const variants[] = {
        // Data right after the header, no newline.
        "xof 0303txt 0032Mesh{3;0.5;0;0;,1;0;0;,0;1.5;0;;1;3;0,1,2;;}",
        // ';' between array elements.
        "xof 0303txt 0032\nMesh { 3; 0.5; 0; 0; 1; 0; 0; 0; 1.5; 0; 1; 3; 0; 1; 2; }\n",
        // ',' everywhere.
        "xof 0303txt 0032\nMesh { 3, 0.5, 0, 0, 1, 0, 0, 0, 1.5, 0, 1, 3, 0, 1, 2, }\n",
        // Runs of ';' and a ',' after them, stray ';' before children.
        "xof 0303txt 0032\nMesh {3;;;;; 0.5;;;0;;0;;;;, 1;0;0;;;, 0;1.5;0;;;;1;;3;;0,1,2;;;;;; ;;}\n",
        // Comments, CRLF, and other ways to write numbers.
        "xof 0303txt 0032\r\n# comment\r\nMesh m-1 { // c\r\n 3; +.5;0.;0e0;, 1e+000;0.0;0;, 0;15e-1;0;;\r\n"
        " 1; 3;0,1,2;; }\r\n",
        // Templates are skipped, unknown objects and a name made of digits too.
        "xof 0303txt 0032\ntemplate Vector { <3D82AB5E-62DA-11CF-AB39-0020AF71E433> FLOAT x; FLOAT y; FLOAT z; }\n"
        "Unknown { 1; \"}\"; Nested { 2; } }\nFrame 01 { Mesh { 3; 0.5;0;0;, 1;0;0;, 0;1.5;0;; 1; 3;0,1,2;; "
        "VertexDuplicationIndices { 3; 3; 0, 1, 2;; } } }\n",
    };
    for (const char* text : variants) {
        SCOPED_TRACE(text);
        ExpectSameMesh(canonical, ParseXFile(text, "variant.x"));
    }
}

// Expects ParseXFile to fail with a ContentError whose message holds every fragment.
void ExpectFailure(const std::string& contents, std::initializer_list<const char*> fragments) {
    try {
        ParseXFile(contents, "bad.x");
        ADD_FAILURE() << "no error for:\n" << contents;
    } catch (const ContentError& e) {
        const std::string message = e.what();
        EXPECT_EQ(message.rfind("bad.x: ", 0), 0u) << message;
        for (const char* f : fragments) EXPECT_NE(message.find(f), std::string::npos) << message << " lacks " << f;
    }
}

TEST(XFile, MalformedTextFailsWithPlace) {
    ExpectFailure("xof 03", {"16-byte header"});
    ExpectFailure("xOf 0303txt 0032Mesh{}", {"bad magic"});
    ExpectFailure("xof 0102txt 0032", {"version 0102"});
    ExpectFailure("xof 0303cmp 0032", {"format 'cmp '"});
    ExpectFailure("xof 0303txt 0050", {"float size 0050"});
    ExpectFailure("xof 0303txt 0032\nHeader { 1; 0; 1; }\n", {"no mesh"});
    ExpectFailure("xof 0303txt 0032\nMesh { 0; 0;; }\n", {"no mesh"});
    const std::string tri = "Mesh {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n";
    ExpectFailure("xof 0303txt 0032\n" + tri + "3;0,1,7;;\n}\n", {"line 6, column 7", "uses vertex 7 of 3"});
    ExpectFailure("xof 0303txt 0032\n" + tri + "2;0,1;;\n}\n", {"line 6, column 1", "has 2 corners"});
    ExpectFailure("xof 0303txt 0032\n" + tri + "3;0,1,2;;\n", {"'}' missing"});
    ExpectFailure("xof 0303txt 0032\nMesh { 4000000000; 0;0;0;; }", {"line 2", "vertex count 4000000000 is more"});
    ExpectFailure("xof 0303txt 0032\nMesh { 1; 0;0;0;; 99999999999; }", {"out of range"});
    ExpectFailure("xof 0303txt 0032\nMesh { 3.5; 0;0;0;; }", {"expected an integer (vertex count)"});
    ExpectFailure("xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 1.#QNAN0;1;0;; 1; 3;0,1,2;; }", {"not a finite number"});
    ExpectFailure("xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 1e999;1;0;; 1; 3;0,1,2;; }", {"out of range"});
    ExpectFailure("xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; "
                  "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"abc; } } }",
                  {"unterminated string"});
    const std::string mesh = "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n";
    ExpectFailure(mesh + "MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }", {"normals list 2 faces"});
    ExpectFailure(mesh + "MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }", {"normal face 0 has 4 corners"});
    ExpectFailure(mesh + "MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; } }", {"normal index 1 of 1"});
    ExpectFailure(mesh + "MeshTextureCoords { 2; 0;0;, 1;1;; } }", {"2 texture coordinates for 3 vertices"});
    ExpectFailure(mesh + "MeshVertexColors { 1; 3;1;1;1;1;;; } }", {"vertex colour for vertex 3"});
    const std::string material = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    ExpectFailure(mesh + "MeshMaterialList { 1; 1; 1;; " + material + " } }", {"uses material 1 of 1"});
    ExpectFailure(mesh + "MeshMaterialList { 2; 1; 0;; " + material + " } }", {"names 2 materials but holds 1"});
    ExpectFailure(mesh + "MeshMaterialList { 1; 1; 0;; { Missing } } }", {"unknown object 'Missing'"});
    ExpectFailure(mesh + "MeshMaterialList { 1; 1; 0;; { } } }", {"empty reference"});
    ExpectFailure(mesh + "12 }", {"unexpected number"});
    std::string deep = "xof 0303txt 0032\n";
    for (int i = 0; i < 100; ++i) deep += "Frame {";
    ExpectFailure(deep, {"nested too deeply"});
    ExpectFailure("xof 0303txt 0032\nFrame Loop { { Loop } }", {"nested too deeply"});
    // References that double at every level would expand without bound.
    std::string doubling = "xof 0303txt 0032\nFrame F0 { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n";
    for (int i = 1; i < 40; ++i) {
        const std::string prev = "F" + std::to_string(i - 1);
        doubling += "Frame F" + std::to_string(i) + " { {" + prev + "} {" + prev + "} }\n";
    }
    ExpectFailure(doubling, {"references expand"});
}

TEST(XFile, MalformedBinaryAndCompressedFailWithOffset) {
    ExpectFailure(BinaryWriter().Token(99).str(), {"byte offset 16", "unknown token 99"});
    ExpectFailure(BinaryWriter().Name("Mesh").Open().Token(6).U32(1000).U32(1).str(),
                  {"byte offset 28", "integer list of 1000 elements runs past the end"});
    ExpectFailure(BinaryWriter().Name("Mesh").Open().Token(1).U32(0xFFFFFFFFu).str(), {"name of 4294967295"});
    ExpectFailure(BinaryWriter().Name("Mesh").str() + "x", {"truncated token"});
    ExpectFailure(BinaryWriter().Name("Mesh").Open().Ints({5000000}).Floats({0, 0, 0}).Close().str(),
                  {"vertex count 5000000 is more than the file holds"});
    ExpectFailure(BinaryWriter().Name("Mesh").Open().Ints({1}).Floats({0, 0}).str(), {"expected a number (vertex)"});

    const std::string good = CompressX(kShapeText, 100);
    std::string badSignature = good;
    badSignature[24] = 'X';
    ExpectFailure(badSignature, {"byte offset 24", "CK signature"});
    std::string badSize = good;
    badSize[16] = char(badSize[16] + 1);
    ExpectFailure(badSize, {"does not match the stated size"});
    ExpectFailure(good.substr(0, good.size() - 3), {"runs past the end"});
    std::string corrupt = good;
    for (size_t i = 26; i < 40; ++i) corrupt[i] = char(0xFF);
    ExpectFailure(corrupt, {"does not decompress"});
    std::string huge = good.substr(0, 16);
    Put32(huge, 0xFFFFFFF0u);
    ExpectFailure(huge, {"too large"});
    // A compressed text error still points at its line.
    ExpectFailure(CompressX("xof 0303txt 0032\nMesh {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n3;0,1,9;;\n}\n", 20),
                  {"line 6, column 7 of the decompressed text"});
}

// Every truncation and a run of seeded byte changes of each encoding either
// loads or fails with a ContentError; nothing else may happen.
TEST(XFile, DamagedFilesNeverCrash) {
    const std::string files[] = {kShapeText, ShapeBinary(false), ShapeBinary(true), CompressX(kShapeText, 64),
                                 CompressX(ShapeBinary(false), 64)};
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    size_t failures = 0;
    for (const std::string& file : files) {
        std::vector<std::string> damaged;
        for (size_t n = 0; n < file.size(); ++n) damaged.push_back(file.substr(0, n));
        for (int i = 0; i < 1500; ++i) {
            std::string copy = file;
            const int changes = 1 + int(next() % 4);
            for (int c = 0; c < changes; ++c) copy[16 + next() % (copy.size() - 16)] = char(next());
            damaged.push_back(copy);
        }
        for (const std::string& bytes : damaged) {
            try {
                ParseXFile(bytes, "damaged.x");
            } catch (const ContentError&) {
                ++failures;
            }
        }
    }
    EXPECT_GT(failures, 0u);
}

}  // namespace
