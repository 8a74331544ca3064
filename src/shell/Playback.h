// The live run's controls: pause, seeks, frame steps, full screen, a saved
// still and an info line. Keys are only noted in the message pump; what they
// ask for is done between frames, so every frame is still drawn whole.
//
// A seek runs the timeline again from its start to the new place without
// drawing (the demo's state is a function of timeline time and seed), so the
// picture after it is the frame a run from the start shows there. A paused
// picture is drawn again the same way whenever it must be redrawn.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/device/Device.h"
#include "platform/font/Font.h"
#include "shell/FrameLoop.h"

struct PlaybackOptions {
    // Timeline frames a second of a seek: the fixed-step clock's rate, or the
    // pace at which the real clock skips frames.
    uint32_t framesPerSecond = 60;
    // True with the fixed-step clock: the frame on screen is counted, not
    // read from the clock.
    bool countsFrames = false;
    // Where stills are saved; empty: the user's pictures folder.
    std::filesystem::path pictures;
    // Content files changed on disk are loaded again (--watch).
    bool watch = false;
};

class ContentReload;

class Playback final : public PresentListener {
public:
    // `next` follows the presented frames after this.
    Playback(PlaybackOptions options, PresentListener* next);
    ~Playback() override;

    // The frame loop's routines, the drawing noted so that the frame on
    // screen is known.
    FrameRoutines Wrap(const FrameRoutines& routines);
    // Called once the loading is done, before the timeline starts: keeps what
    // a seek starts from. `routines` are the wrapped ones.
    void Begin(const FrameRoutines& routines);
    // The timeline frame the loop draws next (a start part-way).
    void StartAt(int64_t frame) { nextFrame_ = frame; }

    // From the window's key-down handler.
    void KeyDown(int keyCode, int shift);
    // After each frame of the loop: does what the keys asked; while paused,
    // stays here pumping messages.
    void AfterFrame();

    // Lines shown over the picture in red until it is cleared with "".
    void SetNotice(std::string notice) { notice_ = std::move(notice); }
    const std::string& Notice() const { return notice_; }
    // Runs the timeline again to the frame on screen (what a content reload
    // needs to show its change at the same time).
    void Reseek();

    bool Paused() const { return paused_; }
    bool InfoShown() const { return infoShown_; }
    int64_t FrameShown() const { return shownFrame_; }
    // The info line's text.
    std::string InfoLine() const;
    // The file the last still went to; empty before any.
    const std::filesystem::path& LastStill() const { return lastStill_; }

    void OnPresentStart() override;
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override;
    bool WantsPixels() const override { return stillWanted_ || (next_ != nullptr && next_->WantsPixels()); }
    bool TakesPixelsLate() const override { return !stillWanted_ && next_ != nullptr && next_->TakesPixelsLate(); }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (next_ != nullptr) next_->OnFramePixels(rgba, width, height);
    }

private:
    // Carries out the keys noted; true when any was.
    bool Act();
    // Loads again the content files changed on disk; true when any was.
    bool PollContent();
    void Seek(SeekTarget target);
    void Redraw();
    void NoteDrawnFrame();
    void SaveStill(const uint8_t* rgba, uint32_t width, uint32_t height);
    void DrawLine(const std::string& text, int top, D3DCOLOR color);
    double SecondsShown() const;

    PlaybackOptions options_;
    PresentListener* next_;
    FrameRoutines routines_;
    TimelineOrigin origin_;
    std::deque<std::pair<int, int>> keys_;
    std::unique_ptr<D3DXFont> font_;
    std::unique_ptr<ContentReload> reload_;
    bool begun_ = false;
    bool paused_ = false;
    bool infoShown_ = false;
    bool stillWanted_ = false;
    int64_t nextFrame_ = 0;
    int64_t shownFrame_ = 0;
    int32_t shownStep_ = 0;
    uint32_t drawnWidth_ = 0, drawnHeight_ = 0;
    std::deque<std::chrono::steady_clock::time_point> presents_;
    std::string notice_;
    std::filesystem::path lastStill_;
};
