#include "shell/ParallelCapture.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <thread>

#include "base/Errors.h"
#include "platform/capture/SegmentJoin.h"
#include "timeline/m_InitSteps.h"

extern char** environ;

namespace {

std::string Seconds(int64_t frames, uint32_t fps) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", static_cast<double>(frames) / fps);
    return text;
}

// The environment of a part: this process's, with the renderer's thread count
// set unless the user set it.
std::vector<std::string> PartEnvironment(uint32_t threads) {
    std::vector<std::string> variables;
    bool threadsSet = false;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        variables.emplace_back(*variable);
        if (std::string_view(*variable).starts_with("LP_NUM_THREADS=")) threadsSet = true;
    }
    if (!threadsSet) variables.push_back("LP_NUM_THREADS=" + std::to_string(threads));
    return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

std::string Describe(const CapturePart& part) {
    return "timeline frames " + std::to_string(part.first) + " to " +
           (part.end ? std::to_string(*part.end - 1) : std::string("the end"));
}

}  // namespace

std::vector<CapturePart> PlanCaptureParts(int64_t first, std::optional<int64_t> end, int64_t nominalEnd,
                                          uint32_t jobs) {
    const int64_t last = end.value_or(std::max(nominalEnd, first + 1));
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
                                       const std::string& output) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--jobs" || arg == "--capture" || arg == "--start" || arg == "--seconds") {
            ++i;
            continue;
        }
        arguments.emplace_back(arg);
    }
    arguments.insert(arguments.end(), {"--capture", output, "--start", Seconds(part.first, fps)});
    if (part.end) arguments.insert(arguments.end(), {"--seconds", Seconds(*part.end - part.first, fps)});
    return arguments;
}

uint64_t RunParallelCapture(const CommandLine& line, int argc, const char* const* argv, const std::string& musicPath) {
    const int64_t first = TimelineFrameAt(line.start.value_or(0.0), line.fps);
    std::optional<int64_t> end;
    if (line.seconds) end = TimelineFrameAt(line.start.value_or(0.0) + *line.seconds, line.fps);
    const int64_t nominalEnd = TimelineFrameAt(TimelineMilliseconds() / 1000.0, line.fps);
    const std::vector<CapturePart> parts = PlanCaptureParts(first, end, nominalEnd, *line.jobs);

    const bool folder = CaptureIsFolder(*line.capture);
    const std::filesystem::path out(*line.capture);
    const std::filesystem::path partsFolder = out.parent_path() / (".velmora-parts-" + out.filename().string());
    if (!folder) {
        std::error_code error;
        std::filesystem::create_directories(partsFolder, error);
        if (error) throw DemoError("cannot create the folder for the parts " + partsFolder.string() + ": " + error.message());
    }
    const uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> environment = PartEnvironment(std::max<uint32_t>(1, cores / uint32_t(parts.size())));
    std::vector<char*> environmentPointers = Pointers(environment);

    std::vector<pid_t> children;
    std::vector<std::string> files;
    for (size_t i = 0; i < parts.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "part_%03zu.mkv", i);
        files.push_back(folder ? *line.capture : (partsFolder / name).string());
        std::vector<std::string> arguments = PartArguments(argc, argv, parts[i], line.fps, files.back());
        arguments.insert(arguments.begin(), "velmora");
        std::vector<char*> argumentPointers = Pointers(arguments);
        pid_t child = 0;
        if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argumentPointers.data(),
                        environmentPointers.data()) != 0) {
            for (pid_t started : children) waitpid(started, nullptr, 0);
            throw DemoError("cannot start the process for " + Describe(parts[i]));
        }
        children.push_back(child);
    }
    std::optional<std::string> failure;
    for (size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        if ((!WIFEXITED(status) || WEXITSTATUS(status) != 0) && !failure) {
            failure = "the process for " + Describe(parts[i]) + " failed (" +
                      (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                         : "signal " + std::to_string(WTERMSIG(status))) +
                      ")";
        }
    }
    if (failure) throw DemoError(*failure);
    if (folder) return 0;
    const uint64_t frames = JoinSegments(files, *line.capture, musicPath);
    std::error_code ignored;
    std::filesystem::remove_all(partsFolder, ignored);
    return frames;
}
