#include "shell/CapturePlan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string_view>

#include "loading/ObjectTable.h"
#include "loading/m_InitMesh.h"
#include "platform/capture/VideoCapture.h"
#include "timeline/m_InitSteps.h"

namespace {

// The steps of the timeline, each with its own loading screen.
constexpr int64_t kTimelineSteps = 4;

std::string Seconds(int64_t frames, uint32_t fps) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(frames) / fps);
    return text;
}

bool TakesValue(std::string_view arg) {
    for (std::string_view option :
         {"--data", "--seed", "--capture", "--fps", "--seconds", "--size", "--msaa", "--start", "--jobs", "--plan"}) {
        if (arg == option) return true;
    }
    return false;
}

// The file of part `index`: beside the output, named after it, so that a run
// on several machines finds them where the join looks.
std::string PartFile(const std::string& output, size_t index) {
    const std::filesystem::path out = std::filesystem::absolute(output);
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, ".part-%03zu.mkv", index);
    return (out.parent_path() / (out.stem().string() + suffix)).string();
}

}  // namespace

std::vector<CapturePart> PlanCaptureParts(int64_t first, std::optional<int64_t> end, int64_t nominalEnd,
                                          uint32_t jobs) {
    const int64_t runEnd = std::max(nominalEnd, first + 1);
    const int64_t last = end ? std::min(*end, runEnd) : runEnd;
    const int64_t count = std::max<int64_t>(std::min<int64_t>(jobs, last - first), 1);
    std::vector<CapturePart> parts;
    for (int64_t i = 0; i < count; ++i) {
        CapturePart part{first + (last - first) * i / count, first + (last - first) * (i + 1) / count};
        parts.push_back(part);
    }
    parts.back().end = end;
    return parts;
}

std::vector<std::string> PartArguments(int argc, const char* const* argv, const CapturePart& part, uint32_t fps,
                                       uint32_t seed, const std::string& output) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const bool dropped = arg == "--jobs" || arg == "--plan" || arg == "--capture" || arg == "--start" ||
                             arg == "--seconds" || arg == "--seed";
        if (TakesValue(arg) && i + 1 < argc) {
            if (!dropped) {
                arguments.emplace_back(arg);
                // A part may run in another folder than the one it was planned in.
                arguments.emplace_back(arg == "--data" ? std::filesystem::absolute(argv[i + 1]).string()
                                                       : std::string(argv[i + 1]));
            }
            ++i;
        } else if (arg.starts_with("-")) {
            arguments.emplace_back(arg);
        }
    }
    arguments.insert(arguments.end(), {"--seed", std::to_string(seed), "--capture", output, "--start",
                                       Seconds(part.first, fps)});
    if (part.end) arguments.insert(arguments.end(), {"--seconds", Seconds(*part.end - part.first, fps)});
    return arguments;
}

int64_t LoadingScreenFrames() {
    return 2 + static_cast<int64_t>(MeshList.size() + ObjectTable.size()) + kTimelineSteps;
}

int64_t RunFramesIn(double seconds, uint32_t fps) {
    const auto milliseconds = static_cast<int64_t>(std::ceil(seconds * 1000.0));
    return (milliseconds * fps + 999) / 1000;
}

uint32_t ChooseSeed() { return std::random_device{}(); }

CapturePlan PlanCapture(const CommandLine& line, int argc, const char* const* argv, uint32_t count, uint32_t seed) {
    const int64_t first = TimelineFrameAt(line.start.value_or(0.0), line.fps);
    std::optional<int64_t> end;
    if (line.seconds && line.start) {
        end = TimelineFrameAt(*line.start + *line.seconds, line.fps);
    } else if (line.seconds) {
        // Without --start the seconds count from the program's start, the
        // loading screen included, as in a capture in one process.
        end = RunFramesIn(*line.seconds, line.fps) - LoadingScreenFrames();
        if (*end <= 0) {
            throw UsageError("--seconds " + Seconds(RunFramesIn(*line.seconds, line.fps), line.fps) +
                             " ends on the loading screen; a capture that short cannot be split into parts");
        }
    }
    const int64_t nominalEnd = TimelineFrameAt(TimelineMilliseconds() / 1000.0, line.fps);

    CapturePlan plan;
    plan.seed = line.seed.value_or(seed);
    const bool folder = CaptureIsFolder(*line.capture);
    const std::vector<CapturePart> parts = PlanCaptureParts(first, end, nominalEnd, count);
    for (size_t i = 0; i < parts.size(); ++i) {
        const std::string output = folder ? std::filesystem::absolute(*line.capture).string() : PartFile(*line.capture, i);
        PartCommand part{parts[i], output, PartArguments(argc, argv, parts[i], line.fps, plan.seed, output)};
        plan.parts.push_back(std::move(part));
    }
    if (!folder) {
        plan.join = {"--join", std::filesystem::absolute(*line.capture).string()};
        for (const PartCommand& part : plan.parts) plan.join.push_back(part.output);
        if (line.dataDir) plan.join.insert(plan.join.end(), {"--data", std::filesystem::absolute(*line.dataDir)});
    }
    return plan;
}

std::string ShellLine(const std::vector<std::string>& arguments) {
    std::string text;
    for (const std::string& argument : arguments) {
        if (!text.empty()) text += ' ';
        const bool plain = !argument.empty() && std::all_of(argument.begin(), argument.end(), [](unsigned char c) {
            return std::isalnum(c) || std::string_view("_./:=,+-@%").find(char(c)) != std::string_view::npos;
        });
        text += plain ? argument : QuoteForShell(argument);
    }
    return text;
}
