// The command line: options for today's desktops and for producing videos.
// With no arguments the demo runs full screen as it always has.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct CommandLine {
    bool help = false;
    bool version = false;
    bool windowed = false;
    bool noAudio = false;
    bool benchmark = false;
    std::optional<std::string> dataDir;
    std::optional<uint32_t> seed;
    std::optional<std::string> capture;  // a folder (existing, or ending in '/') or a video file
    uint32_t fps = 60;
    std::optional<double> seconds;
    // The output: a window's first size, or the frames of a capture or benchmark.
    uint32_t width = 1024;
    uint32_t height = 768;
    std::optional<int> msaa;  // samples per pixel; none given: the renderer's default
    bool check = false;                    // check the content instead of playing it
    std::optional<std::string> checkDir;   // the folder --check was given
    // Where the timeline is first shown, in seconds since it began (after
    // loading); with it --seconds counts from there.
    std::optional<double> start;
    std::optional<uint32_t> jobs;  // a capture split into this many processes
    // The command lines of a capture split into this many parts, printed for
    // a scheduler to run; the capture's output may then stand alone at the end.
    std::optional<uint32_t> plan;
    bool lossless = false;         // video capture encoded without loss
    // Segment videos joined into `join`, the music muxed in once.
    std::optional<std::string> join;
    std::vector<std::string> joinSegments;
    std::optional<std::string> map;  // a PNG of the camera paths instead of playing
    bool watch = false;              // a live run loads changed content files again
};

class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws UsageError naming the offending argument.
CommandLine ParseCommandLine(int argc, const char* const* argv);

// True when `capture` names a folder of PNG frames rather than a video file.
bool CaptureIsFolder(const std::string& capture);

const char* UsageText();

// The timeline frame shown at `seconds` of timeline time at `fps`: the first
// whose time is not before it (a hair's tolerance keeps k / fps at frame k).
int64_t TimelineFrameAt(double seconds, uint32_t fps);
