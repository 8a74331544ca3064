// The length of an MP3 file from its frame headers, without decoding the
// audio or opening a sound device: what a content check can say about the
// music before the demo plays it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct Mp3Stream {
    uint64_t frames = 0;
    uint64_t samples = 0;      // per channel
    uint32_t sampleRate = 0;   // of the first frame
    std::string format;        // "MPEG-1 Layer III" and so on
    double Seconds() const { return sampleRate == 0 ? 0.0 : double(samples) / sampleRate; }
};

// Walks the MPEG audio frames of `bytes`, after an ID3v2 tag when there is one,
// passing over bytes between frames as decoders do. Throws ContentError naming
// `name` when the file holds no frame.
Mp3Stream ReadMp3Frames(std::string_view bytes, const std::string& name);
