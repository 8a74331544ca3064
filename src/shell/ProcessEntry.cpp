// The process entry point: parses the command line, sets up the platform
// objects, runs the demo and reports any error that escapes it.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>

#include "common/Errors.h"
#include "common/Variables.h"
#include "loading/ContentCheck.h"
#include "platform/capture/FrameCapture.h"
#include "platform/capture/VideoCapture.h"
#include "platform/device/Device.h"
#include "platform/files/Files.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "shell/Benchmark.h"
#include "shell/CommandLine.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/m_Terminate.h"

namespace {

// Follows the presented frames: advances the fixed-step clock, hands the
// pixels to a capture when there is one, and ends a capture or benchmark once
// its demo time is up.
class FrameFollower final : public PresentListener {
public:
    FrameFollower(Clock& clock, std::optional<double> seconds, PresentListener* sink)
        : clock_(clock), seconds_(seconds), sink_(sink), firstTick_(clock.TickCount()) {}

    void OnPresentStart() override {
        if (sink_ != nullptr) sink_->OnPresentStart();
    }
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (sink_ != nullptr) sink_->OnPresent(rgba, width, height);
        clock_.OnFramePresented();
        if (seconds_ && static_cast<double>(TickDifference(clock_.TickCount(), firstTick_)) >= *seconds_ * 1000.0) {
            m_Terminate();
        }
    }
    bool WantsPixels() const override { return sink_ != nullptr && sink_->WantsPixels(); }
    bool TakesPixelsLate() const override { return sink_ != nullptr && sink_->TakesPixelsLate(); }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (sink_ != nullptr) sink_->OnFramePixels(rgba, width, height);
    }

private:
    Clock& clock_;
    std::optional<double> seconds_;
    PresentListener* sink_;
    int32_t firstTick_;
};

std::string ContentFolder(const CommandLine& line) {
    if (line.dataDir) return GivenContentFolder(*line.dataDir);
    return FindContentFolder(DefaultContentFolders());
}

int RunDemo(const CommandLine& line, std::chrono::steady_clock::time_point processStart) {
    const bool offscreen = line.capture || line.benchmark;
    const bool videoCapture = line.capture && !CaptureIsFolder(*line.capture);

    AppPath = ContentFolder(line);
    std::unique_ptr<Clock> clock;
    if (offscreen) {
        clock = std::make_unique<FixedStepClock>(line.fps);
    } else {
        clock = std::make_unique<RealClock>();
    }
    Random random;
    if (line.seed) random.FixSeed(*line.seed);

    std::unique_ptr<VideoCapture> video;
    std::unique_ptr<PngFrameWriter> frames;
    if (videoCapture) {
        video = std::make_unique<VideoCapture>(*line.capture, line.fps, line.width, line.height);
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
    window.SetPresentListener(benchmark ? static_cast<PresentListener*>(benchmark.get()) : &follower);

    SystemClock = clock.get();
    Rng = &random;
    mp3 = player.get();
    frmMain = &window;
    int status = 0;
    try {
        if (benchmark) {
            frmMain->Show();
            RunMain(benchmark->Wrap(DemoRoutines()));
        } else {
            frmMain_Load();
        }
    } catch (const ProcessExit& exit) {
        status = exit.status;
    }
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
