// RGBA images and the file formats the demo reads: JPEG, TGA and DDS.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace content {

struct Rgba {
    uint8_t r = 0, g = 0, b = 0, a = 255;
};

// Colour channels as doubles in [0, 1], for shading arithmetic.
struct Color {
    double r = 0, g = 0, b = 0;
    Color() = default;
    Color(double r_, double g_, double b_) : r(r_), g(g_), b(b_) {}
    Color operator*(double k) const { return {r * k, g * k, b * k}; }
    Color operator+(const Color& o) const { return {r + o.r, g + o.g, b + o.b}; }
    Color operator*(const Color& o) const { return {r * o.r, g * o.g, b * o.b}; }
};
Color Mix(const Color& a, const Color& b, double t);
Color Hex(uint32_t rgb);

class Image {
public:
    Image(int width, int height, Rgba fill = {});
    int width() const { return width_; }
    int height() const { return height_; }
    Rgba& at(int x, int y) { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    const Rgba& at(int x, int y) const { return pixels_[static_cast<size_t>(y) * width_ + x]; }
    void Set(int x, int y, const Color& c, double alpha = 1.0);
    const std::vector<Rgba>& pixels() const { return pixels_; }

private:
    int width_, height_;
    std::vector<Rgba> pixels_;
};

// Magenta marks the holes of cut-out textures; the loader keys it out.
constexpr Rgba kCutout{255, 0, 255, 255};

enum class DdsFormat { Argb8, Dxt1, Dxt5 };

std::string EncodeJpg(const Image& image, int quality = 90);
// Uncompressed true-colour TGA, 24 bits or 32 bits with alpha, rows bottom-up.
std::string EncodeTga(const Image& image, bool alpha);
// DDS with the top level only: A8R8G8B8, or DXT1/DXT5 blocks from libsquish.
std::string EncodeDds(const Image& image, DdsFormat format);
// PNG, for looking at textures while working on them.
std::string EncodePng(const Image& image);

// Writes `bytes` to `path`, creating its folders; throws on failure.
void WriteFile(const std::filesystem::path& path, const std::string& bytes);

}  // namespace content
