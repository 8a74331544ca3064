// Byte-level writers for building files in tests: little-endian integers,
// small JPEG and TGA images, and the MSZIP compression of .x files.
#pragma once

#include <stb_image_write.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

inline void Put16(std::string& s, uint16_t v) { s.append(reinterpret_cast<const char*>(&v), 2); }
inline void Put32(std::string& s, uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }

// A JPEG of `width` x `height` pixels with every channel at `grey`.
inline std::string Jpeg(int width, int height, uint8_t grey = 200, int quality = 90) {
    std::string out;
    const std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3, grey);
    stbi_write_jpg_to_func(
        [](void* context, void* data, int size) { static_cast<std::string*>(context)->append(static_cast<char*>(data), size_t(size)); },
        &out, width, height, 3, pixels.data(), quality);
    return out;
}

// The 18-byte header of a TGA of image `type` (2: true colour, 10: run-length).
inline std::string TgaHeader(uint8_t type, uint16_t width, uint16_t height, uint8_t bits, bool topFirst = true) {
    std::string s(12, '\0');
    s[2] = char(type);
    Put16(s, width);
    Put16(s, height);
    s += char(bits);
    s += char((bits == 32 ? 8 : 0) | (topFirst ? 0x20 : 0));
    return s;
}

// MSZIP-compresses a text or binary .x file: raw deflate blocks of at most
// `blockSize` bytes behind "CK", each primed with the output before it so that
// blocks may refer back.
inline std::string CompressX(const std::string& file, size_t blockSize) {
    std::string out = file.substr(0, 16);
    out.replace(8, 4, file.substr(8, 4) == "txt " ? "tzip" : "bzip");
    const std::string body = file.substr(16);
    Put32(out, uint32_t(body.size() + 16));
    z_stream zs{};
    if (deflateInit2(&zs, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("zlib");
    for (size_t pos = 0; pos < body.size(); pos += blockSize) {
        const size_t n = std::min(blockSize, body.size() - pos);
        deflateReset(&zs);
        if (pos > 0) {
            const size_t dict = std::min<size_t>(pos, 32768);
            deflateSetDictionary(&zs, reinterpret_cast<const Bytef*>(body.data() + pos - dict), uInt(dict));
        }
        std::vector<Bytef> buffer(deflateBound(&zs, uLong(n)) + 16);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data() + pos));
        zs.avail_in = uInt(n);
        zs.next_out = buffer.data();
        zs.avail_out = uInt(buffer.size());
        if (deflate(&zs, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
        const size_t produced = buffer.size() - zs.avail_out;
        Put16(out, uint16_t(n));
        Put16(out, uint16_t(produced + 2));
        out += "CK";
        out.append(reinterpret_cast<const char*>(buffer.data()), produced);
    }
    deflateEnd(&zs);
    return out;
}
