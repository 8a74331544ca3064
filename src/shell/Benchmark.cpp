#include "shell/Benchmark.h"

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>

namespace {

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

// The first frame's allocations are not counted: it may set things up once.
double PerCountedFrame(uint64_t allocations, size_t frames) {
    return frames > 1 ? static_cast<double>(allocations) / static_cast<double>(frames - 1) : 0.0;
}

double Percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(p * static_cast<double>(values.size() - 1) + 0.5));
    return values[index];
}

}  // namespace

Benchmark::Benchmark(TimePoint processStart, PresentListener& next) : processStart_(processStart), next_(next) {
    // Room for a whole run at a high frame rate, so that recording a frame's
    // time never allocates while frames are counted.
    frameMilliseconds_.reserve(1 << 17);
}

FrameRoutines Benchmark::Wrap(const FrameRoutines& routines) {
    auto timed = [this](std::function<void()> routine, double Benchmark::*phase) {
        return [this, routine, phase] {
            const TimePoint start = std::chrono::steady_clock::now();
            routine();
            this->*phase += Seconds(std::chrono::steady_clock::now() - start);
        };
    };
    FrameRoutines wrapped;
    // A frame begins with loading its step (on a step's first frame) or with the pump.
    wrapped.loadStep = [this, load = timed(routines.loadStep, &Benchmark::updateSeconds_)] {
        BeginFrame();
        load();
    };
    wrapped.pumpMessages = [this, pump = timed(routines.pumpMessages, &Benchmark::updateSeconds_)] {
        BeginFrame();
        pump();
    };
    wrapped.updateParticles = timed(routines.updateParticles, &Benchmark::updateSeconds_);
    wrapped.generateVertex = timed(routines.generateVertex, &Benchmark::updateSeconds_);
    wrapped.moveCamera = timed(routines.moveCamera, &Benchmark::updateSeconds_);
    wrapped.render = [this, routine = routines.render] {
        presentInFrame_ = 0;
        const TimePoint start = std::chrono::steady_clock::now();
        routine();
        drawSeconds_ += Seconds(std::chrono::steady_clock::now() - start) - presentInFrame_;
        EndFrame();
    };
    return wrapped;
}

void Benchmark::BeginFrame() {
    const TimePoint now = std::chrono::steady_clock::now();
    if (!timelineStarted_) {
        timelineStarted_ = true;
        timelineStart_ = now;
        lastFrameEnd_ = now;
        loadMilliseconds_ = Seconds(now - processStart_) * 1000.0;
    }
    if (!inFrame_) {
        inFrame_ = true;
        frameStart_ = now;
        frameAllocationsStart_ = CountHeapAllocations();
    }
}

void Benchmark::EndFrame() {
    const TimePoint now = std::chrono::steady_clock::now();
    // The first frame may set things up once; the steady state is what counts.
    if (!frameMilliseconds_.empty()) {
        const HeapCounts counts = CountHeapAllocations();
        const uint64_t driver = counts.driver - frameAllocationsStart_.driver;
        timelineDriverAllocations_ += driver;
        timelineOwnAllocations_ += counts.all - frameAllocationsStart_.all - driver;
    }
    frameMilliseconds_.push_back(Seconds(now - frameStart_) * 1000.0);
    lastFrameEnd_ = now;
    inFrame_ = false;
}

void Benchmark::StartCounting(double fastForwardSeconds) {
    fastForwardMilliseconds_ = fastForwardSeconds * 1000.0;
    frameMilliseconds_.clear();
    updateSeconds_ = drawSeconds_ = presentSeconds_ = 0;
    timelineOwnAllocations_ = timelineDriverAllocations_ = 0;
    inFrame_ = false;
    timelineStart_ = lastFrameEnd_ = std::chrono::steady_clock::now();
}

void Benchmark::OnPresentStart() { presentStart_ = std::chrono::steady_clock::now(); }

void Benchmark::OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) {
    const double seconds = Seconds(std::chrono::steady_clock::now() - presentStart_);
    if (timelineStarted_) {
        presentSeconds_ += seconds;
        presentInFrame_ += seconds;
    }
    next_.OnPresent(rgba, width, height);
}

std::string Benchmark::Report() const {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double wall = Seconds(lastFrameEnd_ - timelineStart_);
    const size_t frames = frameMilliseconds_.size();
    char line[1024];
    std::snprintf(line, sizeof line,
                  "{\"load_ms\": %.1f, \"frames\": %zu, \"wall_s\": %.3f, \"fps\": %.2f, "
                  "\"frame_ms\": {\"p50\": %.3f, \"p95\": %.3f, \"p99\": %.3f, \"max\": %.3f}, "
                  "\"peak_rss_mb\": %.1f, \"allocs_per_frame\": %.3f, \"driver_allocs_per_frame\": %.3f, "
                  "\"phase_s\": {\"update\": %.3f, \"draw\": %.3f, \"present\": %.3f}, \"fast_forward_ms\": %.1f}",
                  loadMilliseconds_, frames, wall, wall > 0 ? static_cast<double>(frames) / wall : 0.0,
                  Percentile(frameMilliseconds_, 0.50), Percentile(frameMilliseconds_, 0.95),
                  Percentile(frameMilliseconds_, 0.99), Percentile(frameMilliseconds_, 1.0),
                  static_cast<double>(usage.ru_maxrss) / 1024.0,
                  PerCountedFrame(timelineOwnAllocations_, frames), PerCountedFrame(timelineDriverAllocations_, frames),
                  updateSeconds_, drawSeconds_, presentSeconds_, fastForwardMilliseconds_);
    return line;
}
