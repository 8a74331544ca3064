// Follows the presented frames of a capture or benchmark, for every entry
// point: advances the fixed-step clock, hands the pixels on, and ends the run
// once its time or frame count is up.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/device/Device.h"
#include "platform/system/Clock.h"
#include "shell/m_Terminate.h"

// Follows the presented frames: advances the fixed-step clock, hands the
// pixels to a capture when there is one, and ends a capture or benchmark once
// its demo time is up. A run with --start hands over no frames before the
// first shown one (but for the loading screen's, from 0) and counts its
// frames from there.
class FrameFollower final : public PresentListener {
public:
    FrameFollower(Clock& clock, std::optional<double> seconds, PresentListener* sink)
        : clock_(clock), seconds_(seconds), sink_(sink), firstTick_(clock.TickCount()) {}

    void OnPresentStart() override {
        if (Capturing()) sink_->OnPresentStart();
    }
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (Capturing()) sink_->OnPresent(rgba, width, height);
        clock_.OnFramePresented();
        if (seconds_ && static_cast<double>(TickDifference(clock_.TickCount(), firstTick_)) >= *seconds_ * 1000.0) {
            m_Terminate();
        }
        if (counting_ && ++framesShown_ >= frameLimit_) m_Terminate();
    }
    bool WantsPixels() const override { return Capturing() && sink_->WantsPixels(); }
    bool TakesPixelsLate() const override { return Capturing() && sink_->TakesPixelsLate(); }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (sink_ != nullptr) sink_->OnFramePixels(rgba, width, height);
    }

    // For --start: the demo-time limit gives way to a count of the frames
    // shown from ShowFrom on (none: to the end of the demo); with
    // `holdLoading` no frame is handed over before ShowFrom either.
    void HoldFrames(bool holdLoading) {
        holding_ = holdLoading;
        seconds_.reset();
    }
    void ShowFrom(std::optional<int64_t> frames) {
        holding_ = false;
        if (!frames) return;
        counting_ = true;
        frameLimit_ = *frames;
        if (frameLimit_ <= 0) m_Terminate();
    }

private:
    bool Capturing() const { return sink_ != nullptr && !holding_; }

    Clock& clock_;
    std::optional<double> seconds_;
    PresentListener* sink_;
    int32_t firstTick_;
    bool holding_ = false;
    bool counting_ = false;
    int64_t framesShown_ = 0;
    int64_t frameLimit_ = 0;
};
