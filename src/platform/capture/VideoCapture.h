// Video capture: presented frames are piped to the ffmpeg program, which
// encodes them as H.264 (yuv420p) at a fixed frame rate; encoding runs on its
// own thread while the demo renders. When the run ends the music is muxed in,
// starting at the frame on which it was started.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/device/Device.h"
#include "platform/music/MusicPlayer.h"

class VideoCapture final : public PresentListener {
public:
    // Throws DemoError when the ffmpeg program cannot be found or started.
    // `lossless` encodes every frame exactly (after the conversion to
    // yuv420p), so that videos rendered in parts join into the same frames.
    VideoCapture(const std::string& outputPath, uint32_t framesPerSecond, uint32_t width, uint32_t height,
                 bool lossless = false);
    ~VideoCapture() override;

    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override;
    bool WantsPixels() const override { return true; }
    bool TakesPixelsLate() const override { return true; }
    void OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) override;

    // A player that plays nothing but remembers the frame at which the music
    // was started, so that it can be muxed in at that place.
    std::unique_ptr<MusicPlayer> CreateMusicRecorder();

    // Closes the video stream, waits for the encoder and muxes the music in.
    // Throws DemoError when ffmpeg failed.
    void Finish();

    uint64_t FramesWritten() const { return framesQueued_; }

    // Where this video lies in the whole run: the run's index of its first
    // frame and the frame on which the timeline began, and the run's seed
    // (none: one of its own). Written into the file with the frame size so
    // that segments can be checked and joined (see SegmentJoin.h).
    void PlaceInRun(uint64_t firstFrame, uint64_t timelineFrame, std::optional<uint32_t> seed) {
        place_ = {firstFrame, timelineFrame};
        seed_ = seed;
    }

private:
    void WriterLoop();
    [[noreturn]] void FailStopped() const;
    void MuxMusic();

    std::string outputPath_;
    std::string videoOnlyPath_;
    uint32_t fps_, width_, height_;
    FILE* pipe_ = nullptr;
    std::thread writer_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::vector<uint8_t>> queue_;
    std::vector<std::vector<uint8_t>> spare_;
    bool closing_ = false;
    bool writeFailed_ = false;
    bool finished_ = false;
    uint64_t framesQueued_ = 0;
    uint64_t framesPresented_ = 0;  // the music starts at a presented frame, whose pixels may come later

    friend class MusicRecorder;
    std::string musicPath_;
    std::optional<uint64_t> musicStartFrame_;
    double musicStartPosition_ = 0;
    std::optional<std::pair<uint64_t, uint64_t>> place_;
    std::optional<uint32_t> seed_;
};

// A video stream muxed with the music into `output`, cut to `frames` frames:
// the music, from `musicPosition` seconds in, begins on frame `musicFrame`.
struct MusicMux {
    std::string video;
    std::string output;
    uint32_t fps = 60;
    uint64_t frames = 0;
    std::optional<uint64_t> musicFrame;  // none: no music
    double musicPosition = 0;
    std::string musicPath;
    std::vector<std::pair<std::string, std::string>> tags;  // written into the file's metadata
};

// Runs ffmpeg for the mux; throws DemoError naming the output when it fails.
void MuxVideoWithMusic(const MusicMux& mux);

// Quotes `text` for the shell.
std::string QuoteForShell(const std::string& text);

// True when the ffmpeg program can be run.
bool FfmpegAvailable();
