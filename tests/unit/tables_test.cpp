// The mesh list, loaded from fixture files into a recording device.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>

#include "base/Errors.h"
#include "common/Variables.h"
#include "loading/Loading.h"
#include "loading/m_InitMesh.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"
#include "support/XFileWriter.h"

namespace {

std::string Tga(uint16_t w, uint16_t h) { return TgaHeader(2, w, h, 24) + std::string(size_t(w) * h * 3, '\x7F'); }

// A polygon with `corners` vertices and two materials: the first textured
// (named with a backslash and other letter case than on disk), the second not.
std::string MeshFile(int corners) {
    std::string s = "xof 0303txt 0032\nMesh {\n" + std::to_string(corners) + ";\n";
    for (int i = 0; i < corners; ++i) s += std::to_string(i) + ";" + std::to_string(i * i % 7) + ";0;" + (i + 1 < corners ? "," : ";");
    s += "\n2;\n" + std::to_string(corners) + ";";
    for (int i = 0; i < corners; ++i) s += std::to_string(i) + (i + 1 < corners ? "," : ";,");
    s += "\n3;0,1,2;;\nMeshMaterialList { 2; 2; 0, 1;;\n";
    s += " Material { 0.25;0.5;0.75;1;; 4; 1;1;1;; 0;0;0;; TextureFilename { \"Tex\\\\Skin.TGA\"; } }\n";
    s += " Material { 0.1;0.2;0.3;0.4;; 0; 0;0;0;; 0;0;0;; }\n}\n}\n";
    return s;
}

std::string Slashed(std::string path) {
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

class Tables : public ::testing::Test {
protected:
    void SetUp() override {
        AppPath = dir.path().string();
        device = InstallRecordingDevice();
        D3DX = std::make_unique<D3DX8>();
        LoadingCount = 0;
        stage = std::make_unique<LoadingScreenStage>(*D3DDevice);
    }
    void TearDown() override {
        stage.reset();
        ResetDemoGlobals();
    }
    // Each mesh file gets as many vertices as its slot number plus two.
    void WriteMeshes() {
        for (const MeshListRow& row : MeshList) {
            const std::string folder = Slashed(row.Folder);
            dir.Write(folder + "/" + row.File, MeshFile(row.Slot + 2));
            dir.Write(folder + "/tex/skin.tga", Tga(4, 4));
        }
        dir.Write("data/house/house_03/tex.jpg", Jpeg(8, 8));
    }

    TempDir dir;
    RecordingDevice* device = nullptr;
    std::unique_ptr<LoadingScreenStage> stage;
};

TEST_F(Tables, MeshesLoadIntoTheirOwnSlotsWithMaterialsAndTextures) {
    WriteMeshes();
    m_InitMesh();
    EXPECT_EQ(LoadingCount, 36) << "one loading-screen frame per mesh";
    ASSERT_EQ(Meshes.UBound(), 37);
    std::set<int32_t> slots;
    for (const MeshListRow& row : MeshList) {
        SCOPED_TRACE(row.File);
        EXPECT_TRUE(slots.insert(row.Slot).second) << "two files share slot " << row.Slot;
        const MeshEntry& e = Meshes[row.Slot];
        ASSERT_NE(e.Mesh, nullptr);
        EXPECT_EQ(e.Mesh->GetNumVertices(), uint32_t(row.Slot + 2));
        ASSERT_EQ(e.MaterialCount, 2);
        EXPECT_EQ(0, std::memcmp(&e.Materials[0].Ambient, &e.Materials[0].Diffuse, sizeof(D3DCOLORVALUE)));
        EXPECT_FLOAT_EQ(e.Materials[1].Diffuse.a, 0.4f);
        EXPECT_EQ(e.Textures[1], nullptr);
        ASSERT_NE(e.Textures[0], nullptr);
        // The large house's own texture replaces its first material's.
        const bool house = row.Slot == 21;
        EXPECT_EQ(e.Textures[0]->Width(), house ? 1024u : 512u);
        EXPECT_EQ(e.Textures[0]->LevelCount(), house ? 11u : 10u);
        EXPECT_EQ(e.Textures[0]->Pool(), house ? D3DPOOL_MANAGED : D3DPOOL_DEFAULT);
    }
    EXPECT_EQ(slots.count(0) + slots.count(3), 0u);
    EXPECT_EQ(Meshes[3].Mesh, nullptr);
}

TEST_F(Tables, AMissingFileStopsLoadingAndNamesThePath) {
    WriteMeshes();
    const MeshListRow& row = MeshList[5];
    const std::string path = Slashed(std::string(row.Folder) + "\\" + row.File);
    std::filesystem::remove(dir.path() / path);
    const std::string message = ErrorMessage<ContentError>(m_InitMesh);
    EXPECT_NE(message.find(path), std::string::npos) << message;
    EXPECT_NE(Meshes[MeshList[4].Slot].Mesh, nullptr);
    EXPECT_EQ(Meshes[row.Slot].Mesh, nullptr);
}

// Exporters store the texture's absolute path on the machine they ran on; the
// file is found beside the mesh, a path that resolves keeps winning, and when
// neither holds it the error names both places.
TEST_F(Tables, AForeignTexturePathFallsBackToTheMeshFolder) {
    std::string text = MeshFile(4);
    const std::string stored = "Tex\\\\Skin.TGA";
    text.replace(text.find(stored), stored.size(), "C:\\\\work\\\\models\\\\Bottom.tga");
    dir.Write("m/a.x", XTextToBinary(text, false));
    dir.Write("m/bottom.tga", Tga(8, 8));
    EXPECT_NE(LoadMesh("m", "a.x").Textures[0], nullptr);

    // Where the stored path names a file, that file is the texture, here one that cannot be decoded.
    dir.Write("m/C:/work/models/Bottom.tga", "not an image");
    const std::string undecodable = ErrorMessage<DemoError>([] { LoadMesh("m", "a.x"); });
    EXPECT_NE(undecodable.find("models/Bottom.tga"), std::string::npos) << "the file beside the mesh was taken";

    std::filesystem::remove_all(dir.path() / "m/C:");
    std::filesystem::remove(dir.path() / "m/bottom.tga");
    const std::string missing = ErrorMessage<ContentError>([] { LoadMesh("m", "a.x"); });
    EXPECT_NE(missing.find("m/C:/work/models/Bottom.tga"), std::string::npos) << missing;
    EXPECT_NE(missing.find("m/Bottom.tga"), std::string::npos) << missing;
}

}  // namespace
