// The benchmark: times the frame loop's phases and the loading, counts heap
// allocations per frame (the demo's own and the GL driver's apart), and prints
// one JSON line of figures.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/device/Device.h"
#include "platform/system/HeapCount.h"
#include "shell/FrameLoop.h"

class Benchmark final : public PresentListener {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // `processStart` is when the process began; `next` follows the frames too
    // (the fixed-step clock).
    Benchmark(TimePoint processStart, PresentListener& next);

    // The frame loop's routines, each timed into its phase.
    FrameRoutines Wrap(const FrameRoutines& routines);

    void OnPresentStart() override;
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override;
    bool WantsPixels() const override { return false; }
    bool TakesPixelsLate() const override { return next_.TakesPixelsLate(); }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        next_.OnFramePixels(rgba, width, height);
    }

    // With --start: the frames so far only brought the timeline to its first
    // shown frame; the figures count from the next frame on.
    void StartCounting(double fastForwardSeconds);

    // The figures as one line of JSON.
    std::string Report() const;

private:
    void BeginFrame();
    void EndFrame();

    TimePoint processStart_;
    PresentListener& next_;
    bool timelineStarted_ = false;
    bool inFrame_ = false;
    TimePoint timelineStart_{};
    TimePoint frameStart_{};
    TimePoint presentStart_{};
    TimePoint lastFrameEnd_{};
    double loadMilliseconds_ = 0;
    double fastForwardMilliseconds_ = 0;
    double updateSeconds_ = 0, drawSeconds_ = 0, presentSeconds_ = 0;
    double presentInFrame_ = 0;
    std::vector<double> frameMilliseconds_;
    HeapCounts frameAllocationsStart_;
    uint64_t timelineOwnAllocations_ = 0;     // made by the demo's own code
    uint64_t timelineDriverAllocations_ = 0;  // made inside the GL driver
};
