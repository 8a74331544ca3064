// velmora-fuzz-seeds PACKDIR OUTDIR: writes the fuzz targets' seed corpora to
// OUTDIR/<target>/. The .x files of the pack are written as they are, in the
// binary encoding with 32- and 64-bit floats, and compressed; the camera file
// is copied; small images are made in every pixel format the loaders read.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "Image.h"
#include "support/Bytes.h"
#include "support/XFileWriter.h"

namespace fs = std::filesystem;

namespace {

// Pack meshes larger than this are left out: small seeds keep the fuzzer fast.
constexpr uintmax_t kLargestMesh = 48 * 1024;
constexpr uintmax_t kLargestImage = 32 * 1024;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& path, const std::string& bytes) { content::WriteFile(path, bytes); }

// A small picture with a magenta cut-out corner and a translucent band, so
// the colour key and alpha both have something to find.
content::Image TestPicture(int width, int height) {
    content::Image image(width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            content::Rgba& p = image.at(x, y);
            p = content::Rgba{uint8_t(x * 255 / std::max(1, width - 1)), uint8_t(y * 255 / std::max(1, height - 1)),
                              uint8_t((x ^ y) * 16), uint8_t(y == height / 2 ? 128 : 255)};
            if (x < width / 3 && y < height / 3) p = content::kCutout;
        }
    }
    return image;
}

void Set32(std::string& dds, size_t offset, uint32_t v) { std::memcpy(&dds[offset], &v, 4); }

// An uncompressed DDS in another pixel layout, made from an A8R8G8B8 one.
std::string RelayoutDds(const content::Image& image, uint32_t flags, uint32_t bitCount, uint32_t r, uint32_t g,
                        uint32_t b, uint32_t a) {
    std::string dds = content::EncodeDds(image, content::DdsFormat::Argb8).substr(0, 128);
    const uint32_t bytes = bitCount / 8;
    Set32(dds, 20, uint32_t(image.width()) * bytes);
    Set32(dds, 80, flags);
    Set32(dds, 88, bitCount);
    Set32(dds, 92, r);
    Set32(dds, 96, g);
    Set32(dds, 100, b);
    Set32(dds, 104, a);
    for (const content::Rgba& p : image.pixels()) {
        const uint32_t v = uint32_t(p.r) << 16 | uint32_t(p.g) << 8 | p.b | uint32_t(p.a) << 24;
        dds.append(reinterpret_cast<const char*>(&v), bytes);
    }
    return dds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: velmora-fuzz-seeds PACKDIR OUTDIR\n");
        return 2;
    }
    try {
        const fs::path pack = argv[1], out = argv[2];
        for (const auto& entry : fs::recursive_directory_iterator(pack)) {
            if (!entry.is_regular_file()) continue;
            const fs::path& p = entry.path();
            std::string ext = p.extension().string();
            std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
            if ((ext == ".jpg" || ext == ".tga" || ext == ".dds") && entry.file_size() <= kLargestImage) {
                // Mesh textures load with linear filters and the magenta key.
                const std::string meshOptions("\x03\x03\x09\x09\x30\xFF\x00\xFF", 8);
                const std::string bytes = ReadFile(p);
                if (ext == ".dds") {
                    Write(out / "dds" / ("pack-" + p.filename().string()), bytes);
                } else {
                    Write(out / "texture" / ("pack-" + p.filename().string()), meshOptions + bytes);  // options first
                }
                continue;
            }
            if (ext != ".x" || entry.file_size() > kLargestMesh) continue;
            const std::string text = ReadFile(p);
            const std::string stem = p.stem().string();
            const std::string binary = XTextToBinary(text, false);
            Write(out / "xfile" / (stem + "-txt.x"), text);
            Write(out / "xfile" / (stem + "-bin32.x"), binary);
            Write(out / "xfile" / (stem + "-bin64.x"), XTextToBinary(text, true));
            Write(out / "xfile" / (stem + "-tzip.x"), CompressX(text, 4096));
            Write(out / "xfile" / (stem + "-bzip.x"), CompressX(binary, 1500));
        }
        Write(out / "camera_file" / "cam.dat", ReadFile(pack / "cam.dat"));

        const content::Image small = TestPicture(8, 8), odd = TestPicture(13, 7), square = TestPicture(16, 16);
        using content::DdsFormat;
        std::string dxt3 = content::EncodeDds(small, DdsFormat::Dxt5);
        dxt3.replace(84, 4, "DXT3");
        const std::pair<const char*, std::string> dds[] = {
            {"argb8.dds", content::EncodeDds(odd, DdsFormat::Argb8)},
            {"dxt1.dds", content::EncodeDds(odd, DdsFormat::Dxt1)},
            {"dxt5.dds", content::EncodeDds(small, DdsFormat::Dxt5)},
            {"dxt3.dds", dxt3},
            {"r5g6b5.dds", RelayoutDds(small, 0x40, 16, 0xF800, 0x07E0, 0x001F, 0)},
            {"a1r5g5b5.dds", RelayoutDds(small, 0x41, 16, 0x7C00, 0x03E0, 0x001F, 0x8000)},
            {"r8g8b8.dds", RelayoutDds(odd, 0x40, 24, 0xFF0000, 0x00FF00, 0x0000FF, 0)},
            {"l8.dds", RelayoutDds(small, 0x20000, 8, 0xFF, 0, 0, 0)},
            {"a8.dds", RelayoutDds(small, 0x2, 8, 0, 0, 0, 0xFF)},
        };
        for (const auto& [name, bytes] : dds) Write(out / "dds" / name, bytes);

        // Options: filter, mip filter, width and height selectors, mip levels
        // and key flags, key red, green, blue (see fuzz_texture.cpp).
        const std::string demoKey("\x02\x02\x09\x09\x30\xFF\x00\xFF", 8);
        const std::string boxed("\x05\x05\x00\x00\x10\x00\x00\x00", 8);
        const std::string shrink("\x04\x03\x02\x03\x03\xFF\x00\xFF", 8);
        const std::pair<const char*, std::string> textures[] = {
            {"key.jpg", demoKey + content::EncodeJpg(odd, 90)},
            {"plain.jpg", boxed + content::EncodeJpg(small, 40)},
            {"shrink.jpg", shrink + content::EncodeJpg(square, 75)},
            {"key.tga", demoKey + content::EncodeTga(odd, true)},
            {"rgb.tga", boxed + content::EncodeTga(small, false)},
            {"shrink.tga", shrink + content::EncodeTga(square, true)},
            {"plain.png", boxed + content::EncodePng(small)},
        };
        for (const auto& [name, bytes] : textures) Write(out / "texture" / name, bytes);
        // Run-length encoded TGA: one repeat packet and one literal packet per row.
        std::string rle = content::EncodeTga(content::Image(4, 2), false).substr(0, 18);
        rle[2] = 10;
        for (int row = 0; row < 2; ++row) rle += std::string("\x82\xFF\x00\xFF\x00\x10\x20\x30", 8);
        Write(out / "texture" / "rle.tga", demoKey + rle);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "velmora-fuzz-seeds: %s\n", e.what());
        return 1;
    }
}
