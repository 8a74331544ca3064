// Clocks: the millisecond tick count and the high-resolution counter. The real
// clock reads the machine's time; the fixed-step clock advances by exactly one
// frame at every presented frame, so captures and benchmarks see the same
// times whatever the rendering speed.
#pragma once

#include <cstdint>
#include <memory>

class Clock {
public:
    virtual ~Clock() = default;
    virtual int32_t TickCount() = 0;        // milliseconds, wraps at 2^32
    virtual int64_t PerformanceCounter() = 0;
    virtual int64_t PerformanceFrequency() = 0;
    virtual void OnFramePresented() {}
    // A fast-forward runs frames without presenting them: each moves time on
    // by one frame, and EndSkip hands the clock back to its normal course. A
    // clock set by hand ignores both.
    virtual void SkipFrame() {}
    virtual void EndSkip() {}
    // Seeking runs the timeline again from its start. A clock that counts
    // frames is put back to the count it had there, so that the frames after
    // a seek see the ticks a run from the start saw (the tick is a rounded
    // share of the count); the real clock only runs on.
    virtual uint64_t Mark() { return 0; }
    virtual void ReturnTo(uint64_t /*mark*/) {}
};

class RealClock final : public Clock {
public:
    RealClock();
    int32_t TickCount() override;
    int64_t PerformanceCounter() override;
    int64_t PerformanceFrequency() override;
    // While skipping, time stands still but for the skipped frames, each
    // 1 / kSkippedFramesPerSecond; afterwards it runs on from there at the
    // machine's pace.
    void SkipFrame() override;
    void EndSkip() override;

    static constexpr uint64_t kSkippedFramesPerSecond = 60;

private:
    uint64_t Now() const;

    uint64_t startCounter_;
    uint64_t frequency_;
    uint64_t offset_ = 0;  // added to the machine's time, wrapping
    bool skipping_ = false;
    uint64_t heldAt_ = 0;
};

class FixedStepClock final : public Clock {
public:
    // `firstTick` is the tick count before the first frame (any value; the
    // difference arithmetic wraps).
    explicit FixedStepClock(uint32_t framesPerSecond, uint32_t firstTick = 0);
    int32_t TickCount() override;
    int64_t PerformanceCounter() override;
    int64_t PerformanceFrequency() override { return 1000000000; }
    void OnFramePresented() override { ++frames_; }
    void SkipFrame() override { ++frames_; }
    uint64_t Mark() override { return frames_; }
    void ReturnTo(uint64_t mark) override { frames_ = mark; }

    uint64_t Frames() const { return frames_; }
    // Virtual time since the clock started, in milliseconds.
    uint64_t ElapsedMilliseconds() const { return frames_ * 1000 / fps_; }

private:
    uint32_t fps_;
    uint32_t firstTick_;
    uint64_t frames_ = 0;
};

// The clock of a run: a fixed step of `fps` frames a second when `fixedStep`
// (captures and benchmarks are frame-exact), else the real clock; `fixed`
// points at the fixed-step one, or is null.
struct RunClock {
    std::unique_ptr<Clock> clock;
    FixedStepClock* fixed = nullptr;
};
RunClock CreateRunClock(bool fixedStep, uint32_t fps);

// Milliseconds from `earlier` to `later` with wrapping 32-bit arithmetic: never
// traps when the counter passes 2^31 or 2^32.
inline int32_t TickDifference(int32_t later, int32_t earlier) {
    return static_cast<int32_t>(static_cast<uint32_t>(later) - static_cast<uint32_t>(earlier));
}
