// Object drawing and the frame's draw list against a recording device.
#include <gtest/gtest.h>

#include <numbers>

#include "common/Variables.h"
#include "common/Wrappers.h"
#include "render/r_Render.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"

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
    void TearDown() override { ResetDemoGlobals(); }
    static SceneObject Placed(float x, float y, float z, int32_t mesh = 1) {
        SceneObject object;
        object.MeshIndex = mesh;
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

TEST_F(DrawObjectTest, WorldMatrixScalesThenTurnsAboutYXZThenMoves) {
    const struct {
        float rotX, rotY, rotZ, scaleX;
        D3DVECTOR in, out;
    } cases[] = {
        {0, 0, 0, 1, {1, 1, 1}, {6, -1, 8}},
        {0, HalfPi, 0, 1, {1, 0, 0}, {5, -2, 6}},      // about Y, x turns to -z
        {0, 0, HalfPi, 2, {1, 0, 0}, {5, 0, 7}},       // scaled before it is turned
        {HalfPi, HalfPi, 0, 1, {1, 0, 0}, {5, -1, 7}},  // Y before X
        {HalfPi, 0, HalfPi, 1, {0, 1, 0}, {5, -2, 8}},  // X before Z
    };
    for (const auto& c : cases) {
        SceneObject object = Placed(5, -2, 7);
        object.RotX = c.rotX;
        object.RotY = c.rotY;
        object.RotZ = c.rotZ;
        object.ScaleX = c.scaleX;
        DrawObject(object);
        ExpectPoint(World(c.in), c.out.x, c.out.y, c.out.z);
    }
}

TEST_F(DrawObjectTest, DrawsEverySubsetWithItsTextureAndMaterial) {
    DrawObject(Placed(0, 0, 0));
    const std::vector<DeviceCall> expected{{"SetTransform", D3DTS_WORLD}, {"SetTexture", -1, 1}, {"SetMaterial"},
                                           {"DrawSubset", 0},             {"SetTexture", -1, 0}, {"SetMaterial"},
                                           {"DrawSubset", 1}};
    EXPECT_EQ(device->calls, expected);  // each subset is drawn with its own texture and material in force

    device->calls.clear();
    DrawObject(Placed(1, 2, 3, 0));
    EXPECT_TRUE(device->calls.empty()) << "an object without a mesh draws nothing";
}

TEST_F(DrawObjectTest, AFrameDrawsEveryObjectOfTheStepsListThenPresents) {
    LoadingScreenStage stage(*device);
    ManualClock clock;
    SystemClock = &clock;
    clock.tick = 60000;
    startTick = 0;
    TexBajs = TexDot = texture;
    Objects.Redim(0, 9);
    Steps.Redim(0, 0);
    Steps[0] = NewStep(1000, 3, 0);
    const int32_t list[3] = {4, 9, 2};
    for (int32_t j = 0; j < 3; ++j) {
        Steps[0].DrawList[j] = list[j];
        Objects[list[j]] = Placed(float(list[j]), 0, 0);
    }
    CurrentStep = 0;
    device->calls.clear();
    const int presents = device->presents;
    r_Render();
    EXPECT_EQ(device->CallsTo("DrawSubset").size(), 6u);
    EXPECT_EQ(device->presents, presents + 1);
    EXPECT_EQ(device->renderStates.at(D3DRS_FOGENABLE), 1u);
}

}  // namespace
