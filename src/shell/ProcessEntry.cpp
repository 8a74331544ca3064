// The process entry point: parses the command line, sets up the platform
// objects, runs the demo and reports any error that escapes it.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>

#include "base/Errors.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "platform/capture/FrameCapture.h"
#include "platform/capture/SegmentJoin.h"
#include "platform/capture/VideoCapture.h"
#include "platform/device/Device.h"
#include "platform/files/Files.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "shell/Benchmark.h"
#include "shell/CameraMap.h"
#include "shell/CapturePlan.h"
#include "shell/CommandLine.h"
#include "shell/ContentCheck.h"
#include "shell/FrameFollower.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/ParallelCapture.h"
#include "shell/Playback.h"
#include "shell/m_Terminate.h"

namespace {

std::string ContentFolder(const CommandLine& line) {
    if (line.dataDir) return GivenContentFolder(*line.dataDir);
    return FindContentFolder(DefaultContentFolders());
}

int RunDemo(const CommandLine& line, std::chrono::steady_clock::time_point processStart) {
    const bool offscreen = line.capture || line.benchmark;
    const bool videoCapture = line.capture && !CaptureIsFolder(*line.capture);

    AppPath = ContentFolder(line);
    const RunClock runClock = CreateRunClock(offscreen, line.fps);
    Clock* const clock = runClock.clock.get();
    FixedStepClock* const fixedStep = runClock.fixed;
    Random random;
    if (line.seed) random.FixSeed(*line.seed);

    std::unique_ptr<VideoCapture> video;
    std::unique_ptr<PngFrameWriter> frames;
    if (videoCapture) {
        video = std::make_unique<VideoCapture>(*line.capture, line.fps, line.width, line.height, line.lossless);
    } else if (line.capture) {
        frames = std::make_unique<PngFrameWriter>(*line.capture);
    }
    std::unique_ptr<MusicPlayer> player =
        video ? video->CreateMusicRecorder() : CreateMusicPlayer(!line.noAudio && !offscreen);

    WindowOptions options;
    options.fullscreen = !line.windowed && !offscreen;
    options.offscreen = offscreen;
    options.outputWidth = static_cast<int>(line.width);
    options.outputHeight = static_cast<int>(line.height);
    if (line.msaa) options.antialiasing = *line.msaa;
    Window window(options);
    PresentListener* sink = video ? static_cast<PresentListener*>(video.get()) : frames.get();
    FrameFollower follower(*clock, line.seconds, sink);
    std::unique_ptr<Benchmark> benchmark;
    if (line.benchmark) benchmark = std::make_unique<Benchmark>(processStart, follower);
    // A live run takes the keys of a player: pause, seeks, full screen, stills, the info line.
    std::unique_ptr<Playback> playback;
    if (!offscreen) {
        PlaybackOptions playbackOptions;
        playbackOptions.framesPerSecond = RealClock::kSkippedFramesPerSecond;
        playbackOptions.watch = line.watch;
        playback = std::make_unique<Playback>(playbackOptions, &follower);
    }
    window.SetPresentListener(benchmark  ? static_cast<PresentListener*>(benchmark.get())
                              : playback ? static_cast<PresentListener*>(playback.get())
                                         : &follower);

    TimelineStart start;
    if (line.start) {
        const uint32_t skipRate = offscreen ? line.fps : uint32_t{RealClock::kSkippedFramesPerSecond};
        start.frames = TimelineFrameAt(*line.start, skipRate);
        std::optional<int64_t> shown;
        if (line.seconds) shown = TimelineFrameAt(*line.start + *line.seconds, skipRate) - start.frames;
        follower.HoldFrames(start.frames > 0);
        start.reached = [&, shown](double fastForwardSeconds) {
            if (fixedStep != nullptr) {
                // The run's index of the first frame handed over, and of the timeline's first frame.
                const uint64_t first = start.frames > 0 ? fixedStep->Frames() : 0;
                const uint64_t timeline = fixedStep->Frames() - static_cast<uint64_t>(start.frames);
                if (frames) frames->NumberFrom(first);
                if (video) video->PlaceInRun(first, timeline, line.seed);
            }
            if (benchmark) benchmark->StartCounting(fastForwardSeconds);
            if (start.frames > 0 && line.capture) {
                std::cerr << "velmora: fast-forwarded " << start.frames << " frames to " << *line.start << " s in "
                          << fastForwardSeconds << " s" << std::endl;
            }
            follower.ShowFrom(shown);
        };
    }

    const int status = RunDemoOn({window, *clock, random, *player}, start, benchmark.get(), playback.get());
    if (video) {
        video->Finish();
        std::cerr << "velmora: wrote " << video->FramesWritten() << " frames to " << *line.capture << std::endl;
    }
    if (frames) std::cerr << "velmora: wrote " << frames->FramesWritten() << " frames to " << *line.capture << std::endl;
    if (benchmark) std::cout << benchmark->Report() << std::endl;
    return status;
}

// Checks the content instead of playing it: 0 when all of it would play.
int RunCheck(const CommandLine& line) {
    AppPath = line.checkDir ? GivenContentFolder(*line.checkDir) : ContentFolder(line);
    return CheckContent(std::cout) == 0 ? 0 : 1;
}

// Ends the process without running destructors: the device objects are
// dropped in their fixed order by m_Terminate and the rest goes with the process.
[[noreturn]] void EndProcess(int status) {
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    std::_Exit(status);
}

}  // namespace

int main(int argc, char** argv) {
    const auto processStart = std::chrono::steady_clock::now();
    // One heap for every thread: images decoded on the loader's worker threads
    // are freed on the main thread, and memory left in per-thread heaps would
    // only add to the process's size.
    mallopt(M_ARENA_MAX, 1);
    try {
        const CommandLine line = ParseCommandLine(argc, argv);
        if (line.help) {
            std::cout << UsageText();
            return 0;
        }
        if (line.version) {
            std::cout << "velmora " << VELMORA_VERSION << '\n';
            return 0;
        }
        if (line.check) EndProcess(RunCheck(line));
        if (line.map) {
            AppPath = ContentFolder(line);
            WriteCameraMap(BuildCameraMap(ObjectTable), *line.map);
            std::cerr << "velmora: the camera map of " << AppPath << " written to " << *line.map << std::endl;
            EndProcess(0);
        }
        if (line.join) {
            const uint64_t frames =
                JoinSegments(line.joinSegments, *line.join, ResolvePath(ContentFolder(line) + MusicFileName));
            std::cerr << "velmora: joined " << line.joinSegments.size() << " parts, " << frames << " frames, into "
                      << *line.join << std::endl;
            EndProcess(0);
        }
        if (line.plan) {
            const CapturePlan plan = PlanCapture(line, argc, argv, *line.plan, ChooseSeed());
            const std::string program = ShellLine({std::filesystem::read_symlink("/proc/self/exe").string()});
            for (const PartCommand& part : plan.parts) std::cout << program << ' ' << ShellLine(part.arguments) << '\n';
            if (!plan.join.empty()) std::cout << program << ' ' << ShellLine(plan.join) << '\n';
            EndProcess(0);
        }
        if (line.jobs) {
            const ParallelCaptureResult result =
                RunParallelCapture(line, argc, argv, ResolvePath(ContentFolder(line) + MusicFileName));
            std::cerr << "velmora: " << (result.frames > 0 ? "joined " + std::to_string(result.frames) + " frames into "
                                                           : "wrote the parts' frames into ")
                      << *line.capture << " (seed " << result.seed << ")" << std::endl;
            EndProcess(0);
        }
        EndProcess(RunDemo(line, processStart));
    } catch (const UsageError& error) {
        std::cerr << "velmora: " << error.what() << "\n\n" << UsageText();
        EndProcess(2);
    } catch (const ProcessExit& exit) {
        EndProcess(exit.status);
    } catch (const std::exception& error) {
        std::cerr << "velmora: " << error.what() << std::endl;
        EndProcess(1);
    }
}
