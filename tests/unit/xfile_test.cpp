// The .x reader: encodings, mesh assembly and malformed input.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "platform/xfile/XFile.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"
#include "support/XFileWriter.h"

namespace {

// The hand-made .x files kept as fuzz seeds are this reader's fixtures too.
std::string Seed(const char* name) {
    const std::string text = ReadFile(std::filesystem::path(__FILE__).parent_path() / "../fuzz/seeds/xfile" / name);
    EXPECT_FALSE(text.empty()) << name;
    return text;
}

std::array<float, 3> Vec(const float* v) { return {v[0], v[1], v[2]}; }
std::array<float, 4> Colour(const D3DCOLORVALUE& c) { return {c.r, c.g, c.b, c.a}; }
using V3 = std::array<float, 3>;
using C4 = std::array<float, 4>;

// Each material's index ranges as (first, count) pairs.
std::vector<std::vector<std::pair<uint32_t, uint32_t>>> Ranges(const XMesh& m) {
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> out;
    for (const auto& subset : m.geometry.subsets) {
        out.emplace_back();
        for (const IndexRange& r : subset) out.back().emplace_back(r.firstIndex, r.indexCount);
    }
    return out;
}

void ExpectSameMesh(const XMesh& a, const XMesh& b) {
    EXPECT_EQ(a.geometry.fvf, b.geometry.fvf);
    ASSERT_EQ(a.geometry.vertices.size(), b.geometry.vertices.size());
    for (size_t i = 0; i < a.geometry.vertices.size(); ++i) {
        EXPECT_EQ(0, std::memcmp(&a.geometry.vertices[i], &b.geometry.vertices[i], sizeof(MeshVertex))) << "vertex " << i;
    }
    EXPECT_EQ(a.geometry.indices, b.geometry.indices);
    EXPECT_EQ(Ranges(a), Ranges(b));
    ASSERT_EQ(a.materials.size(), b.materials.size());
    for (size_t m = 0; m < a.materials.size(); ++m) {
        EXPECT_EQ(0, std::memcmp(&a.materials[m].material, &b.materials[m].material, sizeof(D3DMATERIAL8)));
        EXPECT_EQ(a.materials[m].textureFilename, b.materials[m].textureFilename);
    }
}

// shape.x: one frame moved 2 along z; a quad (material 1) and a triangle
// (material 0) share two vertices with different normals; UVs, sparse colours.
TEST(XFile, ShapeLoadsWithSplitNormalsSortedSubsetsAndMaterials) {
    const XMesh m = ParseXFile(Seed("shape.x"), "shape.x");
    EXPECT_EQ(m.geometry.fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_DIFFUSE | D3DFVF_TEX1);
    // Vertices 0 and 3 meet the triangle's normal again and are duplicated at the end.
    ASSERT_EQ(m.geometry.vertices.size(), 7u);
    const auto& v = m.geometry.vertices;
    EXPECT_EQ(Vec(v[0].position), (V3{0, 0, 2}));
    EXPECT_EQ(Vec(v[4].position), (V3{-1, 0.5f, 2}));
    EXPECT_EQ(Vec(v[0].normal), (V3{0, 0, -1}));
    EXPECT_EQ(Vec(v[4].normal), (V3{0, 1, 0}));  // normalised on load
    EXPECT_EQ(Vec(v[5].position), (V3{0, 0, 2}));
    EXPECT_EQ(Vec(v[5].normal), (V3{0, 1, 0}));
    EXPECT_EQ(Vec(v[6].position), (V3{0, 1, 2}));
    EXPECT_FLOAT_EQ(v[6].uv[1], 1.0f);
    EXPECT_EQ(v[0].diffuse, 0x1a0000ffu);
    EXPECT_EQ(v[5].diffuse, 0x1a0000ffu);  // duplicates keep the colour
    EXPECT_EQ(v[4].diffuse, 0xffff8000u);
    EXPECT_EQ(v[1].diffuse, 0x00ffffffu);  // not listed
    // The triangle (material 0) sorts before the quad (material 1), and the quad is a fan.
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{5, 6, 4, 0, 1, 2, 0, 2, 3}));
    EXPECT_EQ(Ranges(m), (decltype(Ranges(m)){{{0, 3}}, {{3, 6}}}));
    ASSERT_EQ(m.materials.size(), 2u);
    const D3DMATERIAL8& red = m.materials[0].material;
    EXPECT_EQ(Colour(red.Diffuse), (C4{1, 0, 0, 1}));
    EXPECT_EQ(Colour(red.Specular), (C4{0.5f, 0.5f, 0.5f, 1}));
    EXPECT_EQ(Colour(red.Ambient), (C4{0, 0, 0, 1}));
    EXPECT_FLOAT_EQ(red.Power, 8);
    EXPECT_EQ(Colour(m.materials[1].material.Diffuse), (C4{1, 1, 1, 0.5f}));
    EXPECT_EQ(Colour(m.materials[1].material.Emissive), (C4{0.25f, 0.25f, 0.25f, 1}));
    EXPECT_EQ(m.materials[0].textureFilename, "");
    EXPECT_EQ(m.materials[1].textureFilename, "tex\\\\Checker.png");  // raw, doubled backslashes kept
}

TEST(XFile, EveryEncodingLoadsTheSameMesh) {
    const std::string shape = Seed("shape.x");
    const XMesh text = ParseXFile(shape, "shape.x");
    std::string text64 = shape;
    text64.replace(12, 4, "0064");  // the float size does not matter in text
    const std::pair<const char*, std::string> encodings[] = {
        {"binary, 32-bit floats", XTextToBinary(shape, false)},
        {"binary, 64-bit floats", XTextToBinary(shape, true)},
        {"compressed text", CompressX(shape, 32768)},
        // Small blocks force matches that reach back into earlier blocks.
        {"compressed text, small blocks", CompressX(shape, 40)},
        {"compressed binary", CompressX(XTextToBinary(shape, false), 37)},
        {"text with 64-bit floats", text64},
    };
    for (const auto& [what, bytes] : encodings) {
        SCOPED_TRACE(what);
        ExpectSameMesh(text, ParseXFile(bytes, "shape-other.x"));
    }
}

// example.x is the format notes' hand-written example, with its stated result.
TEST(XFile, ReferenceExampleGivesItsStatedResult) {
    const XMesh m = ParseXFile(Seed("example.x"), "example.x");
    EXPECT_EQ(m.geometry.fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1);
    const float expected[8][8] = {
        {-1, 2, 5, 0, 0, -1, 0, 0}, {1, 2, 5, 0, 0, -1, 1, 0}, {1, 0, 5, 0, 0, -1, 1, 0}, {-1, 0, 5, 0, 0, -1, 0, 0},
        {1, 0, 3, 0, 1, 0, 1, 1},   {-1, 0, 3, 0, 1, 0, 0, 1}, {-1, 0, 5, 0, 1, 0, 0, 0}, {1, 0, 5, 0, 1, 0, 1, 0},
    };
    ASSERT_EQ(m.geometry.vertices.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        const MeshVertex& v = m.geometry.vertices[i];
        const float* e = expected[i];
        EXPECT_EQ(Vec(v.position), (V3{e[0], e[1], e[2]})) << i;
        EXPECT_EQ(Vec(v.normal), (V3{e[3], e[4], e[5]})) << i;
        EXPECT_EQ((std::array<float, 2>{v.uv[0], v.uv[1]}), (std::array<float, 2>{e[6], e[7]})) << i;
    }
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{0, 1, 2, 0, 2, 3, 6, 7, 4, 6, 4, 5}));
    EXPECT_EQ(Ranges(m), (decltype(Ranges(m)){{{0, 6}}, {{6, 6}}}));
    ASSERT_EQ(m.materials.size(), 2u);
    EXPECT_EQ(Colour(m.materials[0].material.Diffuse), (C4{1, 0, 0, 1}));
    EXPECT_EQ(Colour(m.materials[0].material.Specular), (C4{0.5f, 0.5f, 0.5f, 1}));
    EXPECT_FLOAT_EQ(m.materials[0].material.Power, 8);
    EXPECT_EQ(m.materials[0].textureFilename, "");
    EXPECT_EQ(Colour(m.materials[1].material.Specular), (C4{0, 0, 0, 1}));
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
    EXPECT_EQ(Vec(v[0].position), (V3{1, 0, 0}));   // before any matrix: unchanged
    EXPECT_EQ(Vec(v[3].position), (V3{0, 0, -1}));  // 90 degrees about y: x goes to -z
    EXPECT_EQ(Vec(v[5].position), (V3{1, 0, 0}));
    EXPECT_EQ(Vec(v[3].normal), (V3{0, 0, -1}));  // normals turn without the translation
    // The child's own translation comes first, then the parent's rotation.
    EXPECT_EQ(Vec(v[6].position), (V3{0, 0, -10}));
    // A second matrix in a frame multiplies onto the first.
    EXPECT_EQ(Vec(v[9].position), (V3{0, 3, -10}));

    // Two half turns about z that cancel out, the inner one written with -0.0
    // as exporters write it: their product is the identity with negative
    // zeros, and the mesh comes out bit for bit as without a frame (a
    // transform would renormalise the normals; a slanted one changes in its
    // last bits).
    const std::string mesh = "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; MeshNormals { 1; 1;1;1;; 1; 3;0,0,0;; } }";
    const XMesh bare = ParseXFile("xof 0303txt 0032\n" + mesh, "bare.x");
    const XMesh signedZero = ParseXFile(
        "xof 0303txt 0032\nFrame P { FrameTransformMatrix { -1,0,0,0, 0,-1,0,0, 0,0,1,0, 0,0,0,1;; }\n"
        " Frame C { FrameTransformMatrix { -1.0,-0.0,-0.0,-0.0, -0.0,-1.0,-0.0,-0.0, -0.0,-0.0,1.0,-0.0, "
        "-0.0,-0.0,-0.0,1.0;; }\n" + mesh + " } }",
        "signed-zero.x");
    ExpectSameMesh(bare, signedZero);
}

TEST(XFile, MeshesMergeWithOffsetIndicesAndTheirOwnMaterials) {
    const XMesh m = ParseXFile(R"(xof 0303txt 0032
Mesh A { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;
 MeshMaterialList { 2; 1; 1;;
  Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }
  Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } } }
Mesh B { 5; 0;0;0;, 1;0;0;, 2;1;0;, 1;2;0;, 0;1;0;; 1; 5;0,1,2,3,4;;
 MeshMaterialList { 1; 1; 0;; Material { 0;0;1;1;; 0; 0;0;0;; 0;0;0;; } } }
Mesh C { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;2,1,0;; }
)",
                               "merge.x");
    ASSERT_EQ(m.materials.size(), 4u);
    EXPECT_FLOAT_EQ(m.materials[0].material.Diffuse.r, 1);
    EXPECT_FLOAT_EQ(m.materials[1].material.Diffuse.g, 1);
    EXPECT_FLOAT_EQ(m.materials[2].material.Diffuse.b, 1);
    // A mesh without a material list beside others gets a grey default of its own.
    EXPECT_FLOAT_EQ(m.materials[3].material.Diffuse.r, 0.5f);
    EXPECT_EQ(m.geometry.vertices.size(), 11u);
    // The pentagon becomes a fan about its first corner.
    EXPECT_EQ(m.geometry.indices, (std::vector<uint32_t>{0, 1, 2, 3, 4, 5, 3, 5, 6, 3, 6, 7, 10, 9, 8}));
    // Material 0 of A is used by no face.
    EXPECT_EQ(Ranges(m), (decltype(Ranges(m)){{}, {{0, 3}}, {{3, 9}}, {{12, 3}}}));
    // A face list shorter than the faces repeats its last entry.
    const XMesh few = ParseXFile("xof 0303txt 0032\nMesh { 4; 0;0;0;, 1;0;0;, 0;1;0;, 1;1;0;; 2; 3;0,1,2;, 3;1,3,2;;\n"
                                 " MeshMaterialList { 2; 1; 1;; Material { 1;0;0;1;; 0; 0;0;0;; 0;0;0;; }\n"
                                 " Material { 0;1;0;1;; 0; 0;0;0;; 0;0;0;; } } }\n",
                                 "few.x");
    EXPECT_EQ(Ranges(few), (decltype(Ranges(few)){{}, {{0, 6}}}));

    const XMesh plain = ParseXFile("xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; }\n", "plain.x");
    EXPECT_EQ(plain.geometry.fvf, D3DFVF_XYZ);  // no normals are made up
    ASSERT_EQ(plain.materials.size(), 1u);
    const D3DMATERIAL8& grey = plain.materials[0].material;
    EXPECT_EQ(Colour(grey.Diffuse), (C4{0.5f, 0.5f, 0.5f, 0}));
    EXPECT_EQ(Colour(grey.Specular), (C4{0.5f, 0.5f, 0.5f, 0}));
    EXPECT_EQ(Colour(grey.Emissive), (C4{0, 0, 0, 0}));
    EXPECT_EQ(Ranges(plain), (decltype(Ranges(plain)){{{0, 3}}}));
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
    EXPECT_EQ(Vec(m.geometry.vertices[4].position), (V3{1, 7, 0}));
    ASSERT_EQ(m.materials.size(), 6u);
    EXPECT_EQ(m.materials[0].textureFilename, "shiny.tga");
    EXPECT_FLOAT_EQ(m.materials[0].material.Power, 20);
    EXPECT_FLOAT_EQ(m.materials[1].material.Diffuse.r, 0.2f);
    EXPECT_FLOAT_EQ(m.materials[2].material.Diffuse.r, 0.2f);
    EXPECT_EQ(Ranges(m), (decltype(Ranges(m)){{}, {{0, 3}}, {}, {}, {{3, 3}}, {}}));
}

TEST(XFile, SeparatorAndNumberVariantsLoadAlike) {
    const XMesh canonical =
        ParseXFile("xof 0303txt 0032\nMesh { 3; 0.5;0;0;, 1;0;0;, 0;1.5;0;; 1; 3;0,1,2;; }\n", "canonical.x");
    const std::string variants[] = {
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
        // Binary: a single INTEGER token among the lists, as some writers produce.
        XBinaryWriter().Name("Mesh").Open().Integer(3).Floats({0.5, 0, 0, 1, 0, 0, 0, 1.5, 0}).Ints({1, 3}).Integer(0)
            .Ints({1, 2}).Close().str(),
    };
    for (const std::string& bytes : variants) {
        SCOPED_TRACE(bytes);
        ExpectSameMesh(canonical, ParseXFile(bytes, "variant.x"));
    }
}

TEST(XFile, MalformedFilesFailNamingTheFileAndThePlace) {
    const std::string head = "xof 0303txt 0032\n", tri = head + "Mesh {\n3;\n0;0;0;,1;0;0;,0;1;0;;\n1;\n";
    const std::string mesh = head + "Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n";
    const std::string material = "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; }";
    std::string deep = head, doubling = head + "Frame F0 { Mesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;; } }\n";
    for (int i = 0; i < 100; ++i) deep += "Frame {";
    // References that double at every level would expand without bound.
    for (int i = 1; i < 40; ++i) {
        const std::string prev = "F" + std::to_string(i - 1);
        doubling += "Frame F" + std::to_string(i) + " { {" + prev + "} {" + prev + "} }\n";
    }
    const std::string zip = CompressX(Seed("shape.x"), 100);
    std::string badSignature = zip, badSize = zip, corrupt = zip, huge = zip.substr(0, 16);
    badSignature[24] = 'X';
    badSize[16] = char(badSize[16] + 1);
    for (size_t i = 26; i < 40; ++i) corrupt[i] = char(0xFF);
    Put32(huge, 0xFFFFFFF0u);
    const std::string scale = "FrameTransformMatrix { 1e30,0,0,0, 0,1e30,0,0, 0,0,1e30,0, 0,0,0,1;; }";
    const auto bin = [] { return XBinaryWriter().Name("Mesh").Open(); };
    const struct {
        std::string contents;
        std::vector<const char*> fragments;
    } cases[] = {
        {"xof 03", {"16-byte header"}},
        {"xOf 0303txt 0032Mesh{}", {"bad magic"}},
        {"xof 0102txt 0032", {"version 0102"}},
        {"xof 0303cmp 0032", {"format 'cmp '"}},
        {"xof 0303txt 0050", {"float size 0050"}},
        {head + "Header { 1; 0; 1; }\n", {"no mesh"}},
        {head + "Mesh { 0; 0;; }\n", {"no mesh"}},
        {tri + "3;0,1,3;;\n}\n", {"line 6, column 7", "uses vertex 3 of 3"}},
        {tri + "2;0,1;;\n}\n", {"line 6, column 1", "has 2 corners"}},
        {tri + "3;0,1,2;;\n", {"'}' missing"}},
        {head + "Mesh { 4000000000; 0;0;0;; }", {"line 2", "vertex count 4000000000 is more"}},
        {head + "Mesh { 1; 0;0;0;; 99999999999; }", {"out of range"}},
        {head + "Mesh { 3.5; 0;0;0;; }", {"expected an integer (vertex count)"}},
        {head + "Mesh { 3; 0;0;0;, 1;0;0;, 1.#QNAN0;1;0;; 1; 3;0,1,2;; }", {"not a finite number"}},
        {head + "Mesh { 3; 0;0;0;, 1;0;0;, 1e999;1;0;; 1; 3;0,1,2;; }", {"out of range"}},
        {head + "Frame A { " + scale + " Frame B { " + scale + "Mesh { 3; 1;1;1;, 2;1;1;, 1;2;1;; 1; 3;0,1,2;; } } }",
         {"vertex 0 is not a finite number after its frame transforms"}},
        {mesh + "Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"abc; } } }", {"unterminated string"}},
        {mesh + "MeshNormals { 1; 0;0;1;; 2; 3;0,0,0;, 3;0,0,0;; } }", {"normals list 2 faces"}},
        {mesh + "MeshNormals { 1; 0;0;1;; 1; 4;0,0,0,0;; } }", {"normal face 0 has 4 corners"}},
        {mesh + "MeshNormals { 1; 0;0;1;; 1; 3;0,1,0;; } }", {"normal index 1 of 1"}},
        {mesh + "MeshTextureCoords { 2; 0;0;, 1;1;; } }", {"2 texture coordinates for 3 vertices"}},
        {mesh + "MeshVertexColors { 1; 3;1;1;1;1;;; } }", {"vertex colour for vertex 3"}},
        {mesh + "MeshMaterialList { 1; 1; 1;; " + material + " } }", {"uses material 1 of 1"}},
        {mesh + "MeshMaterialList { 2; 1; 0;; " + material + " } }", {"names 2 materials but holds 1"}},
        {mesh + "MeshMaterialList { 1; 1; 0;; { Missing } } }", {"unknown object 'Missing'"}},
        {mesh + "MeshMaterialList { 1; 1; 0;; { } } }", {"empty reference"}},
        {mesh + "12 }", {"unexpected number"}},
        {deep, {"nested too deeply"}},
        {head + "Frame Loop { { Loop } }", {"nested too deeply"}},
        {doubling, {"references expand"}},
        {XBinaryWriter().Token(99).str(), {"byte offset 16", "unknown token 99"}},
        {bin().Token(kXTokenIntegerList).U32(1000).U32(1).str(), {"byte offset 28", "integer list of 1000 elements runs past the end"}},
        {bin().Token(kXTokenName).U32(0xFFFFFFFFu).str(), {"name of 4294967295"}},
        {XBinaryWriter().Name("Mesh").str() + "x", {"truncated token"}},
        {bin().Ints({5000000}).Floats({0, 0, 0}).Close().str(), {"vertex count 5000000 is more than the file holds"}},
        {bin().Ints({1}).Floats({0, 0}).str(), {"expected a number (vertex)"}},
        {badSignature, {"byte offset 24", "CK signature"}},
        {badSize, {"does not match the stated size"}},
        {zip.substr(0, zip.size() - 3), {"runs past the end"}},
        {corrupt, {"does not decompress"}},
        {huge, {"too large"}},
        // A compressed text error still points at its line.
        {CompressX(tri + "3;0,1,9;;\n}\n", 20), {"line 6, column 7 of the decompressed text"}},
    };
    for (const auto& c : cases) {
        const std::string message = ErrorMessage<ContentError>([&] { ParseXFile(c.contents, "bad.x"); });
        EXPECT_EQ(message.rfind("bad.x: ", 0), 0u) << message << "\n" << c.contents;
        for (const char* f : c.fragments) EXPECT_NE(message.find(f), std::string::npos) << message << " lacks " << f;
    }
}

}  // namespace
