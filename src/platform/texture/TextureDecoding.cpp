// Image files to RGBA8: the format recognised from the contents, DDS read
// here (DXT blocks through libsquish), everything else through stb_image
// after the checks that keep hostile files away from its readers.
#include "platform/texture/TextureLoader.h"

#include <squish.h>
#include <stb_image.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>
#include <iterator>
#include <memory>

#include "base/Errors.h"
#include "base/Maths.h"

namespace {

[[noreturn]] void Fail(const std::string& name, const std::string& what) { throw ContentError(name + ": " + what); }

// DDS pixel-format flags.
constexpr uint32_t kAlphaPixels = 0x1;
constexpr uint32_t kAlphaOnly = 0x2;
constexpr uint32_t kFourCC = 0x4;
constexpr uint32_t kRGB = 0x40;
constexpr uint32_t kLuminance = 0x20000;

constexpr uint32_t FourCC(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) | (uint32_t(uint8_t(s[1])) << 8) | (uint32_t(uint8_t(s[2])) << 16) |
           (uint32_t(uint8_t(s[3])) << 24);
}

// One channel of an uncompressed DDS pixel: where its bits are and how to widen them.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(uint32_t m) : mask(m) {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    // The channel's value widened to 8 bits by repeating its bits.
    uint8_t Expand(uint32_t pixel) const {
        if (bits == 0) return 0;
        const uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
        const int excess = ((8 + bits - 1) / bits) * bits - 8;
        return uint8_t(out >> excess);
    }
    uint8_t Precision() const { return uint8_t(std::min(bits, 8)); }
};

DecodedImage DecodeDds(std::string_view bytes, const std::string& name) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() < 128) Fail(name, "DDS header is truncated");
    if (ReadLittle32(p + 4) != 124 || ReadLittle32(p + 76) != 32) Fail(name, "DDS header has bad sizes");
    const uint32_t height = ReadLittle32(p + 12), width = ReadLittle32(p + 16);
    CheckTextureSize(width, height, name);
    const uint32_t flags = ReadLittle32(p + 80), fourCC = ReadLittle32(p + 84), bitCount = ReadLittle32(p + 88);
    const unsigned char* data = p + 128;
    const size_t available = bytes.size() - 128;

    DecodedImage image;
    image.width = width;
    image.height = height;
    if (flags & kFourCC) {
        int squishFlags = 0;
        size_t blockBytes = 16;
        if (fourCC == FourCC("DXT1")) {
            squishFlags = squish::kDxt1;
            blockBytes = 8;
        } else if (fourCC == FourCC("DXT3")) {
            squishFlags = squish::kDxt3;
        } else if (fourCC == FourCC("DXT5")) {
            squishFlags = squish::kDxt5;
        } else {
            char code[5] = {char(fourCC), char(fourCC >> 8), char(fourCC >> 16), char(fourCC >> 24), 0};
            Fail(name, std::string("unsupported DDS compression '") + code + "'");
        }
        const uint32_t blocksWide = (width + 3) / 4, blocksHigh = (height + 3) / 4;
        if (size_t(blocksWide) * blocksHigh * blockBytes > available) Fail(name, "DDS image data is truncated");
        image.rgba.resize(size_t(width) * height * 4);
        // Block by block on this thread (the library's whole-image call may start worker threads).
        uint8_t block[16 * 4];
        const unsigned char* in = data;
        for (uint32_t by = 0; by < blocksHigh; ++by) {
            for (uint32_t bx = 0; bx < blocksWide; ++bx, in += blockBytes) {
                squish::Decompress(block, in, squishFlags);
                const uint32_t rows = std::min<uint32_t>(4, height - by * 4), cols = std::min<uint32_t>(4, width - bx * 4);
                for (uint32_t r = 0; r < rows; ++r) {
                    std::memcpy(&image.rgba[((size_t(by) * 4 + r) * width + size_t(bx) * 4) * 4], block + r * 16, cols * 4);
                }
            }
        }
        return image;
    }
    if (!(flags & (kRGB | kLuminance | kAlphaOnly))) Fail(name, "unsupported DDS pixel format");
    if (bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32) {
        Fail(name, "unsupported DDS bit count " + std::to_string(bitCount));
    }
    const size_t bytesPerPixel = bitCount / 8;
    size_t pitch = size_t(width) * bytesPerPixel;
    // Some writers pad rows and say so in the pitch field.
    const uint32_t kPitchGiven = 0x8;
    if ((ReadLittle32(p + 8) & kPitchGiven) && ReadLittle32(p + 20) > pitch && ReadLittle32(p + 20) <= pitch + 16) pitch = ReadLittle32(p + 20);
    if (pitch * height > available) Fail(name, "DDS image data is truncated");

    const bool luminance = (flags & kLuminance) != 0;
    const bool alphaOnly = !(flags & (kRGB | kLuminance));
    const Channel r(alphaOnly ? 0 : ReadLittle32(p + 92));
    const Channel g(luminance || alphaOnly ? 0 : ReadLittle32(p + 96));
    const Channel b(luminance || alphaOnly ? 0 : ReadLittle32(p + 100));
    const Channel a((flags & (kAlphaPixels | kAlphaOnly)) ? ReadLittle32(p + 104) : 0);
    if (alphaOnly && a.bits == 0) Fail(name, "DDS alpha format has no alpha mask");
    image.bits = {r.Precision(), luminance ? r.Precision() : g.Precision(), luminance ? r.Precision() : b.Precision(),
                  a.bits ? a.Precision() : uint8_t(8)};
    if (alphaOnly) image.bits = {8, 8, 8, a.Precision()};
    image.rgba.resize(size_t(width) * height * 4);
    uint8_t* out = image.rgba.data();
    for (uint32_t y = 0; y < height; ++y) {
        const unsigned char* row = data + y * pitch;
        for (uint32_t x = 0; x < width; ++x, out += 4) {
            uint32_t pixel = 0;
            for (size_t k = 0; k < bytesPerPixel; ++k) pixel |= uint32_t(row[x * bytesPerPixel + k]) << (8 * k);
            out[0] = r.Expand(pixel);
            out[1] = luminance ? out[0] : g.Expand(pixel);
            out[2] = luminance ? out[0] : b.Expand(pixel);
            out[3] = a.bits ? a.Expand(pixel) : 255;
        }
    }
    return image;
}

// The image decoder reads past the end of a file as zeros, so a file cut off
// in its pixel data would decode as a partly black picture; and its JPEG
// reader trusts the code counts of a Huffman table, writing past its tables
// when they add up to more than 256. JPEG files are therefore walked marker by
// marker first, the way the decoder reads them: every Huffman table is
// checked and the end marker must be there.
// Where a JPEG file's data starts after its start marker (the decoder takes
// any number of FF bytes before D8); 0 when the file is not a JPEG.
size_t JpegStart(std::string_view bytes) {
    size_t p = 0;
    while (p < bytes.size() && uint8_t(bytes[p]) == 0xFF) ++p;
    return p > 0 && p < bytes.size() && uint8_t(bytes[p]) == 0xD8 ? p + 1 : 0;
}

// A scan's components name the DC table (first scans of DC coefficients) and
// the AC table (scans of AC coefficients) they are decoded with; each must
// have been defined. Malformed scan headers are left to the decoder's checks.
void CheckScanTables(const unsigned char* b, size_t p, size_t end, const bool (&defined)[2][4],
                     const std::string& name) {
    if (p + 3 > end) return;
    const size_t components = b[p + 2];
    const size_t tail = p + 3 + 2 * components;
    if (tail + 3 > end) return;
    const unsigned first = b[tail], last = b[tail + 1], high = b[tail + 2] >> 4;
    for (size_t c = 0; c < components; ++c) {
        const unsigned dc = b[p + 4 + 2 * c] >> 4, ac = b[p + 4 + 2 * c] & 15;
        if ((first == 0 && high == 0 && dc < 4 && !defined[0][dc]) || (last > 0 && ac < 4 && !defined[1][ac])) {
            Fail(name, "JPEG scan at byte " + std::to_string(p - 2) + " uses a Huffman table the file does not define");
        }
    }
}

void CheckJpeg(std::string_view bytes, size_t start, const std::string& name) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t p = start;
    // The Huffman tables defined so far, by class (DC, AC) and number: the
    // decoder would read a table a scan names but the file never defined from
    // memory it never filled.
    bool defined[2][4] = {};
    for (;;) {
        // The decoder skips stray bytes and fill bytes before a marker.
        while (p < n && b[p] != 0xFF) ++p;
        while (p < n && b[p] == 0xFF) ++p;
        if (p >= n) Fail(name, "JPEG data is truncated");
        const unsigned marker = b[p++];
        if (marker == 0xD9) return;
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) continue;
        if (p + 2 > n) Fail(name, "JPEG data is truncated");
        const size_t length = (size_t(b[p]) << 8) | b[p + 1];
        const size_t end = p + length;
        if (length < 2 || end > n) Fail(name, "JPEG data is truncated");
        if (marker == 0xC4) {
            for (size_t t = p + 2; t < end;) {
                if (t + 17 > end) Fail(name, "JPEG Huffman table at byte " + std::to_string(t) + " is truncated");
                size_t codes = 0;
                for (size_t i = 1; i <= 16; ++i) codes += b[t + i];
                if (codes > 256) {
                    Fail(name, "JPEG Huffman table at byte " + std::to_string(t) + " has " + std::to_string(codes) +
                                   " codes (at most 256)");
                }
                if ((b[t] >> 4) < 2 && (b[t] & 15) < 4) defined[b[t] >> 4][b[t] & 15] = true;
                t += 17 + codes;
            }
        }
        if (marker == 0xDA) CheckScanTables(b, p, end, defined, name);
        p = end;
        if (marker == 0xDA) {
            // Entropy-coded data: FF is followed by 00 (a stuffed byte) or a restart marker.
            while (p + 1 < n && !(b[p] == 0xFF && b[p + 1] != 0 && (b[p + 1] < 0xD0 || b[p + 1] > 0xD7))) ++p;
        }
    }
}

// Formats the decoder knows but textures never come in (GIF, PSD, HDR, PGM,
// PPM, PIC): refused so that their readers never see content.
constexpr std::string_view kRefusedSignatures[] = {"GIF8", "8BPS", "#?", "P5", "P6", "\x53\x80\xF6\x34"};
constexpr std::string_view kPngAndBmpSignatures[] = {"\x89PNG", "BM"};

template <size_t N>
bool StartsWithAny(std::string_view bytes, const std::string_view (&signatures)[N]) {
    return std::any_of(std::begin(signatures), std::end(signatures),
                       [&](std::string_view magic) { return bytes.substr(0, magic.size()) == magic; });
}

bool LooksLikeTga(std::string_view bytes) {
    if (bytes.size() < 18) return false;
    // TGA has no signature: anything the other formats' signatures claim is not one.
    if (StartsWithAny(bytes, kPngAndBmpSignatures) || StartsWithAny(bytes, kRefusedSignatures)) return false;
    if (JpegStart(bytes) != 0) return false;
    const unsigned type = uint8_t(bytes[2]);
    return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}

void CheckTgaComplete(std::string_view bytes, uint64_t width, uint64_t height, const std::string& name) {
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned type = b[2];
    const size_t colourMapBytes = b[1] ? size_t((b[5] | (b[6] << 8))) * ((b[7] + 7u) / 8u) : 0;
    const size_t pixelBytes = std::max(1u, (b[16] + 7u) / 8u);
    size_t p = 18 + size_t(b[0]) + colourMapBytes;
    uint64_t pixels = width * height;
    if (type < 9) {
        if (p + pixels * pixelBytes > bytes.size()) Fail(name, "TGA image data is truncated");
        return;
    }
    // Run-length packets: a count byte, then one pixel (a run) or count pixels.
    while (pixels > 0) {
        if (p >= bytes.size()) Fail(name, "TGA image data is truncated");
        const unsigned packet = b[p++];
        const uint64_t count = (packet & 0x7F) + 1u;
        p += (packet & 0x80) ? pixelBytes : size_t(count) * pixelBytes;
        pixels -= std::min(count, pixels);
    }
    if (p > bytes.size()) Fail(name, "TGA image data is truncated");
}

// Everything checked before the decoder touches the pixels.
ImageSize ReadStbHeader(std::string_view bytes, const std::string& name) {
    if (bytes.size() > size_t(INT_MAX)) Fail(name, "image file is too large");
    if (StartsWithAny(bytes, kRefusedSignatures)) Fail(name, "not a JPEG, PNG, TGA, BMP or DDS image");
    // Before the decoder reads even the header.
    if (const size_t start = JpegStart(bytes)) CheckJpeg(bytes, start, name);
    int w = 0, h = 0, channels = 0;
    if (!stbi_info_from_memory(reinterpret_cast<const stbi_uc*>(bytes.data()), int(bytes.size()), &w, &h, &channels)) {
        const char* reason = stbi_failure_reason();
        Fail(name, std::string("not a readable image (") + (reason ? reason : "unknown format") + ")");
    }
    CheckTextureSize(uint64_t(std::max(w, 0)), uint64_t(std::max(h, 0)), name);
    // No real file packs more texels into a byte than this; a header claiming
    // more would only make the decoder allocate for data that is not there.
    if (uint64_t(w) * uint64_t(h) > 16384 * uint64_t(bytes.size()) + (uint64_t(1) << 20)) {
        Fail(name, "image size " + std::to_string(w) + " x " + std::to_string(h) + " is more than a " +
                       std::to_string(bytes.size()) + "-byte file can hold");
    }
    if (LooksLikeTga(bytes)) CheckTgaComplete(bytes, uint64_t(w), uint64_t(h), name);
    return {uint32_t(w), uint32_t(h)};
}

DecodedImage DecodeWithStb(std::string_view bytes, const std::string& name) {
    ReadStbHeader(bytes, name);
    const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
    const int length = int(bytes.size());
    int w = 0, h = 0, channels = 0;
    std::unique_ptr<stbi_uc, void (*)(void*)> pixels(stbi_load_from_memory(data, length, &w, &h, &channels, 4),
                                                     stbi_image_free);
    if (!pixels) {
        const char* reason = stbi_failure_reason();
        Fail(name, std::string("cannot decode image (") + (reason ? reason : "corrupt data") + ")");
    }
    CheckTextureSize(uint64_t(w), uint64_t(h), name);
    DecodedImage image;
    image.width = uint32_t(w);
    image.height = uint32_t(h);
    image.rgba.assign(pixels.get(), pixels.get() + size_t(w) * h * 4);
    return image;
}

}  // namespace

namespace {

bool IsDds(std::string_view bytes) { return bytes.size() >= 4 && bytes.substr(0, 4) == "DDS "; }

}  // namespace

DecodedImage DecodeImage(std::string_view bytes, const std::string& name) {
    if (bytes.empty()) Fail(name, "image file is empty");
    if (IsDds(bytes)) return DecodeDds(bytes, name);
    return DecodeWithStb(bytes, name);
}

ImageSize ReadImageSize(std::string_view bytes, const std::string& name) {
    if (bytes.empty()) Fail(name, "image file is empty");
    if (IsDds(bytes)) {
        const DecodedImage image = DecodeDds(bytes, name);
        return {image.width, image.height};
    }
    return ReadStbHeader(bytes, name);
}

std::string ImageFormat(std::string_view bytes) {
    if (IsDds(bytes)) {
        if (bytes.size() < 128) return "DDS";
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        if (ReadLittle32(p + 80) & kFourCC) return "DDS " + std::string(bytes.substr(84, 4));
        return "DDS " + std::to_string(ReadLittle32(p + 88)) + "-bit";
    }
    if (JpegStart(bytes) != 0) return "JPEG";
    if (bytes.substr(0, 4) == "\x89PNG") return "PNG";
    if (bytes.substr(0, 2) == "BM") return "BMP";
    if (LooksLikeTga(bytes)) return "TGA";
    return "unknown";
}

void CheckTextureSize(uint64_t width, uint64_t height, const std::string& name) {
    if (width == 0 || height == 0 || width > kMaxTextureSize || height > kMaxTextureSize) {
        Fail(name, "image size " + std::to_string(width) + " x " + std::to_string(height) +
                       " is outside 1 to " + std::to_string(kMaxTextureSize));
    }
}
