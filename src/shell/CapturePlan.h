// How a capture is cut into parts that any process, on any machine, can
// render: each part is an ordinary run of this program with --start and
// --seconds and one fixed seed, so that the parts' frames are those of one
// run; a join line then puts the videos together. `--jobs` runs such a plan
// itself, `--plan` prints it for a scheduler.
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
// equal length; with no end (or one past it) the split assumes the timeline
// ends at `nominalEnd`, and the last part runs to the end asked for.
std::vector<CapturePart> PlanCaptureParts(int64_t first, std::optional<int64_t> end, int64_t nominalEnd,
                                          uint32_t jobs);

// The command line of the part that writes to `output`: the parent's
// arguments, whatever they are, less --jobs, --plan, --capture, --start,
// --seconds, --seed and the output of --plan, and then the part's own.
std::vector<std::string> PartArguments(int argc, const char* const* argv, const CapturePart& part, uint32_t fps,
                                       uint32_t seed, const std::string& output);

// Frames a run shows before its timeline's first: the loading screen, drawn
// once for the graphics mode, once for the fonts and once for each mesh,
// object and step loaded.
int64_t LoadingScreenFrames();

// The frames a capture of `seconds` of demo time from the program's start
// holds: the fixed-step clock counts whole milliseconds, and the run stops
// after the first frame at or past the limit.
int64_t RunFramesIn(double seconds, uint32_t fps);

// A seed for a run that was given none.
uint32_t ChooseSeed();

struct PartCommand {
    CapturePart frames;
    std::string output;
    std::vector<std::string> arguments;  // without the program
};

struct CapturePlan {
    uint32_t seed = 0;
    std::vector<PartCommand> parts;
    std::vector<std::string> join;  // without the program; empty for a folder of frames, which the parts fill
};

// The plan of `line`'s capture in `count` parts (its seed, or `seed` when it
// has none). The parts' videos lie beside the output, named after it. Throws
// UsageError when --seconds ends before the loading screen does, which no part
// can stop inside.
CapturePlan PlanCapture(const CommandLine& line, int argc, const char* const* argv, uint32_t count, uint32_t seed);

// `arguments` as one line for the shell, each quoted where it needs it.
std::string ShellLine(const std::vector<std::string>& arguments);
