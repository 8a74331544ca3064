// The entry point in the browser. The page turns its URL's parameters into
// the native command line (?capture&fps=10 becomes --capture DIR --fps 10),
// adds the content folder and the canvas's size, and calls main; errors go to
// the page, which shows them, as well as to the console.
#include <emscripten.h>

#include <iostream>
#include <memory>

#include "base/Errors.h"
#include "common/Variables.h"
#include "platform/capture/FrameCapture.h"
#include "platform/files/Files.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "shell/Benchmark.h"
#include "shell/CommandLine.h"
#include "shell/FrameFollower.h"
#include "shell/Main.h"
#include "shell/m_Terminate.h"

namespace {

// The line the native program prints on stderr, shown on the page.
EM_JS(void, ReportFailure, (const char* message), { Module.velmoraFailed("velmora: " + UTF8ToString(message)); });
EM_JS(void, ReportEnd, (int status), { Module.velmoraEnded(status); });
EM_JS(void, ReportTimelineFrame, (double frame), { Module.velmoraTimelineFrame = frame; });
EM_JS(void, ReportFrame, (double frames), { Module.velmoraFrames = frames; });
// Lets the browser run its own tasks (the page, the driver's requests)
// between two frames nobody watches; a message round trip is not throttled
// the way timers are.
EM_ASYNC_JS(void, YieldToPage, (), { await Module.velmoraYield(); });
// Sends the frames written so far to the driver, waiting while too many are
// on their way.
EM_ASYNC_JS(void, ShipFrames, (const char* folder), { await Module.velmoraShipFrames(UTF8ToString(folder)); });

// A capture's frames: WebGL reads pixels back only at once, so each frame is
// written as it is presented, then sent on.
class PageFrameSink final : public PresentListener {
public:
    explicit PageFrameSink(const std::string& folder) : folder_(folder), writer_(folder) {}

    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (rgba == nullptr) return;
        writer_.OnFramePixels(rgba, width, height);
        ShipFrames(folder_.c_str());
    }
    bool WantsPixels() const override { return true; }
    bool TakesPixelsLate() const override { return false; }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        writer_.OnFramePixels(rgba, width, height);
    }
    void NumberFrom(uint64_t index) { writer_.NumberFrom(index); }
    uint64_t FramesWritten() const { return writer_.FramesWritten(); }

private:
    std::string folder_;
    PngFrameWriter writer_;
};

// Passes every frame on, then yields to the page: off screen nothing else
// would let the browser breathe.
class YieldingListener final : public PresentListener {
public:
    explicit YieldingListener(PresentListener& next, const FixedStepClock& clock) : next_(next), clock_(clock) {}
    void OnPresentStart() override { next_.OnPresentStart(); }
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        next_.OnPresent(rgba, width, height);
        ReportFrame(static_cast<double>(clock_.Frames()));
        YieldToPage();
    }
    bool WantsPixels() const override { return next_.WantsPixels(); }
    bool TakesPixelsLate() const override { return next_.TakesPixelsLate(); }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        next_.OnFramePixels(rgba, width, height);
    }

private:
    PresentListener& next_;
    const FixedStepClock& clock_;
};

int RunDemo(const CommandLine& line) {
    const bool offscreen = line.capture || line.benchmark;
    if (!line.dataDir) throw DemoError("the page gave no content folder");
    AppPath = GivenContentFolder(*line.dataDir);
    const RunClock runClock = CreateRunClock(offscreen, line.fps);
    Clock* const clock = runClock.clock.get();
    FixedStepClock* const fixedStep = runClock.fixed;
    Random random;
    if (line.seed) random.FixSeed(*line.seed);

    std::unique_ptr<PageFrameSink> frames;
    if (line.capture) frames = std::make_unique<PageFrameSink>(*line.capture);
    // A capture schedules the music too (the page keeps it silent), so that
    // where it starts can be checked against the frames.
    std::unique_ptr<MusicPlayer> player = CreateMusicPlayer(!line.noAudio && !line.benchmark);

    WindowOptions options;
    options.fullscreen = false;
    options.offscreen = offscreen;
    options.outputWidth = static_cast<int>(line.width);
    options.outputHeight = static_cast<int>(line.height);
    if (line.msaa) options.antialiasing = *line.msaa;
    Window window(options);
    FrameFollower follower(*clock, line.seconds, frames.get());
    std::unique_ptr<Benchmark> benchmark;
    if (line.benchmark) benchmark = std::make_unique<Benchmark>(std::chrono::steady_clock::now(), follower);
    PresentListener& first = benchmark ? static_cast<PresentListener&>(*benchmark) : follower;
    std::unique_ptr<YieldingListener> yielding;
    if (fixedStep != nullptr) yielding = std::make_unique<YieldingListener>(first, *fixedStep);
    window.SetPresentListener(yielding ? static_cast<PresentListener*>(yielding.get()) : &first);

    TimelineStart start;
    std::optional<int64_t> shown;
    if (line.start) {
        const uint32_t skipRate = offscreen ? line.fps : uint32_t{RealClock::kSkippedFramesPerSecond};
        start.frames = TimelineFrameAt(*line.start, skipRate);
        if (line.seconds) shown = TimelineFrameAt(*line.start + *line.seconds, skipRate) - start.frames;
        follower.HoldFrames(start.frames > 0);
    }
    start.reached = [&](double fastForwardSeconds) {
        if (fixedStep != nullptr) {
            const uint64_t first = start.frames > 0 ? fixedStep->Frames() : 0;
            const uint64_t timeline = fixedStep->Frames() - static_cast<uint64_t>(start.frames);
            if (frames) frames->NumberFrom(first);
            ReportTimelineFrame(static_cast<double>(timeline));
        }
        if (!line.start) return;
        if (benchmark) benchmark->StartCounting(fastForwardSeconds);
        follower.ShowFrom(shown);
    };

    const int status = RunDemoOn({window, *clock, random, *player}, start, benchmark.get());
    if (frames) std::cerr << "velmora: wrote " << frames->FramesWritten() << " frames" << std::endl;
    if (benchmark) std::cout << benchmark->Report() << std::endl;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    int status = 1;
    try {
        status = RunDemo(ParseCommandLine(argc, argv));
    } catch (const UsageError& error) {
        std::cerr << "velmora: " << error.what() << std::endl;
        ReportFailure(error.what());
        status = 2;
    } catch (const ProcessExit& exit) {
        status = exit.status;
    } catch (const std::exception& error) {
        std::cerr << "velmora: " << error.what() << std::endl;
        ReportFailure(error.what());
    }
    ReportEnd(status);
    return status;
}
