// The soundtrack: a synthesised piece in A minor at 120 beats per minute with
// an intro, a build-up, a quiet middle for the cathedral, a climax and an
// ending near 150 s, encoded as MP3.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace content {

constexpr int kMusicRate = 44100;
constexpr double kMusicSeconds = 165.0;

// Interleaved stereo 16-bit samples.
std::vector<int16_t> SynthesizeMusic();

// MP3 at `kbps` (constant bit rate), joint stereo, no tag frames.
std::string EncodeMp3(const std::vector<int16_t>& stereo, int rate, int kbps);

}  // namespace content
