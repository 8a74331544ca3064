#include "platform/music/Mp3Frames.h"

#include <optional>

#include "base/Errors.h"

namespace {

struct FrameHeader {
    uint32_t bytes = 0;
    uint32_t samples = 0;
    uint32_t sampleRate = 0;
    std::string format;
};

// Kilobits per second by MPEG-1 layer I, II, III, then MPEG-2/2.5 layer I and II/III;
// index 0 (free format) and 15 are not used.
constexpr uint16_t kBitrates[5][15] = {
    {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
    {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},
    {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
    {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
};
constexpr uint32_t kSampleRates[3] = {44100, 48000, 32000};

// The frame whose header starts at `p`, when the four bytes there are one.
std::optional<FrameHeader> ReadHeader(std::string_view bytes, size_t p) {
    if (p + 4 > bytes.size()) return std::nullopt;
    const auto b = [&](size_t i) { return uint8_t(bytes[p + i]); };
    if (b(0) != 0xFF || (b(1) & 0xE0) != 0xE0) return std::nullopt;
    const unsigned version = (b(1) >> 3) & 3;  // 0: MPEG-2.5, 2: MPEG-2, 3: MPEG-1
    const unsigned layer = 4 - ((b(1) >> 1) & 3);  // 4: reserved
    const unsigned bitrateIndex = b(2) >> 4, rateIndex = (b(2) >> 2) & 3;
    if (version == 1 || layer == 4 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return std::nullopt;
    const bool mpeg1 = version == 3;
    const unsigned table = mpeg1 ? layer - 1 : (layer == 1 ? 3 : 4);
    FrameHeader header;
    header.sampleRate = kSampleRates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    header.samples = layer == 1 ? 384 : (layer == 3 && !mpeg1) ? 576 : 1152;
    const uint32_t bitsPerSecond = kBitrates[table][bitrateIndex] * 1000u;
    const uint32_t padding = (b(2) >> 1) & 1;
    header.bytes = layer == 1 ? (12 * bitsPerSecond / header.sampleRate + padding) * 4
                              : header.samples / 8 * bitsPerSecond / header.sampleRate + padding;
    static const char* const kVersions[4] = {"MPEG-2.5", "", "MPEG-2", "MPEG-1"};
    static const char* const kLayers[4] = {"", "I", "II", "III"};
    header.format = std::string(kVersions[version]) + " Layer " + kLayers[layer];
    return header;
}

// True when a frame starts at `p` and is followed by another one or by the end
// of the file: a lone pair of sync bytes inside other data is not taken for one.
bool FrameAt(std::string_view bytes, size_t p) {
    const std::optional<FrameHeader> header = ReadHeader(bytes, p);
    if (!header || p + header->bytes > bytes.size()) return false;
    return p + header->bytes == bytes.size() || ReadHeader(bytes, p + header->bytes).has_value();
}

}  // namespace

Mp3Stream ReadMp3Frames(std::string_view bytes, const std::string& name) {
    size_t p = 0;
    if (bytes.size() >= 10 && bytes.substr(0, 3) == "ID3") {
        const auto b = [&](size_t i) { return size_t(uint8_t(bytes[i]) & 0x7F); };
        p = 10 + ((b(6) << 21) | (b(7) << 14) | (b(8) << 7) | b(9)) + ((uint8_t(bytes[5]) & 0x10) ? 10 : 0);
    }
    Mp3Stream stream;
    size_t expected = p;  // where the frame after the last one counted starts
    while (p < bytes.size()) {
        const std::optional<FrameHeader> header = ReadHeader(bytes, p);
        // Right after a frame the next one follows; anywhere else a frame must prove itself.
        if (!header || p + header->bytes > bytes.size() || (p != expected && !FrameAt(bytes, p))) {
            ++p;
            continue;
        }
        if (stream.frames == 0) {
            stream.sampleRate = header->sampleRate;
            stream.format = header->format;
        }
        ++stream.frames;
        stream.samples += header->samples;
        p += header->bytes;
        expected = p;
    }
    if (stream.frames == 0) throw ContentError(name + ": holds no MPEG audio frame (not an MP3 file)");
    return stream;
}
