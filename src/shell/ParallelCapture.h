// A capture rendered in parts by child processes of this program. With the
// fixed-step clock every frame depends only on its number and the seed, so
// each part is an ordinary run with --start and --seconds; the parts' frames
// are those of a single run, and their videos are joined without re-encoding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "shell/CommandLine.h"

// Timeline frames [first, end) of one part; no end: to the end of the run.
struct CapturePart {
    int64_t first = 0;
    std::optional<int64_t> end;
};

// Splits timeline frames [first, end) into at most `jobs` parts of nearly
// equal length; with no end the last part runs to the end of the run, and the
// split assumes the timeline ends at `nominalEnd`.
std::vector<CapturePart> PlanCaptureParts(int64_t first, std::optional<int64_t> end, int64_t nominalEnd,
                                          uint32_t jobs);

// The command line of the part that writes to `output`: the parent's
// arguments, whatever they are, less --jobs, --capture, --start and --seconds,
// and then the part's own.
std::vector<std::string> PartArguments(int argc, const char* const* argv, const CapturePart& part, uint32_t fps,
                                       const std::string& output);

// Runs the parts of `line`'s capture in parallel, each with its share of the
// machine's cores for the renderer, and joins the videos. Returns the frames
// joined (0 for a folder of frames, which the parts fill themselves). Throws
// DemoError naming the part that failed.
uint64_t RunParallelCapture(const CommandLine& line, int argc, const char* const* argv, const std::string& musicPath);
