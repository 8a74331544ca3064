#include "platform/system/Clock.h"

#include <time.h>

namespace {

uint64_t MonotonicNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return uint64_t(now.tv_sec) * 1000000000u + uint64_t(now.tv_nsec);
}

}  // namespace

RealClock::RealClock() : startCounter_(MonotonicNanoseconds()), frequency_(1000000000) {}

uint64_t RealClock::Now() const { return skipping_ ? heldAt_ : MonotonicNanoseconds() + offset_; }

// Milliseconds since the machine started, truncated to 32 bits like the
// platform's tick count.
int32_t RealClock::TickCount() { return static_cast<int32_t>(static_cast<uint32_t>(Now() / 1000000)); }

int64_t RealClock::PerformanceCounter() { return static_cast<int64_t>(Now() - startCounter_); }

void RealClock::SkipFrame() {
    if (!skipping_) {
        heldAt_ = Now();
        skipping_ = true;
    }
    heldAt_ += 1000000000 / kSkippedFramesPerSecond;
}

void RealClock::EndSkip() {
    if (!skipping_) return;
    offset_ = heldAt_ - MonotonicNanoseconds();
    skipping_ = false;
}

int64_t RealClock::PerformanceFrequency() { return static_cast<int64_t>(frequency_); }

FixedStepClock::FixedStepClock(uint32_t framesPerSecond, uint32_t firstTick)
    : fps_(framesPerSecond == 0 ? 1 : framesPerSecond), firstTick_(firstTick) {}

int32_t FixedStepClock::TickCount() {
    return static_cast<int32_t>(firstTick_ + static_cast<uint32_t>(ElapsedMilliseconds()));
}

int64_t FixedStepClock::PerformanceCounter() { return static_cast<int64_t>(frames_ * 1000000000u / fps_); }

RunClock CreateRunClock(bool fixedStep, uint32_t fps) {
    RunClock run;
    if (fixedStep) {
        auto fixed = std::make_unique<FixedStepClock>(fps);
        run.fixed = fixed.get();
        run.clock = std::move(fixed);
    } else {
        run.clock = std::make_unique<RealClock>();
    }
    return run;
}
