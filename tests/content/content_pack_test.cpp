// The default content pack: every file the demo reads, in the right format and
// size, well-formed meshes and camera paths, playable music, and the same
// bytes on every run.
#include <gtest/gtest.h>

#include <cmath>
#include <algorithm>
#include <set>
#include <sstream>

#include "Pack.h"
#include "common/Errors.h"
#include "loading/m_InitMesh.h"
#include "platform/files/Files.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

uint32_t U32(const std::string& s, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(s[at + static_cast<size_t>(i)]);
    return v;
}

// Decoded image: width, height and RGBA pixels.
struct Decoded {
    int width = 0, height = 0;
    std::vector<uint8_t> rgba;
};

// Checks a JPEG, TGA or DDS file's format header (DDS: DXT1, DXT5 or
// A8R8G8B8 of the exact size) and decodes it with the demo's loader; fails
// the test on anything malformed.
Decoded Decode(const fs::path& path) {
    const std::string bytes = ReadFile(path);
    const std::string ext = path.extension().string();
    if (ext == ".dds" && bytes.size() >= 128) {
        EXPECT_EQ(bytes.substr(0, 4), "DDS ") << path;
        EXPECT_EQ(U32(bytes, 4), 124u) << path;
        const size_t height = U32(bytes, 12), width = U32(bytes, 16);
        size_t expected = width * height * 4;
        if (U32(bytes, 80) & 0x4) {
            const std::string fourcc = bytes.substr(84, 4);
            EXPECT_TRUE(fourcc == "DXT1" || fourcc == "DXT5") << path << " " << fourcc;
            expected = (width + 3) / 4 * ((height + 3) / 4) * (fourcc == "DXT1" ? 8 : 16);
        } else {
            EXPECT_EQ(U32(bytes, 88), 32u) << path;
            EXPECT_EQ(U32(bytes, 92), 0x00FF0000u) << path;
        }
        EXPECT_EQ(bytes.size(), 128 + expected) << path;
    }
    if (ext == ".jpg") {
        EXPECT_EQ(bytes.substr(0, 3), std::string("\xFF\xD8\xFF")) << path;
    } else if (ext == ".tga") {
        EXPECT_EQ(bytes.size() > 18 ? bytes[2] : 0, 2) << path << ": not an uncompressed true-colour TGA";
    }
    Decoded d;
    try {
        DecodedImage image = DecodeImage(bytes, path.string());
        d = {static_cast<int>(image.width), static_cast<int>(image.height), std::move(image.rgba)};
    } catch (const ContentError& e) {
        ADD_FAILURE() << e.what();
    }
    return d;
}

struct MeshSummary {
    size_t faces = 0, materials = 0;
    std::vector<std::string> textures;
    float minY = 1e9f, maxY = -1e9f;
};

// Loads a pack mesh with the demo's own reader, which checks every count and
// index; the file must be text and carry normals, texture coordinates and a
// material list of its own.
MeshSummary CheckX(const fs::path& path, std::string& error) {
    const std::string text = ReadFile(path);
    MeshSummary m;
    if (text.compare(0, 16, "xof 0303txt 0032") != 0) error = "bad header";
    if (text.find("MeshMaterialList") == std::string::npos) error = "no material list";
    try {
        const XMesh x = ParseXFile(text, path.string());
        if (x.geometry.fvf != (D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1)) error = "no normals or texture coordinates";
        m.faces = x.geometry.indices.size() / 3;
        m.materials = x.materials.size();
        for (const XMaterial& material : x.materials)
            if (!material.textureFilename.empty()) m.textures.push_back(material.textureFilename);
        for (const MeshVertex& v : x.geometry.vertices) {
            m.minY = std::min(m.minY, v.position[1]);
            m.maxY = std::max(m.maxY, v.position[1]);
        }
    } catch (const ContentError& e) {
        error = e.what();
    }
    return m;
}

struct CamRecord {
    int step;
    double eye[3], target[3];
    long pace, targetPace;
};

std::vector<CamRecord> ReadCam(const std::string& text, std::string& error) {
    std::vector<CamRecord> out;
    size_t start = 0;
    for (size_t semi = text.find(';'); semi != std::string::npos; start = semi + 1, semi = text.find(';', start)) {
        std::vector<double> f;
        std::stringstream fields(text.substr(start, semi - start));
        std::string field;
        while (std::getline(fields, field, ',')) f.push_back(std::stod(field));
        if (f.size() != 9) {
            error = "record " + std::to_string(out.size()) + " has " + std::to_string(f.size()) + " fields";
            return out;
        }
        for (double v : f)
            if (v != std::floor(v)) error = "record " + std::to_string(out.size()) + " holds a fraction";
        out.push_back({static_cast<int>(f[0]), {f[1], f[2], f[3]}, {f[5], f[6], f[7]}, std::lround(f[4]), std::lround(f[8])});
    }
    if (text.find_first_not_of(" \t\r\n", start) != std::string::npos) error = "text after the last record";
    return out;
}

double MpegSeconds(const std::string& mp3, std::string& error, int& minKbps, int& maxKbps) {
    static const int kRates[16] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0};
    size_t at = 0, frames = 0;
    minKbps = 1000;
    maxKbps = 0;
    if (mp3.compare(0, 3, "ID3") == 0) error = "unexpected ID3 tag";
    while (at + 4 <= mp3.size()) {
        const auto b = [&](size_t i) { return static_cast<uint8_t>(mp3[at + i]); };
        if (b(0) != 0xFF || (b(1) & 0xFE) != 0xFA) {
            error = "lost frame sync at byte " + std::to_string(at);
            break;
        }
        const int rate = kRates[b(2) >> 4];
        if ((b(2) >> 2 & 3) != 0) error = "sample rate is not 44100 Hz";
        if ((b(3) >> 6) == 3) error = "mono frame";
        if (rate == 0) {
            error = "free or bad bit rate";
            break;
        }
        minKbps = std::min(minKbps, rate);
        maxKbps = std::max(maxKbps, rate);
        at += static_cast<size_t>(144000 * rate / 44100 + (b(2) >> 1 & 1));
        ++frames;
    }
    if (at != mp3.size() && error.empty()) error = "trailing bytes after the last frame";
    return static_cast<double>(frames) * 1152.0 / 44100.0;
}

// The pack the build wrote beside the demo.
class ContentPack : public ::testing::Test {
protected:
    static fs::path Path(const std::string& relative) { return fs::path(VELMORA_CONTENT_DIR) / relative; }
};

TEST_F(ContentPack, StandAloneImagesHaveTheirSizesAndKeys) {
    const struct {
        const char* file;
        int size;
    } images[] = {{"white.tga", 1}, {"logo.jpg", 512}, {"text_efter.jpg", 512}, {"data/screens/logo.dds", 256},
                  {"data/misc/fountain/dot.dds", 32}, {"data/bajs.dds", 512}, {"data/house/house_03/tex.jpg", 0}};
    for (const auto& image : images) {
        ASSERT_TRUE(fs::exists(Path(image.file))) << image.file;
        const Decoded d = Decode(Path(image.file));
        if (image.size > 0) {
            EXPECT_EQ(d.width, image.size) << image.file;
            EXPECT_EQ(d.height, image.size) << image.file;
        } else {
            EXPECT_GT(d.width, 0) << image.file;
        }
    }
    const Decoded white = Decode(Path("white.tga"));
    ASSERT_EQ(white.rgba.size(), 4u);
    EXPECT_EQ(white.rgba, (std::vector<uint8_t>{255, 255, 255, 255}));

    // The loading logo's corners are pure white, keyed out on load.
    const Decoded logo = Decode(Path("logo.jpg"));
    ASSERT_EQ(logo.rgba.size(), 512u * 512 * 4);
    for (size_t corner : {size_t{0}, size_t{511}, size_t{511 * 512}, size_t{512 * 512 - 1}})
        EXPECT_EQ(logo.rgba[corner * 4] & logo.rgba[corner * 4 + 1] & logo.rgba[corner * 4 + 2], 255) << corner;

    // The drop is see-through at its rim, nearly opaque in its middle, and never pure white.
    const Decoded dot = Decode(Path("data/misc/fountain/dot.dds"));
    ASSERT_EQ(dot.rgba.size(), 32u * 32 * 4);
    EXPECT_EQ(dot.rgba[3], 0);
    EXPECT_GT(dot.rgba[(16 * 32 + 16) * 4 + 3], 200);
    for (size_t i = 0; i < dot.rgba.size(); i += 4)
        EXPECT_FALSE(dot.rgba[i] == 255 && dot.rgba[i + 1] == 255 && dot.rgba[i + 2] == 255) << i / 4;

    // The full-window overlay is mostly opaque pure white, which keys out; its bars are opaque black.
    const Decoded overlay = Decode(Path("data/bajs.dds"));
    ASSERT_EQ(overlay.rgba.size(), 512u * 512 * 4);
    size_t keyed = 0;
    for (size_t i = 0; i < overlay.rgba.size(); i += 4)
        keyed += overlay.rgba[i] == 255 && overlay.rgba[i + 1] == 255 && overlay.rgba[i + 2] == 255 && overlay.rgba[i + 3] == 255;
    EXPECT_GT(keyed, overlay.rgba.size() / 4 / 2);
    EXPECT_EQ(overlay.rgba[3], 255);
    EXPECT_EQ(overlay.rgba[0], 0);

    // The end image shows the red clear colour through pure white letters, and is mostly not white.
    const Decoded end = Decode(Path("text_efter.jpg"));
    size_t white_pixels = 0;
    for (size_t i = 0; i < end.rgba.size(); i += 4) white_pixels += end.rgba[i] == 255 && end.rgba[i + 1] == 255 && end.rgba[i + 2] == 255;
    EXPECT_GT(white_pixels, 1000u);
    EXPECT_LT(white_pixels, end.rgba.size() / 4 / 4);
}

// Keyed white in a JPEG must decode to pure white exactly: it fills whole 8 x 8
// blocks, and nothing else comes back near white (off-white specks would show
// where the key should let the background through).
TEST_F(ContentPack, KeyedJpegWhiteFillsWholeBlocks) {
    for (const char* file : {"logo.jpg", "text_efter.jpg"}) {
        const Decoded d = Decode(Path(file));
        ASSERT_EQ(d.rgba.size(), 512u * 512 * 4) << file;
        size_t whiteBlocks = 0, mixedBlocks = 0, nearWhite = 0;
        for (int by = 0; by < 512; by += 8) {
            for (int bx = 0; bx < 512; bx += 8) {
                int white = 0;
                for (int y = by; y < by + 8; ++y) {
                    for (int x = bx; x < bx + 8; ++x) {
                        const uint8_t* p = &d.rgba[(static_cast<size_t>(y) * 512 + static_cast<size_t>(x)) * 4];
                        const bool pure = p[0] == 255 && p[1] == 255 && p[2] == 255;
                        white += pure;
                        nearWhite += !pure && p[0] > 230 && p[1] > 230 && p[2] > 230;
                    }
                }
                whiteBlocks += white == 64;
                mixedBlocks += white > 0 && white < 64;
            }
        }
        EXPECT_EQ(mixedBlocks, 0u) << file;
        EXPECT_EQ(nearWhite, 0u) << file;
        EXPECT_GT(whiteBlocks, 100u) << file;
    }
}

TEST_F(ContentPack, EveryMeshIsWellFormedWithItsTexturesBesideIt) {
    std::set<std::string> extensions;
    size_t triangles = 0;
    for (const MeshListRow& row : MeshList) {
        // Found as the demo finds it: backslashes and letter case resolved.
        const std::string mesh = std::string(row.Folder) + "\\" + row.File;
        const fs::path path = ResolvePath(std::string(VELMORA_CONTENT_DIR) + "/" + mesh);
        ASSERT_TRUE(fs::exists(path)) << mesh;
        std::string error;
        const MeshSummary m = CheckX(path, error);
        EXPECT_EQ(error, "") << mesh;
        EXPECT_GT(m.faces, 0u) << mesh;
        EXPECT_GT(m.materials, 0u) << mesh;
        triangles += m.faces;
        for (const std::string& texture : m.textures) {
            const fs::path file = path.parent_path() / texture;
            ASSERT_TRUE(fs::exists(file)) << mesh << " names " << texture;
            const Decoded d = Decode(file);
            EXPECT_GT(d.width, 0) << file;
            extensions.insert(file.extension().string());
        }
    }
    EXPECT_EQ(extensions, (std::set<std::string>{".dds", ".jpg", ".tga"}));
    EXPECT_LT(triangles, 100000u);
}

// Each mesh's local height range must put its placed objects on the ground:
// world base = posY + scaleY * local minimum.
TEST_F(ContentPack, PlacedObjectsStandOnTheGround) {
    const struct {
        const char* mesh;
        double posY, scaleY, base;
    } placed[] = {
        {"data/house/house_01/house_01.x", 0, 2.69, 0},     {"data/house/house_11/house_11.x", 5, 1.5, 0},
        {"data/house/house_02/house_02.x", 48, 1, 0},       {"data/house/house_13-17/house_13-17.x", -60, 4, 0},
        {"data/house/house_13-17/house_13-17.x", -34, 2.3, 0}, {"data/house/house_10/house_10.x", 0, 1.5, 0},
        {"data/house/house_06/house_06.x", 270, 2.1, 0},    {"data/house/house_03/house_03.x", -12, 6.5, 0},
        {"data/house/house_08/house_08.x", 0, 1.4, 0},      {"data/house/house_04/house_04.x", 0, 1.4, 0},
        {"data/misc/streetlight/streetlight_01.x", 0, 0.35, 0}, {"data/misc/fountain/fountain_01.x", 0, 1, 0},
        {"data/Cathedral/cathedral.x", 0, 1, -80},          {"data/Cathedral/pelare.x", -80, 0.38, -80},
        {"data/misc/angel/female.x", -82, 0.1137, -82},
    };
    for (const auto& p : placed) {
        std::string error;
        const MeshSummary m = CheckX(Path(p.mesh), error);
        const double base = p.posY + p.scaleY * m.minY;
        EXPECT_NEAR(base, p.base, 3.0) << p.mesh << " at y " << p.posY;
    }
    // Both water planes show above the ground, under the spout at 27.
    std::string error;
    const MeshSummary water = CheckX(Path("data/misc/fountain/waterplane.x"), error);
    for (const auto& [y, s] : {std::pair{-10.0, 0.7}, std::pair{20.0, 0.19}}) {
        EXPECT_GT(y + s * water.minY, 1.0);
        EXPECT_LT(y + s * water.maxY, 27.0);
    }
    // The pillars reach the vault's springing; the fountain reaches the spout.
    const MeshSummary pillar = CheckX(Path("data/Cathedral/pelare.x"), error);
    EXPECT_GT(-80 + 0.38 * pillar.maxY, 55.0);
    const MeshSummary fountain = CheckX(Path("data/misc/fountain/fountain_01.x"), error);
    EXPECT_NEAR(fountain.maxY, 27.0, 1.0);
}

TEST_F(ContentPack, CameraPathsFitTheirSteps) {
    std::string error;
    const std::vector<CamRecord> records = ReadCam(ReadFile(Path("cam.dat")), error);
    ASSERT_EQ(error, "");
    const double durations[4] = {83.0, 19.5, 40.4, 7.3};
    for (int step = 0; step < 4; ++step) {
        std::vector<CamRecord> keys;
        for (const CamRecord& r : records)
            if (r.step == step) keys.push_back(r);
        ASSERT_GE(keys.size(), 6u) << "step " << step;
        EXPECT_FALSE(keys[0].eye[0] == 0 && keys[0].eye[1] == 0 && keys[0].eye[2] == 0) << "step " << step;
        EXPECT_FALSE(keys[0].target[0] == 0 && keys[0].target[1] == 0 && keys[0].target[2] == 0) << "step " << step;
        double seconds = 0;
        for (size_t k = 0; k < keys.size(); ++k) {
            EXPECT_GT(keys[k].pace, 0) << "step " << step << " key " << k;
            EXPECT_GT(keys[k].targetPace, 0) << "step " << step << " key " << k;
            if (k >= 2 && k + 1 < keys.size()) {
                const double chord = std::hypot(keys[k].eye[0] - keys[k - 1].eye[0], keys[k].eye[1] - keys[k - 1].eye[1],
                                                keys[k].eye[2] - keys[k - 1].eye[2]);
                ASSERT_GT(chord, 0) << "step " << step << " key " << k;
                seconds += static_cast<double>(keys[k].pace) / chord;
            }
        }
        EXPECT_LT(seconds, durations[step] - 0.3) << "step " << step;
        EXPECT_GT(seconds, durations[step] - 4.0) << "step " << step;
    }
    // Step 0 starts where the demo first places the camera.
    EXPECT_NEAR(records[1].eye[1], 400, 30);
    EXPECT_NEAR(records[1].target[2], -200, 30);
}

TEST_F(ContentPack, MusicIsLongEnoughStereoMp3) {
    const std::string mp3 = ReadFile(Path("velmora5.mp3"));
    ASSERT_GT(mp3.size(), 100000u);
    std::string error;
    int minKbps = 0, maxKbps = 0;
    const double seconds = MpegSeconds(mp3, error, minKbps, maxKbps);
    EXPECT_EQ(error, "");
    EXPECT_GE(seconds, 160.0);
    EXPECT_GE(minKbps, 128);
    EXPECT_LE(maxKbps, 192);
}

// A fresh run writes the same files, byte for byte, as the build did, and the
// whole pack stays under 20 MB.
TEST_F(ContentPack, TwoRunsWriteTheSameBytes) {
    TempDir again;
    content::GeneratePack(again.path());
    size_t files = 0;
    uintmax_t bytes = 0;
    for (const auto& entry : fs::recursive_directory_iterator(again.path())) {
        if (!entry.is_regular_file()) continue;
        bytes += entry.file_size();
        const fs::path relative = fs::relative(entry.path(), again.path());
        ASSERT_TRUE(fs::exists(Path(relative.string()))) << relative;
        EXPECT_TRUE(ReadFile(entry.path()) == ReadFile(Path(relative.string()))) << relative;
        ++files;
    }
    EXPECT_GT(files, 36u);
    EXPECT_LT(bytes, 20u * 1000 * 1000);
}

}  // namespace
