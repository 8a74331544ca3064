// The mesh list, the object table and the stand-alone textures, loaded from
// fixture files into a recording device.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cctype>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/Errors.h"
#include "common/Variables.h"
#include "loading/Loading.h"
#include "loading/m_InitMesh.h"
#include "loading/m_InitTextures.h"
#include "loading/m_initObjects.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace {

struct ExpectedMesh {
    int32_t slot;
    const char* path;  // as stored on disk: lower case where the list has capitals
};

// The mesh files in load order, written independently of the loader's list.
const ExpectedMesh kMeshes[36] = {
    {1, "data/house/house_01/house_01.x"},     {2, "data/misc/ground/ground1.x"},
    {4, "data/misc/ground/ground2.x"},         {5, "data/misc/ground/ground3.x"},
    {6, "data/misc/ground/ground4.x"},         {7, "data/misc/ground/ground5.x"},
    {8, "data/misc/ground/ground6.x"},         {9, "data/misc/ground/ground7.x"},
    {10, "data/misc/ground/ground8.x"},        {11, "data/misc/ground/ground9.x"},
    {12, "data/house/house_11/house_11.x"},    {13, "data/house/house_02/house_02.x"},
    {14, "data/house/house_13-17/house_13-17.x"}, {15, "data/misc/bushes/bush_01.x"},
    {16, "data/misc/bushes/bush_02.x"},        {17, "data/house/house_10/house_10.x"},
    {18, "data/house/house_09/house_09.x"},    {19, "data/misc/wall/wall_01.x"},
    {20, "data/house/house_06/house_06.x"},    {21, "data/house/house_03/house_03.x"},
    {22, "data/misc/skysphere/blob.x"},        {23, "data/house/house_08/house_08.x"},
    {24, "data/misc/fountain/fountain_01.x"},  {25, "data/house/house_07/house_07.x"},
    {26, "data/misc/fountain/waterplane.x"},   {27, "data/misc/streetlight/streetlight_01.x"},
    {28, "data/house/house_04/house_04.x"},    {29, "data/misc/ground/hill_01.x"},
    {30, "data/misc/ground/bigplane_01.x"},    {31, "data/misc/wall/wall_02.x"},
    {32, "data/misc/char/gubbe.x"},            {33, "data/cathedral/cathedral.x"},
    {34, "data/cathedral/pelare.x"},           {35, "data/misc/angel/female.x"},
    {36, "data/misc/angel/male.x"},            {37, "data/misc/flower/frame7.x"},
};

// A grey 24-bit TGA.
std::string Tga(uint16_t w, uint16_t h) { return TgaHeader(2, w, h, 24) + std::string(size_t(w) * h * 3, '\x7F'); }

// A polygon with `corners` vertices and two materials: the first textured
// (named with doubled backslashes and other letter case than on disk), the
// second without a texture.
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

class Tables : public ::testing::Test {
protected:
    void SetUp() override {
        AppPath = dir.path().string();
        device = InstallRecordingDevice();
        D3DX = std::make_unique<D3DX8>();
        FlowerIndex[1] = 60;
        LoadingCount = 0;
        stage = std::make_unique<LoadingScreenStage>(*D3DDevice);  // every load reports on it
    }
    void TearDown() override {
        Meshes.Erase();
        Objects.Erase();
        stage.reset();
        TexLogoDds = TexDot = TexBajs = TexTextEfter = nullptr;
        D3DX.reset();
        D3DDevice.reset();
        AppPath.clear();
    }
    void WriteMeshes() {
        for (const ExpectedMesh& m : kMeshes) {
            dir.Write(m.path, MeshFile(m.slot + 2));
            const std::string folder = std::string(m.path).substr(0, std::string(m.path).rfind('/'));
            dir.Write(folder + "/tex/skin.tga", Tga(4, 4));
        }
        dir.Write("data/house/house_03/tex.jpg", Jpeg(8, 8));
    }

    TempDir dir;
    RecordingDevice* device = nullptr;
    std::unique_ptr<LoadingScreenStage> stage;
};

TEST_F(Tables, MeshesLoadIntoTheirSlotsWithMaterialsAndTextures) {
    WriteMeshes();
    m_InitMesh();
    EXPECT_EQ(LoadingCount, 36) << "one loading-screen frame per mesh";
    EXPECT_EQ(device->presents, 36);
    ASSERT_EQ(Meshes.LBound(), 0);
    ASSERT_EQ(Meshes.UBound(), 37);
    for (const int32_t empty : {0, 3}) {
        EXPECT_EQ(Meshes[empty].Mesh, nullptr);
        EXPECT_EQ(Meshes[empty].MaterialCount, 0);
    }
    for (const ExpectedMesh& m : kMeshes) {
        SCOPED_TRACE(m.path);
        const MeshEntry& e = Meshes[m.slot];
        ASSERT_NE(e.Mesh, nullptr);
        EXPECT_EQ(e.Mesh->GetNumVertices(), uint32_t(m.slot + 2));  // the slot's own file
        ASSERT_EQ(e.MaterialCount, 2);
        for (int32_t i = 0; i < 2; ++i) {
            const D3DMATERIAL8& mat = e.Materials[i];
            EXPECT_EQ(0, std::memcmp(&mat.Ambient, &mat.Diffuse, sizeof mat.Diffuse));
        }
        EXPECT_FLOAT_EQ(e.Materials[1].Diffuse.a, 0.4f);
        EXPECT_EQ(e.Textures[1], nullptr);  // no texture named
        ASSERT_NE(e.Textures[0], nullptr);
        if (m.slot == 21) {
            EXPECT_EQ(e.Textures[0]->Width(), 1024u);
            EXPECT_EQ(e.Textures[0]->LevelCount(), 11u);
            EXPECT_EQ(e.Textures[0]->Pool(), D3DPOOL_MANAGED);
        } else {
            EXPECT_EQ(e.Textures[0]->Width(), 512u);
            EXPECT_EQ(e.Textures[0]->Height(), 512u);
            EXPECT_EQ(e.Textures[0]->LevelCount(), 10u);
            EXPECT_EQ(e.Textures[0]->Pool(), D3DPOOL_DEFAULT);
        }
    }
    // Subset i draws material i's faces.
    Meshes[5].Mesh->DrawSubset(1);
    EXPECT_EQ(device->calls.back(), "DrawSubset(1)");
}

TEST_F(Tables, MeshMessagesFollowTheListOrder) {
    ASSERT_EQ(MeshList.size(), 36u);
    std::vector<std::string> messages;
    for (const MeshListRow& row : MeshList) messages.push_back(LoadMeshMessage(row.Folder, row.File));
    EXPECT_EQ(messages.front(), "Loading mesh: data\\house\\house_01\\house_01.x");
    EXPECT_EQ(messages[12], "Loading mesh: data\\house\\house_13-17\\house_13-17.x");
    EXPECT_EQ(messages[31], "Loading mesh: data\\Cathedral\\cathedral.x");
    EXPECT_EQ(messages.back(), "Loading mesh: data\\misc\\flower\\frame7.x");
    for (size_t i = 0; i < 36; ++i) {
        std::string path = std::string(MeshList[i].Folder) + "/" + MeshList[i].File;
        std::replace(path.begin(), path.end(), '\\', '/');
        std::transform(path.begin(), path.end(), path.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        EXPECT_EQ(path, kMeshes[i].path);
        EXPECT_EQ(MeshList[i].Slot, kMeshes[i].slot);
    }
}

TEST_F(Tables, AMissingFileStopsLoadingAndNamesThePath) {
    WriteMeshes();
    std::filesystem::remove(dir.path() / "data/misc/ground/ground5.x");
    try {
        m_InitMesh();
        FAIL() << "no error";
    } catch (const ContentError& e) {
        EXPECT_NE(std::string(e.what()).find("data/misc/ground/ground5.x"), std::string::npos) << e.what();
    }
    EXPECT_NE(Meshes[6].Mesh, nullptr);  // loaded before the failure
    EXPECT_EQ(Meshes[7].Mesh, nullptr);

    std::filesystem::remove_all(dir.path() / "data");
    WriteMeshes();
    std::filesystem::remove(dir.path() / "data/misc/wall/tex/skin.tga");
    try {
        m_InitMesh();
        FAIL() << "no error";
    } catch (const ContentError& e) {
        EXPECT_NE(std::string(e.what()).find("data/misc/wall/tex/Skin.TGA"), std::string::npos) << e.what();
    }
}

TEST_F(Tables, ObjectsFillTheirSlots) {
    m_initObjects();
    EXPECT_EQ(LoadingCount, 55) << "one loading-screen frame per object";
    ASSERT_EQ(Objects.UBound(), 60);
    const std::set<int32_t> empty = {1, 16, 21, 26, 28, 50};
    int filled = 0;
    for (int32_t slot = 0; slot <= 60; ++slot) {
        const SceneObject& o = Objects[slot];
        if (empty.count(slot)) {
            EXPECT_EQ(o.MeshIndex, 0);
            EXPECT_TRUE(o.Name.empty());
            EXPECT_EQ(o.PosX, 0);
            EXPECT_EQ(o.ScaleX, 0);
            EXPECT_EQ(o.ScaleZ, 0);
        } else {
            EXPECT_FALSE(o.Name.empty()) << slot;
            ++filled;
        }
    }
    EXPECT_EQ(filled, 55);
    const struct {
        int32_t slot;
        const char* name;
        int32_t mesh;
    } named[] = {{0, "Box", 0},         {5, "Markör", 3},          {17, "Hus 1", 1},
                 {40, "fontänen utan vattenmesh", 24}, {59, "Manlig staty", 35}, {60, "Flower", 37}};
    for (const auto& n : named) {
        EXPECT_EQ(Objects[n.slot].Name, n.name) << n.slot;
        EXPECT_EQ(Objects[n.slot].MeshIndex, n.mesh) << n.slot;
    }
    // Single-precision values exactly as written.
    const struct {
        int32_t slot;
        float SceneObject::*field;
        float value;
    } values[] = {{0, &SceneObject::PosX, -50.0f},     {17, &SceneObject::ScaleY, 2.69f},
                  {59, &SceneObject::RotY, -0.7f},     {58, &SceneObject::ScaleX, 0.1137f},
                  {60, &SceneObject::PosZ, -150.0f},   {6, &SceneObject::RotX, 3.1415927f},
                  {45, &SceneObject::RotY, 3.14f},     {29, &SceneObject::RotY, static_cast<float>(3.14 / 6)}};
    for (const auto& v : values) EXPECT_EQ(Objects[v.slot].*v.field, v.value) << "slot " << v.slot;
    EXPECT_NE(Objects[45].RotY, Objects[6].RotX);
    // Repeated names are separate objects.
    std::vector<int32_t> pillars;
    for (int32_t slot = 0; slot <= 60; ++slot) {
        if (Objects[slot].Name == "Pelare") pillars.push_back(slot);
    }
    EXPECT_EQ(pillars, (std::vector<int32_t>{52, 53, 54, 55, 56, 57}));
    EXPECT_EQ(Objects[3].Name, "Hus 3");
    EXPECT_EQ(Objects[4].Name, "Hus 3");
    EXPECT_NE(Objects[3].PosX, Objects[4].PosX);
    EXPECT_EQ(Objects[41].Name, Objects[42].Name);
    EXPECT_EQ(Objects[48].Name, Objects[49].Name);
}

TEST_F(Tables, TheFlowerGoesWhereFlowerIndexPoints) {
    FlowerIndex[1] = 50;
    m_initObjects();
    EXPECT_EQ(Objects[50].Name, "Flower");
    EXPECT_TRUE(Objects[60].Name.empty());
}

TEST_F(Tables, ObjectMessagesShowTheMeshSlotInCreationOrder) {
    std::vector<std::string> messages;
    for (const ObjectRow& row : ObjectTable) messages.push_back(MakeObjectMessage(row.MeshIndex));
    ASSERT_EQ(messages.size(), 55u);
    const std::vector<std::string> start = {"Creating object: 0", "Creating object: 1", "Creating object: 1",
                                            "Creating object: 1", "Creating object: 2", "Creating object: 4",
                                            "Creating object: 5"};
    EXPECT_EQ(std::vector<std::string>(messages.begin(), messages.begin() + 7), start);
    EXPECT_EQ(messages[16], "Creating object: 14");  // "house_13"
    EXPECT_EQ(messages.back(), "Creating object: 37");
    // MakeObject copies its arguments into the record.
    const SceneObject o = MakeObject(14, 1, 2, 3, 4, 5, 6, 7, 8, 9, "name");
    EXPECT_EQ(o.MeshIndex, 14);
    EXPECT_EQ(o.PosX, 1);
    EXPECT_EQ(o.RotZ, 6);
    EXPECT_EQ(o.ScaleZ, 9);
    EXPECT_EQ(o.Name, "name");
}

TEST_F(Tables, StandAloneTexturesLoadAtTheirSizes) {
    dir.Write("white.tga", Tga(1, 1));
    dir.Write("data/screens/logo.dds", Tga(64, 64));  // the format comes from the contents
    dir.Write("data/misc/fountain/dot.dds", Tga(16, 16));
    dir.Write("logo.jpg", Jpeg(1024, 1024));
    dir.Write("data/bajs.dds", Tga(8, 8));
    dir.Write("text_efter.jpg", Jpeg(100, 60));
    m_InitTextures();
    const std::pair<Direct3DTexture8*, uint32_t> expected[] = {
        {TexWhite.get(), 1},   {TexLogoDds.get(), 256}, {TexDot.get(), 32},
        {TexLogoJpg.get(), 512}, {TexBajs.get(), 512},   {TexTextEfter.get(), 512},
    };
    for (const auto& [texture, size] : expected) {
        ASSERT_NE(texture, nullptr);
        EXPECT_EQ(texture->Width(), size);
        EXPECT_EQ(texture->Height(), size);
        EXPECT_EQ(texture->Pool(), D3DPOOL_MANAGED);
        EXPECT_EQ(texture->LevelCount(), uint32_t(std::bit_width(size)));
    }
    std::filesystem::remove(dir.path() / "data/bajs.dds");
    // A changed file: the same bytes again would share the texture already made.
    dir.Write("data/misc/fountain/dot.dds", Tga(8, 8));
    const auto dot = TexDot;
    EXPECT_THROW(m_InitTextures(), ContentError);
    EXPECT_NE(TexDot, dot);  // textures before the failure were loaded again
}

}  // namespace
