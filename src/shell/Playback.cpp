#include "shell/Playback.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <optional>
#include <thread>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/capture/FrameCapture.h"
#include "platform/music/MusicPlayer.h"
#include "platform/sprite/Sprite.h"
#include "platform/system/Clock.h"
#include "platform/userdirs/UserFolders.h"
#include "platform/window/Window.h"
#include "shell/ContentReload.h"

namespace {

constexpr int64_t kSeekSeconds = 5;
constexpr int kLineLeft = 8, kLineHeight = 18;
constexpr D3DCOLOR kInfoColor = 0xFFFFFFFF, kNoticeColor = 0xFFFF5050, kLineBackdrop = 0xB0000000;

bool TimelineRunning() { return CurrentStep <= Steps.UBound() && demoRunning != 0; }

}  // namespace

Playback::Playback(PlaybackOptions options, PresentListener* next) : options_(std::move(options)), next_(next) {
    if (options_.framesPerSecond == 0) options_.framesPerSecond = 60;
}

Playback::~Playback() = default;

FrameRoutines Playback::Wrap(const FrameRoutines& routines) {
    FrameRoutines wrapped = routines;
    wrapped.render = [this, render = routines.render] {
        NoteDrawnFrame();
        render();
    };
    return wrapped;
}

void Playback::Begin(const FrameRoutines& routines) {
    routines_ = routines;
    origin_ = KeepTimelineOrigin();
    FontDescription description;
    description.faceName = "DejaVu Sans Mono";
    description.pointSize = 10.0f;
    Check(D3DX->CreateFont(*D3DDevice, description, font_), "CreateFont");
    if (options_.watch) reload_ = std::make_unique<ContentReload>();
    begun_ = true;
}

bool Playback::PollContent() {
    if (!reload_) return false;
    const ContentReload::Outcome outcome = reload_->Poll();
    if (!outcome.changed) return false;
    notice_ = reload_->Errors();
    // New paths take the camera to where it is at this time on them; a paused
    // picture is drawn again with whatever changed.
    if (outcome.camera || paused_) {
        const auto start = std::chrono::steady_clock::now();
        Reseek();
        char line[96];
        std::snprintf(line, sizeof line, "velmora: the timeline run again to %.3f s in %.1f ms",
                      static_cast<double>(nextFrame_) / options_.framesPerSecond,
                      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        std::cerr << line << std::endl;
    }
    return true;
}

void Playback::KeyDown(int keyCode, int shift) {
    if (begun_) keys_.emplace_back(keyCode, shift);
}

void Playback::AfterFrame() {
    PollContent();
    Act();
    while (paused_ && TimelineRunning()) {
        frmMain->PumpMessages();
        const bool reloaded = PollContent();
        uint32_t width = 0, height = 0;
        frmMain->OutputSize(width, height);
        // The device takes a new size from the frame after the one that saw it.
        const bool resized = width != drawnWidth_ || height != drawnHeight_;
        if (resized) {
            Redraw();
            Redraw();
        }
        if (!Act() && !resized && !reloaded) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

bool Playback::Act() {
    if (keys_.empty()) return false;
    while (!keys_.empty() && TimelineRunning()) {
        const auto [key, shift] = keys_.front();
        keys_.pop_front();
        const int64_t seekFrames = kSeekSeconds * options_.framesPerSecond;
        std::optional<SeekTarget> target;
        switch (key) {
            case ' ':
                paused_ = !paused_;
                if (paused_) {
                    mp3->Pause();
                } else {
                    Seek({shownFrame_ + 1});
                }
                continue;
            case kKeyLeft: target = SeekTarget{std::max<int64_t>(0, shownFrame_ - seekFrames)}; break;
            case kKeyRight: target = SeekTarget{shownFrame_ + seekFrames}; break;
            case kKeyPageUp: target = SeekTarget{INT64_MAX, std::max(0, shownStep_ - 1)}; break;
            case kKeyPageDown: target = SeekTarget{INT64_MAX, shownStep_ + 1}; break;
            case kKeyHome: target = SeekTarget{0}; break;
            case ',':
            case '.':
                if (!paused_) continue;
                target = SeekTarget{std::max<int64_t>(0, shownFrame_ + (key == '.' ? 1 : -1))};
                break;
            case kKeyReturn:
                if ((shift & kAltMask) == 0) continue;
                frmMain->SetFullscreen(!frmMain->IsFullscreen());
                break;
            case kKeyF11: frmMain->SetFullscreen(!frmMain->IsFullscreen()); break;
            case kKeyF12: stillWanted_ = true; break;
            case 'I': infoShown_ = !infoShown_; break;
            default: continue;
        }
        if (target) {
            Seek(*target);
            if (paused_) RunTimelineFrame(routines_);
        } else if (paused_) {
            Redraw();
        }
    }
    return true;
}

void Playback::Seek(SeekTarget target) {
    mp3->Stop();
    nextFrame_ = SeekTimeline(routines_, origin_, target);
    // Keys pressed during the seek count from where it went.
    shownFrame_ = nextFrame_;
    shownStep_ = CurrentStep;
    if (!paused_ && TimelineRunning()) StartMusic();
}

void Playback::Redraw() {
    nextFrame_ = SeekTimeline(routines_, origin_, SeekTarget{shownFrame_});
    RunTimelineFrame(routines_);
}

void Playback::Reseek() {
    if (!begun_ || !TimelineRunning()) return;
    if (paused_) {
        Redraw();
    } else {
        nextFrame_ = SeekTimeline(routines_, origin_, SeekTarget{nextFrame_});
    }
}

void Playback::NoteDrawnFrame() {
    shownFrame_ = nextFrame_;
    if (!options_.countsFrames) {
        // The real clock: the frame the timeline's time has reached, never
        // one before the frame a seek left.
        const double milliseconds = TickDifference(GetTickCount(), startTick);
        const auto reached = static_cast<int64_t>(std::floor(milliseconds * options_.framesPerSecond / 1000.0));
        shownFrame_ = std::max(shownFrame_, reached);
    }
    nextFrame_ = shownFrame_ + 1;
    shownStep_ = CurrentStep;
    frmMain->OutputSize(drawnWidth_, drawnHeight_);
}

double Playback::SecondsShown() const {
    return static_cast<double>(shownFrame_) / static_cast<double>(options_.framesPerSecond);
}

std::string Playback::InfoLine() const {
    char rate[32];
    if (paused_) {
        std::snprintf(rate, sizeof rate, "paused");
    } else {
        std::snprintf(rate, sizeof rate, "%zu fps", presents_.size());
    }
    uint32_t width = 0, height = 0;
    frmMain->OutputSize(width, height);
    char line[512];
    std::snprintf(line, sizeof line, "%.3f s   step %d   %s   %s   %ux%u   %d samples", SecondsShown(),
                  shownStep_, rate, D3DDevice->RendererName().c_str(), width, height, D3DDevice->SampleCount());
    return line;
}

void Playback::DrawLine(const std::string& text, int top, D3DCOLOR color) {
    const D3DVECTOR2 scaling{static_cast<float>(frmMain->ClientWidth() - 2 * kLineLeft), float{kLineHeight}};
    const D3DVECTOR2 centre{0, 0};
    const D3DVECTOR2 place{float{kLineLeft}, static_cast<float>(top)};
    Check(Sprite->Draw(TexWhite.get(), nullptr, &scaling, &centre, 0.0f, &place, kLineBackdrop), "Sprite.Draw");
    const RECT rect{kLineLeft + 4, top + 2, frmMain->ClientWidth() - kLineLeft, top + kLineHeight};
    font_->DrawTextW(text, -1, &rect, 0, color);
}

void Playback::OnPresentStart() {
    // Over the finished frame, on the timeline only (not the loading or end screens).
    if (begun_ && CurrentStep <= Steps.UBound() && (infoShown_ || !notice_.empty())) {
        Check(D3DDevice->BeginScene(), "BeginScene");
        if (infoShown_) DrawLine(InfoLine(), kLineLeft, kInfoColor);
        int top = frmMain->ClientHeight() - kLineLeft - kLineHeight;
        for (size_t end = notice_.size(); end != std::string::npos && end > 0; top -= kLineHeight + 2) {
            const size_t start = notice_.rfind('\n', end - 1);
            const size_t from = start == std::string::npos ? 0 : start + 1;
            DrawLine(notice_.substr(from, end - from), top, kNoticeColor);
            end = start;
        }
        Check(D3DDevice->EndScene(), "EndScene");
    }
    if (next_ != nullptr) next_->OnPresentStart();
}

void Playback::OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) {
    const auto now = std::chrono::steady_clock::now();
    presents_.push_back(now);
    while (now - presents_.front() > std::chrono::seconds(1)) presents_.pop_front();
    if (stillWanted_ && rgba != nullptr) {
        stillWanted_ = false;
        SaveStill(rgba, width, height);
    }
    if (next_ != nullptr) next_->OnPresent(next_->WantsPixels() ? rgba : nullptr, width, height);
}

void Playback::SaveStill(const uint8_t* rgba, uint32_t width, uint32_t height) {
    // A still that cannot be saved does not end the demo: the line says why.
    try {
        const std::filesystem::path folder = options_.pictures.empty() ? PicturesFolder() : options_.pictures;
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        char name[64];
        std::snprintf(name, sizeof name, "velmora-%07.3fs", SecondsShown());
        std::filesystem::path file = folder / (std::string(name) + ".png");
        for (int n = 2; std::filesystem::exists(file); ++n) {
            file = folder / (std::string(name) + "-" + std::to_string(n) + ".png");
        }
        WritePng(file, rgba, width, height);
        lastStill_ = file;
        std::cerr << "velmora: the frame at " << name + 8 << " saved to " << file.string() << std::endl;
    } catch (const DemoError& error) {
        std::cerr << "velmora: the frame was not saved: " << error.what() << std::endl;
    }
}
