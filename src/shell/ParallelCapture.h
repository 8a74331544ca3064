// A capture rendered in parts by child processes of this program. With the
// fixed-step clock every frame depends only on its number and the seed, so
// each part is an ordinary run with --start and --seconds; the parts' frames
// are those of a single run, and their videos are joined without re-encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/CapturePlan.h"
#include "shell/CommandLine.h"

struct ParallelCaptureResult {
    uint64_t frames = 0;  // joined; 0 for a folder of frames, which the parts fill themselves
    uint32_t seed = 0;    // the one every part was given
};

// Runs the parts of `line`'s capture (PlanCapture) in parallel, each with its
// share of the machine's cores for the renderer, and joins the videos. Throws
// DemoError naming the part that failed.
ParallelCaptureResult RunParallelCapture(const CommandLine& line, int argc, const char* const* argv,
                                         const std::string& musicPath);
