// The default content pack: images of the right size, meshes and camera paths
// that fit the demo's own lists, and the same bytes on every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "Models.h"
#include "Pack.h"
#include "base/Errors.h"
#include "base/Maths.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "loading/ObjectTable.h"
#include "loading/m_InitMesh.h"
#include "platform/files/Files.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"
#include "render/m_MoveCamera.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

namespace fs = std::filesystem;

fs::path Pack(const std::string& relative) { return fs::path(VELMORA_CONTENT_DIR) / relative; }

// Decodes an image with the demo's loader.
DecodedImage Decode(const fs::path& path) {
    try {
        return DecodeImage(ReadFile(path), path.string());
    } catch (const ContentError& e) {
        ADD_FAILURE() << e.what();
    }
    return {};
}

size_t CountPixels(const DecodedImage& image, bool (*test)(const uint8_t*)) {
    size_t n = 0;
    for (size_t i = 0; i < image.rgba.size(); i += 4) n += test(&image.rgba[i]);
    return n;
}

bool PureWhite(const uint8_t* p) { return p[0] == 255 && p[1] == 255 && p[2] == 255; }

TEST(ContentPack, StandAloneImagesHaveTheirSizes) {
    const std::pair<const char*, uint32_t> images[] = {
        {"white.tga", 1},      {"logo.jpg", 512},     {"text_efter.jpg", 512}, {"data/screens/logo.dds", 256},
        {"data/misc/fountain/dot.dds", 32}, {"data/bajs.dds", 512}, {"data/house/house_03/tex.jpg", 512}};
    for (const auto& [file, size] : images) {
        const DecodedImage d = Decode(Pack(file));
        EXPECT_EQ(d.width, size) << file;
        EXPECT_EQ(d.height, size) << file;
    }
}

// The loading logo and the end image key out pure white, which must decode to
// pure white exactly: it fills whole 8 x 8 blocks, and nothing else comes back
// near white (off-white specks would show where the key lets the background
// through).
TEST(ContentPack, KeyedJpegWhiteFillsWholeBlocks) {
    for (const char* file : {"logo.jpg", "text_efter.jpg"}) {
        const DecodedImage d = Decode(Pack(file));
        ASSERT_EQ(d.rgba.size(), 512u * 512 * 4) << file;
        size_t whiteBlocks = 0, mixedBlocks = 0;
        for (size_t by = 0; by < 512; by += 8) {
            for (size_t bx = 0; bx < 512; bx += 8) {
                int white = 0;
                for (size_t i = 0; i < 64; ++i) white += PureWhite(&d.rgba[((by + i / 8) * 512 + bx + i % 8) * 4]);
                whiteBlocks += white == 64;
                mixedBlocks += white > 0 && white < 64;
            }
        }
        EXPECT_EQ(mixedBlocks, 0u) << file;
        EXPECT_GT(whiteBlocks, 100u) << file;
        EXPECT_EQ(CountPixels(d, [](const uint8_t* p) { return !PureWhite(p) && p[0] > 230 && p[1] > 230 && p[2] > 230; }),
                  0u)
            << file;
    }
}

// Every mesh of the demo's list, found as the demo finds it (backslashes and
// letter case resolved) and read with its own reader, which checks every
// count and index.
struct PackMesh {
    fs::path folder;
    XMesh x;
};
std::map<int32_t, PackMesh> LoadMeshList() {
    std::map<int32_t, PackMesh> meshes;
    for (const MeshListRow& row : MeshList) {
        const fs::path path = ResolvePath(std::string(VELMORA_CONTENT_DIR) + "/" + row.Folder + "\\" + row.File);
        try {
            meshes[row.Slot] = {path.parent_path(), ParseXFile(ReadFile(path), path.string())};
        } catch (const ContentError& e) {
            ADD_FAILURE() << e.what();
        }
    }
    return meshes;
}

TEST(ContentPack, EveryMeshIsWellFormedWithItsTexturesBesideIt) {
    std::set<std::string> extensions;
    size_t triangles = 0;
    for (const auto& [slot, m] : LoadMeshList()) {
        const XMesh& mesh = m.x;
        EXPECT_EQ(mesh.geometry.fvf, D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1) << "slot " << slot;
        EXPECT_GT(mesh.geometry.indices.size(), 0u) << "slot " << slot;
        triangles += mesh.geometry.indices.size() / 3;
        for (const XMaterial& material : mesh.materials) {
            if (material.textureFilename.empty()) continue;
            const fs::path file = ResolvePath((m.folder / material.textureFilename).string());
            EXPECT_GT(Decode(file).width, 0u) << "slot " << slot << " names " << file;
            extensions.insert(file.extension().string());
        }
    }
    EXPECT_EQ(extensions, (std::set<std::string>{".dds", ".jpg", ".tga"}));
    EXPECT_LT(triangles, 100000u);
}

// Each placed object of the demo's table rests where its kind belongs: world
// base = PosY + ScaleY * the mesh's lowest y (objects turn about y only).
TEST(ContentPack, PlacedObjectsStandOnTheGround) {
    const std::map<int32_t, PackMesh> meshes = LoadMeshList();
    std::map<std::string, float> tops;
    for (const ObjectRow& row : ObjectTable) {
        const auto mesh = meshes.find(row.MeshIndex);
        if (mesh == meshes.end()) continue;
        float low = 1e9f, high = -1e9f;
        for (const MeshVertex& v : mesh->second.x.geometry.vertices) {
            low = std::min(low, v.position[1]);
            high = std::max(high, v.position[1]);
        }
        const std::string file = std::find_if(MeshList.begin(), MeshList.end(), [&](const MeshListRow& r) {
                                     return r.Slot == row.MeshIndex;
                                 })->File;
        const float base = row.PosY + row.ScaleY * low;
        tops[file] = row.PosY + row.ScaleY * high;
        std::pair<float, float> range{-4.5f, 0.5f};  // the town's ground
        if (file == "waterplane.x") range = {1, 27};  // above the ground, under the spout
        if (row.RotX != 0) range = {50, 200};  // the sky, turned over
        if (row.PosY <= -80 || file == "cathedral.x") range = {-83, -79};  // on the cathedral's floor
        if (file == "hill_01.x") range = {-200, -1};  // sunk into the ground
        EXPECT_GE(base, range.first) << row.Name << " (" << file << ")";
        EXPECT_LE(base, range.second) << row.Name << " (" << file << ")";
    }
    EXPECT_NEAR(tops["fountain_01.x"], 27, 1) << "the spout";
    EXPECT_LT(tops["waterplane.x"], 27);
    EXPECT_GT(tops["pelare.x"], 55) << "pillars reach the vault's springing";
}

// The camera paths keep out of the boxes the generator lays around placed
// objects: each box must stand where the object table puts its object and
// cover the mesh as the demo places it (scaled, turned about y, moved), so a
// moved or turned object cannot leave its obstacle behind.
TEST(ContentPack, ObstaclesCoverTheirPlacedObjects) {
    const std::map<int32_t, PackMesh> meshes = LoadMeshList();
    size_t checked = 0;
    for (const content::Obstacle& o : content::TownObstacles()) {
        if (o.object == nullptr) continue;
        const auto row = std::find_if(ObjectTable.begin(), ObjectTable.end(),
                                      [&](const ObjectRow& r) { return std::string(r.Name) == o.object; });
        ASSERT_NE(row, ObjectTable.end()) << o.object;
        SCOPED_TRACE(o.object);
        EXPECT_NEAR((o.lo.x + o.hi.x) / 2, row->PosX, 0.5);
        EXPECT_NEAR((o.lo.z + o.hi.z) / 2, row->PosZ, 0.5);
        D3DMATRIX world, step;
        D3DXMatrixScaling(world, row->ScaleX, row->ScaleY, row->ScaleZ);
        D3DXMatrixRotationY(step, row->RotY);
        D3DXMatrixMultiply(world, world, step);
        D3DXMatrixTranslation(step, row->PosX, row->PosY, row->PosZ);
        D3DXMatrixMultiply(world, world, step);
        double x0 = 1e9, x1 = -1e9, z0 = 1e9, z1 = -1e9;
        for (const MeshVertex& v : meshes.at(row->MeshIndex).x.geometry.vertices) {
            const D3DVECTOR p = TransformPoint({v.position[0], v.position[1], v.position[2]}, world);
            x0 = std::min<double>(x0, p.x), x1 = std::max<double>(x1, p.x);
            z0 = std::min<double>(z0, p.z), z1 = std::max<double>(z1, p.z);
        }
        // The box covers the mesh, with at most the camera's margin and a
        // roof's overhang to spare on each side.
        EXPECT_LE(o.lo.x, x0 + 1);
        EXPECT_GE(o.hi.x, x1 - 1);
        EXPECT_LE(o.lo.z, z0 + 1);
        EXPECT_GE(o.hi.z, z1 - 1);
        EXPECT_LT(x0 - o.lo.x + o.hi.x - x1, 2 * 14);
        EXPECT_LT(z0 - o.lo.z + o.hi.z - z1, 2 * 14);
        ++checked;
    }
    EXPECT_GE(checked, 20u);
}

// The camera file read by the demo's own loader and flown by its own camera
// at 60 frames a second: every step's eye path has enough keys, none starts
// at the origin, and the flight ends a little before the step does.
TEST(ContentPack, CameraPathsFitTheirSteps) {
    AppPath = VELMORA_CONTENT_DIR;
    InitSteps([](const std::string&) {});
    InstallRecordingDevice();
    for (int32_t s = 0; s <= Steps.UBound(); ++s) {
        const Step& step = Steps[s];
        SCOPED_TRACE("step " + std::to_string(s));
        ASSERT_GE(step.EyePath.UBound(), 5);
        ASSERT_EQ(step.TargetPath.UBound(), step.EyePath.UBound());
        const D3DVECTOR& first = step.EyePath[0].Position;
        EXPECT_FALSE(first.x == 0 && first.y == 0 && first.z == 0);
        CurrentStep = s;
        startKey = 2;
        m_loadStep();
        cameraHeld = False32;
        perfFrequency = 60;
        perfDelta = 1;
        int frames = 0;
        while (pathRunning != False16 && frames < 60 * 200) {
            m_MoveCamera();
            ++frames;
        }
        EXPECT_LT(frames / 60.0, step.Duration / 1000.0 - 0.3);
        EXPECT_GT(frames / 60.0, step.Duration / 1000.0 - 4.0);
    }
    ResetDemoGlobals();
}

// A fresh run writes the same files, byte for byte, as the build did, and the
// whole pack stays under 20 MB.
TEST(ContentPack, TwoRunsWriteTheSameBytes) {
    TempDir again;
    content::GeneratePack(again.path());
    size_t files = 0;
    uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again.path())) {
        if (!entry.is_regular_file()) continue;
        bytes += entry.file_size();
        const fs::path relative = fs::relative(entry.path(), again.path());
        EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(Pack(relative.string()))) << relative;
        ++files;
    }
    EXPECT_GT(files, 36u);
    EXPECT_LT(bytes, 20u * 1000 * 1000);
}

}  // namespace
