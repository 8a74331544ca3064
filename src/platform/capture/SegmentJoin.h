// Joining the videos of a run rendered in parts. Each part (a video capture
// started with --start) carries in its metadata where it lies in the whole
// run; the parts must follow one another without a gap or an overlap, the
// first from the run's first frame. Their video streams are joined without
// re-encoding and the music is muxed in once, at the frame the timeline began
// on, so that no join shows in the sound.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SegmentPlace {
    std::string file;
    uint32_t fps = 0;
    uint64_t firstFrame = 0;     // the whole run's index of the part's first frame
    uint64_t frames = 0;
    uint64_t timelineFrame = 0;  // the run's frame on which the timeline (and the music) began
    std::optional<uint32_t> seed;  // none: the part chose its own
    std::string size;              // WIDTHxHEIGHT
};

// Reads a part's place from its metadata; throws DemoError naming the file
// when it cannot be read or is not a part of a run.
SegmentPlace ReadSegmentPlace(const std::string& file);

// Puts the parts in the order of their frames and checks that they make one
// run: the same frame rate, loading, seed and size, no part twice, none
// missing; throws DemoError naming the parts at fault.
std::vector<SegmentPlace> OrderSegments(std::vector<SegmentPlace> parts);

// Joins the parts into `output` with the music at `musicPath` (ffmpeg's concat
// demuxer, video copied). Returns the number of frames written.
uint64_t JoinSegments(const std::vector<std::string>& files, const std::string& output, const std::string& musicPath);
