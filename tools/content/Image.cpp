#include "Image.h"

#include <squish.h>
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <fstream>

#include "Errors.h"

namespace content {

namespace {

uint8_t ToByte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v * 255.0), 0L, 255L)); }

void AppendToString(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

void Put32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::vector<uint8_t> Bytes(const Image& image, int comps) {
    std::vector<uint8_t> out;
    out.reserve(static_cast<size_t>(image.width()) * image.height() * comps);
    for (const Rgba& p : image.pixels()) {
        out.push_back(p.r);
        out.push_back(p.g);
        out.push_back(p.b);
        if (comps == 4) out.push_back(p.a);
    }
    return out;
}

}  // namespace

Color Mix(const Color& a, const Color& b, double t) { return a * (1.0 - t) + b * t; }

Color Hex(uint32_t rgb) {
    return {((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0};
}

Image::Image(int width, int height, Rgba fill)
    : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, fill) {}

void Image::Set(int x, int y, const Color& c, double alpha) {
    at(x, y) = Rgba{ToByte(c.r), ToByte(c.g), ToByte(c.b), ToByte(alpha)};
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) throw GenerateError("cannot create " + path.string());
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw GenerateError("cannot write " + path.string());
}

std::string EncodeJpg(const Image& image, int quality) {
    const std::vector<uint8_t> rgb = Bytes(image, 3);
    std::string out;
    if (!stbi_write_jpg_to_func(AppendToString, &out, image.width(), image.height(), 3, rgb.data(), quality))
        throw GenerateError("cannot encode a JPEG image");
    return out;
}

std::string EncodeTga(const Image& image, bool alpha) {
    std::string out;
    const uint8_t header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                static_cast<uint8_t>(image.width() & 0xFF), static_cast<uint8_t>(image.width() >> 8),
                                static_cast<uint8_t>(image.height() & 0xFF), static_cast<uint8_t>(image.height() >> 8),
                                static_cast<uint8_t>(alpha ? 32 : 24), static_cast<uint8_t>(alpha ? 8 : 0)};
    out.append(reinterpret_cast<const char*>(header), sizeof header);
    // Rows bottom-up, pixels in BGR(A) order: the format's default layout.
    for (int y = image.height() - 1; y >= 0; --y) {
        for (int x = 0; x < image.width(); ++x) {
            const Rgba& p = image.at(x, y);
            out.push_back(static_cast<char>(p.b));
            out.push_back(static_cast<char>(p.g));
            out.push_back(static_cast<char>(p.r));
            if (alpha) out.push_back(static_cast<char>(p.a));
        }
    }
    return out;
}

std::string EncodeDds(const Image& image, DdsFormat format) {
    const int w = image.width(), h = image.height();
    std::string data;
    if (format == DdsFormat::Argb8) {
        for (const Rgba& p : image.pixels()) {
            data.push_back(static_cast<char>(p.b));
            data.push_back(static_cast<char>(p.g));
            data.push_back(static_cast<char>(p.r));
            data.push_back(static_cast<char>(p.a));
        }
    } else {
        const int flags = (format == DdsFormat::Dxt1 ? squish::kDxt1 : squish::kDxt5) | squish::kColourClusterFit;
        const std::vector<uint8_t> rgba = Bytes(image, 4);
        data.resize(static_cast<size_t>(squish::GetStorageRequirements(w, h, flags)));
        squish::CompressImage(rgba.data(), w, h, data.data(), flags);
    }
    const bool compressed = format != DdsFormat::Argb8;
    std::string out = "DDS ";
    Put32(out, 124);
    Put32(out, 0x1 | 0x2 | 0x4 | 0x1000 | (compressed ? 0x80000u : 0x8u));
    Put32(out, static_cast<uint32_t>(h));
    Put32(out, static_cast<uint32_t>(w));
    Put32(out, compressed ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(w * 4));
    Put32(out, 0);  // depth
    Put32(out, 0);  // mip map count: the top level only
    for (int i = 0; i < 11; ++i) Put32(out, 0);
    Put32(out, 32);  // pixel format size
    if (compressed) {
        Put32(out, 0x4);  // DDPF_FOURCC
        out += format == DdsFormat::Dxt1 ? "DXT1" : "DXT5";
        for (int i = 0; i < 5; ++i) Put32(out, 0);
    } else {
        Put32(out, 0x40 | 0x1);  // DDPF_RGB | DDPF_ALPHAPIXELS
        Put32(out, 0);
        Put32(out, 32);
        Put32(out, 0x00FF0000);
        Put32(out, 0x0000FF00);
        Put32(out, 0x000000FF);
        Put32(out, 0xFF000000);
    }
    Put32(out, 0x1000);  // DDSCAPS_TEXTURE
    for (int i = 0; i < 4; ++i) Put32(out, 0);
    out += data;
    return out;
}

std::string EncodePng(const Image& image) {
    const std::vector<uint8_t> rgba = Bytes(image, 4);
    std::string out;
    if (!stbi_write_png_to_func(AppendToString, &out, image.width(), image.height(), 4, rgba.data(),
                                image.width() * 4))
        throw GenerateError("cannot encode a PNG image");
    return out;
}

}  // namespace content
