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

extern char** environ;

namespace {

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

ParallelCaptureResult RunParallelCapture(const CommandLine& line, int argc, const char* const* argv,
                                         const std::string& musicPath) {
    const CapturePlan plan = PlanCapture(line, argc, argv, *line.jobs, ChooseSeed());
    const std::vector<PartCommand>& parts = plan.parts;
    const uint32_t cores = std::max(1u, std::thread::hardware_concurrency());
    std::vector<std::string> environment = PartEnvironment(std::max<uint32_t>(1, cores / uint32_t(parts.size())));
    std::vector<char*> environmentPointers = Pointers(environment);

    std::vector<pid_t> children;
    for (const PartCommand& part : parts) {
        std::vector<std::string> arguments = part.arguments;
        arguments.insert(arguments.begin(), "velmora");
        std::vector<char*> argumentPointers = Pointers(arguments);
        pid_t child = 0;
        if (posix_spawn(&child, "/proc/self/exe", nullptr, nullptr, argumentPointers.data(),
                        environmentPointers.data()) != 0) {
            for (pid_t started : children) waitpid(started, nullptr, 0);
            throw DemoError("cannot start the process for " + Describe(part.frames));
        }
        children.push_back(child);
    }
    std::optional<std::string> failure;
    for (size_t i = 0; i < children.size(); ++i) {
        int status = 0;
        waitpid(children[i], &status, 0);
        if ((!WIFEXITED(status) || WEXITSTATUS(status) != 0) && !failure) {
            failure = "the process for " + Describe(parts[i].frames) + " failed (" +
                      (WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                         : "signal " + std::to_string(WTERMSIG(status))) +
                      ")";
        }
    }
    if (failure) throw DemoError(*failure);
    if (plan.join.empty()) return {0, plan.seed};
    std::vector<std::string> files;
    for (const PartCommand& part : parts) files.push_back(part.output);
    const uint64_t frames = JoinSegments(files, *line.capture, musicPath);
    std::error_code ignored;
    for (const std::string& file : files) std::filesystem::remove(file, ignored);
    return {frames, plan.seed};
}
