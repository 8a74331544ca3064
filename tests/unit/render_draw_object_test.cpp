// Object drawing and fog set-up against a recording device.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "common/Errors.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "render/m_InitVertexFog.h"
#include "render/r_Render.h"
#include "support/TestSupport.h"

namespace {

constexpr float HalfPi = std::numbers::pi_v<float> / 2;

class DrawObjectTest : public ::testing::Test {
protected:
    void SetUp() override {
        device = InstallRecordingDevice();

        Meshes.Redim(0, 3);
        MeshEntry& entry = Meshes[1];
        ASSERT_EQ(device->CreateMesh(MeshGeometry{}, entry.Mesh), D3D_OK);
        texture = WhiteTexture(*device, 1, 1);
        entry.MaterialCount = 2;
        entry.Textures.Redim(0, 1);
        entry.Textures[0] = texture;  // entry 1 stays empty: the subset is drawn untextured
        entry.Materials.Redim(0, 1);
        entry.Materials[0].Diffuse = {1, 0, 0, 1};
        entry.Materials[1].Diffuse = {0, 0, 1, 1};
        device->calls.clear();
    }
    void TearDown() override {
        D3DDevice.reset();
        Meshes.Erase();
    }

    static SceneObject Placed(float x, float y, float z) {
        SceneObject object;
        object.MeshIndex = 1;
        object.PosX = x;
        object.PosY = y;
        object.PosZ = z;
        object.ScaleX = object.ScaleY = object.ScaleZ = 1;
        return object;
    }

    // Where the world matrix sent to the device puts `p`.
    D3DVECTOR World(const D3DVECTOR& p) const { return TransformPoint(p, device->transforms.at(D3DTS_WORLD)); }

    RecordingDevice* device = nullptr;
    std::shared_ptr<Direct3DTexture8> texture;
};

TEST_F(DrawObjectTest, WorldMatrixComposesScaleRotationsAndTranslationInOrder) {
    DrawObject(Placed(5, -2, 7));
    D3DMATRIX translation;
    D3DXMatrixTranslation(translation, 5, -2, 7);
    const D3DMATRIX& world = device->transforms.at(D3DTS_WORLD);
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) EXPECT_FLOAT_EQ(world.m[r][c], translation.m[r][c]) << r << "," << c;
    }

    SceneObject turned = Placed(10, 0, 0);
    turned.RotY = HalfPi;
    DrawObject(turned);
    ExpectPoint(World({1, 0, 0}), 10, 0, -1);

    SceneObject stretched = Placed(0, 0, 0);
    stretched.ScaleX = 2;
    stretched.RotZ = HalfPi;
    DrawObject(stretched);
    ExpectPoint(World({1, 0, 0}), 0, 2, 0);  // scaled before it is turned

    // Y before X: (1,0,0) turns to (0,0,-1) about Y, then to (0,1,0) about X.
    SceneObject twice = Placed(0, 0, 0);
    twice.RotY = HalfPi;
    twice.RotX = HalfPi;
    DrawObject(twice);
    ExpectPoint(World({1, 0, 0}), 0, 1, 0);

    // X before Z: (0,1,0) turns to (0,0,1) about X and stays there about Z.
    SceneObject xz = Placed(0, 0, 0);
    xz.RotX = HalfPi;
    xz.RotZ = HalfPi;
    DrawObject(xz);
    ExpectPoint(World({0, 1, 0}), 0, 0, 1);
}

TEST_F(DrawObjectTest, DrawsEverySubsetWithItsTextureAndMaterial) {
    DrawObject(Placed(0, 0, 0));
    const std::vector<std::string> expected{"SetTransform(256)", "SetTexture(0,1)", "SetMaterial", "DrawSubset(0)",
                                            "SetTexture(0,0)",   "SetMaterial",     "DrawSubset(1)"};
    EXPECT_EQ(device->calls, expected);
    EXPECT_EQ(device->material.Diffuse.b, 1.0f);
    EXPECT_EQ(device->texture, nullptr);
}

TEST_F(DrawObjectTest, ObjectsWithoutAMeshOrWithAnUnloadedSlotDrawNothing) {
    SceneObject none = Placed(1, 2, 3);
    none.MeshIndex = 0;
    DrawObject(none);
    EXPECT_TRUE(device->calls.empty());

    SceneObject unloaded = Placed(1, 2, 3);
    unloaded.MeshIndex = 3;
    DrawObject(unloaded);
    EXPECT_EQ(device->calls, std::vector<std::string>{"SetTransform(256)"});

    SceneObject outside = Placed(0, 0, 0);
    outside.MeshIndex = 4;
    EXPECT_THROW(DrawObject(outside), BoundsError);
}

TEST_F(DrawObjectTest, FailedDrawStopsWithTheResultCode) {
    device->failWith = D3DERR_INVALIDCALL;
    try {
        DrawObject(Placed(0, 0, 0));
        FAIL() << "no error raised";
    } catch (const ResultError& error) {
        EXPECT_EQ(error.code(), D3DERR_INVALIDCALL);
    }
}

TEST_F(DrawObjectTest, FogSetsItsFiveStatesInOrder) {
    m_InitVertexFog();
    const std::vector<std::string> expected{
        "SetRenderState(28,1)",           // enabled
        "SetRenderState(34,4279242778)",  // 0xFF10101A, the clear colour
        "SetRenderState(140,3)",          // linear, per vertex
        "SetRenderState(36,1133903872)",  // 300.0f = 0x43960000
        "SetRenderState(37,1150681088)",  // 1200.0f = 0x44960000
    };
    EXPECT_EQ(device->calls, expected);
}

}  // namespace
