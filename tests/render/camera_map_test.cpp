// The camera map on the default pack and on a pack changed in the test: the
// footprints stand where the object table puts the meshes, the path is the one
// the camera flies through the keys, the captions say what --check says, and
// the picture is the same bytes for the same content.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "platform/files/Files.h"
#include "platform/texture/TextureLoader.h"
#include "shell/CameraMap.h"
#include "timeline/CameraFile.h"
#include "support/TestSupport.h"

namespace {

struct Centre {
    double x = 0, z = 0;
};
Centre CentreOf(const MapFootprint& f) {
    Centre c;
    for (const MapPoint& p : f.outline) c.x += p.x / f.outline.size(), c.z += p.z / f.outline.size();
    return c;
}

const MapFootprint* Find(const StepMap& map, const std::string& name) {
    for (const MapFootprint& f : map.footprints)
        if (f.name == name) return &f;
    return nullptr;
}

// The pack with its camera file replaced, everything else linked from the built one.
class ChangedPack {
public:
    explicit ChangedPack(const std::string& camera) {
        for (const auto& entry : std::filesystem::directory_iterator(VELMORA_CONTENT_DIR)) {
            if (entry.path().filename() != "cam.dat") {
                std::filesystem::create_symlink(entry.path(), dir_.path() / entry.path().filename());
            }
        }
        dir_.Write("cam.dat", camera);
    }
    std::string Path() const { return dir_.path().string(); }

private:
    TempDir dir_;
};

class CameraMapTest : public ::testing::Test {
protected:
    void TearDown() override {
        Steps.Erase();
        AppPath.clear();
    }
};

int Count(const std::vector<uint8_t>& rgba, uint8_t r, uint8_t g, uint8_t b) {
    int n = 0;
    for (size_t i = 0; i + 3 < rgba.size(); i += 4) n += rgba[i] == r && rgba[i + 1] == g && rgba[i + 2] == b;
    return n;
}

TEST_F(CameraMapTest, TheDefaultPackAsTheCameraFliesIt) {
    AppPath = VELMORA_CONTENT_DIR;
    const std::vector<CameraRecord> records = ParseCameraFile(ReadWholeFile(ResolvePath(AppPath + "\\cam.dat")));
    const std::vector<StepMap> maps = BuildCameraMap(ObjectTable);
    ASSERT_EQ(maps.size(), 4u);
    for (const StepMap& map : maps) {
        std::vector<D3DVECTOR> keys;
        for (const CameraRecord& r : records)
            if (r.Step == map.step) keys.push_back(r.Eye);
        ASSERT_EQ(map.keys.size(), keys.size()) << "step " << map.step;
        for (size_t k = 0; k < keys.size(); ++k) {
            EXPECT_EQ(map.keys[k].x, keys[k].x);
            EXPECT_EQ(map.keys[k].z, keys[k].z);
        }
        EXPECT_EQ(map.caption.rfind("step " + std::to_string(map.step) + ": " + std::to_string(keys.size()) +
                                        " keys, flies ",
                                    0),
                  0u)
            << map.caption;
        // From key 1, when the hand-over starts the path, to the second last key.
        ASSERT_GT(map.flown.size(), 100u);
        EXPECT_EQ(map.flown.front().x, keys[1].x);
        EXPECT_EQ(map.flown.front().z, keys[1].z);
        const MapPoint& last = map.flown.back();
        const D3DVECTOR& end = keys[keys.size() - 2];
        EXPECT_LT(std::hypot(last.x - end.x, last.z - end.z), 15.0) << "step " << map.step;
        // The flight's frames against the caption's seconds: each segment may drop part of a frame.
        const double seconds = std::stod(map.caption.substr(map.caption.find("flies ") + 6));
        EXPECT_NEAR(map.flown.size() / 60.0, seconds, 0.05 + keys.size() / 60.0) << map.caption;
        EXPECT_LT(map.flown.size(), map.framesInStep);
    }
    // Step 0 draws the town (40 slots, one of them never filled), step 1 the
    // cathedral with six pillars.
    EXPECT_EQ(maps[0].footprints.size(), 39u);
    const MapFootprint* fountain = Find(maps[0], "fontänen utan vattenmesh");
    ASSERT_NE(fountain, nullptr);
    EXPECT_NEAR(CentreOf(*fountain).x, 400, 15);
    EXPECT_NEAR(CentreOf(*fountain).z, -180, 15);
    int pillars = 0;
    for (const MapFootprint& f : maps[1].footprints) pillars += f.name == "Pelare";
    EXPECT_EQ(pillars, 6);
    EXPECT_EQ(Find(maps[1], "fontänen utan vattenmesh"), nullptr);

    // The same content, the same bytes; the path drawn in its colour, nothing cut short.
    TempDir out;
    WriteCameraMap(maps, out.path() / "a.png");
    WriteCameraMap(BuildCameraMap(ObjectTable), out.path() / "b.png");
    const std::string png = ReadFile(out.path() / "a.png");
    EXPECT_EQ(png, ReadFile(out.path() / "b.png"));
    const DecodedImage image = DecodeImage(png, "map");
    EXPECT_EQ(image.width, 2u * 560u);
    EXPECT_GT(Count(image.rgba, 31, 95, 191), 1000);
    EXPECT_EQ(Count(image.rgba, 208, 48, 48), 0);
}

// A fountain moved 100 units along x moves its footprint; a key added to the
// cathedral's path far away lengthens the path, the key count and the flight
// past the step's end, which the caption and the picture show.
TEST_F(CameraMapTest, AMovedObjectAndAnAddedKeyMoveTheMap) {
    std::string camera = ReadFile(std::filesystem::path(VELMORA_CONTENT_DIR) / "cam.dat");
    camera += "\n1,0,-60,900,3000,0,-60,1000,3000;\n";
    const ChangedPack pack(camera);
    AppPath = pack.Path();
    std::vector<ObjectRow> objects(ObjectTable.begin(), ObjectTable.end());
    for (ObjectRow& row : objects)
        if (row.Slot == 40) row.PosX += 100;
    const std::vector<StepMap> maps = BuildCameraMap(objects);
    ASSERT_EQ(maps.size(), 4u);

    const MapFootprint* fountain = Find(maps[0], "fontänen utan vattenmesh");
    ASSERT_NE(fountain, nullptr);
    EXPECT_NEAR(CentreOf(*fountain).x, 500, 15);
    EXPECT_NEAR(CentreOf(*fountain).z, -180, 15);

    const StepMap& cathedral = maps[1];
    ASSERT_EQ(cathedral.keys.size(), 8u);
    EXPECT_EQ(cathedral.keys.back().z, 900);
    EXPECT_EQ(cathedral.caption.rfind("step 1: 8 keys, flies ", 0), 0u) << cathedral.caption;
    EXPECT_NE(cathedral.caption.find("(cut short)"), std::string::npos) << cathedral.caption;
    // The path now runs on to the old last key, which is no longer the second last.
    EXPECT_GT(cathedral.flown.size(), cathedral.framesInStep);
    EXPECT_EQ(maps[3].keys.size(), 7u);

    TempDir out;
    WriteCameraMap(maps, out.path() / "map.png");
    const DecodedImage image = DecodeImage(ReadFile(out.path() / "map.png"), "map");
    EXPECT_GT(Count(image.rgba, 208, 48, 48), 50);
}

TEST_F(CameraMapTest, ABrokenCameraFileIsNamed) {
    const ChangedPack pack("0,1,2;\n");
    AppPath = pack.Path();
    try {
        BuildCameraMap(ObjectTable);
        ADD_FAILURE() << "no error";
    } catch (const ContentError& error) {
        EXPECT_NE(std::string(error.what()).find("cam.dat record 1"), std::string::npos) << error.what();
    }
}

}  // namespace
