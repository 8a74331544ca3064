#include "platform/capture/VideoCapture.h"

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <utility>

#include "base/Errors.h"
#include "platform/files/Files.h"

std::string QuoteForShell(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

class MusicRecorder final : public MusicPlayer {
public:
    explicit MusicRecorder(VideoCapture& capture) : capture_(capture) {}
    void SetFileName(const std::string& path) override { capture_.musicPath_ = path; }
    void SetCurrentPosition(double seconds) override { capture_.musicStartPosition_ = seconds; }
    void Play() override { capture_.musicStartFrame_ = capture_.framesPresented_; }
    void Stop() override {}
    void Pause() override {}

private:
    VideoCapture& capture_;
};

bool FfmpegAvailable() { return std::system("ffmpeg -version >/dev/null 2>&1") == 0; }

VideoCapture::VideoCapture(const std::string& outputPath, uint32_t framesPerSecond, uint32_t width,
                           uint32_t height, bool lossless)
    : outputPath_(outputPath), fps_(framesPerSecond), width_(width), height_(height) {
    if (!FfmpegAvailable()) {
        throw DemoError("cannot capture to " + outputPath + ": the ffmpeg program was not found");
    }
    const std::filesystem::path out(outputPath);
    videoOnlyPath_ = (out.parent_path() / (".velmora-video-" + out.filename().string() + ".mkv")).string();
    std::ostringstream command;
    command << "ffmpeg -loglevel error -y -f rawvideo -pix_fmt rgba -s " << width << 'x' << height << " -r " << fps_
            << " -i pipe:0 -an -c:v libx264 -preset veryfast " << (lossless ? "-qp 0" : "-crf 20")
            << " -pix_fmt yuv420p " << QuoteForShell(videoOnlyPath_);
    // A broken pipe must come back as a write error, not end the process.
    std::signal(SIGPIPE, SIG_IGN);
    pipe_ = popen(command.str().c_str(), "w");
    if (pipe_ == nullptr) throw DemoError("cannot start ffmpeg for " + outputPath);
    writer_ = std::thread(&VideoCapture::WriterLoop, this);
}

VideoCapture::~VideoCapture() {
    if (!finished_) {
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        if (writer_.joinable()) writer_.join();
        if (pipe_ != nullptr) pclose(pipe_);
    }
}

void VideoCapture::OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) {
    ++framesPresented_;
    // Without pixels the frame's come later, through OnFramePixels.
    if (rgba != nullptr) OnFramePixels(rgba, width, height);
}

void VideoCapture::OnFramePixels(const uint8_t* rgba, uint32_t width, uint32_t height) {
    if (rgba == nullptr || width != width_ || height != height_) {
        throw DemoError("video capture: the frame is not " + std::to_string(width_) + " x " +
                        std::to_string(height_));
    }
    const size_t bytes = size_t(width) * height * 4;
    std::unique_lock lock(mutex_);
    if (writeFailed_) FailStopped();
    // A few frames in flight keep the renderer and the encoder both busy.
    changed_.wait(lock, [&] { return queue_.size() < 3 || writeFailed_; });
    if (writeFailed_) FailStopped();
    std::vector<uint8_t> frame;
    if (!spare_.empty()) {
        frame = std::move(spare_.back());
        spare_.pop_back();
    }
    frame.assign(rgba, rgba + bytes);
    queue_.push_back(std::move(frame));
    ++framesQueued_;
    lock.unlock();
    changed_.notify_all();
}

void VideoCapture::FailStopped() const {
    throw DemoError("video capture: ffmpeg stopped accepting frames for " + outputPath_ +
                    " (the frames it took are in " + videoOnlyPath_ + ")");
}

void VideoCapture::WriterLoop() {
    for (;;) {
        std::vector<uint8_t> frame;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return !queue_.empty() || closing_; });
            if (queue_.empty()) return;
            frame = std::move(queue_.front());
            queue_.pop_front();
        }
        const bool ok = std::fwrite(frame.data(), 1, frame.size(), pipe_) == frame.size();
        {
            std::lock_guard lock(mutex_);
            if (!ok) writeFailed_ = true;
            spare_.push_back(std::move(frame));
        }
        changed_.notify_all();
        if (!ok) return;
    }
}

std::unique_ptr<MusicPlayer> VideoCapture::CreateMusicRecorder() { return std::make_unique<MusicRecorder>(*this); }

void VideoCapture::Finish() {
    {
        std::lock_guard lock(mutex_);
        closing_ = true;
    }
    changed_.notify_all();
    writer_.join();
    const int status = pclose(pipe_);
    pipe_ = nullptr;
    finished_ = true;
    if (writeFailed_ || status != 0) {
        throw DemoError("video capture: ffmpeg failed while encoding " + outputPath_ + " (the frames so far are in " +
                        videoOnlyPath_ + ")");
    }
    MuxMusic();
}

void VideoCapture::MuxMusic() {
    MusicMux mux{videoOnlyPath_, outputPath_, fps_, framesQueued_, std::nullopt, musicStartPosition_, {}, {}};
    if (musicStartFrame_ && !musicPath_.empty()) {
        mux.musicFrame = musicStartFrame_;
        mux.musicPath = ResolvePath(musicPath_);
    }
    if (place_) {
        mux.tags = {{"velmora_fps", std::to_string(fps_)},
                    {"velmora_first_frame", std::to_string(place_->first)},
                    {"velmora_frames", std::to_string(framesQueued_)},
                    {"velmora_timeline_frame", std::to_string(place_->second)},
                    {"velmora_size", std::to_string(width_) + "x" + std::to_string(height_)}};
        if (seed_) mux.tags.emplace_back("velmora_seed", std::to_string(*seed_));
    }
    MuxVideoWithMusic(mux);
    std::error_code ignored;
    std::filesystem::remove(videoOnlyPath_, ignored);
}

void MuxVideoWithMusic(const MusicMux& mux) {
    const double videoSeconds = static_cast<double>(mux.frames) / mux.fps;
    std::ostringstream command;
    command << "ffmpeg -nostdin -loglevel error -y -i " << QuoteForShell(mux.video);
    if (mux.musicFrame) {
        const double startSeconds = static_cast<double>(*mux.musicFrame) / mux.fps;
        const long delayMs = std::lround(startSeconds * 1000.0);
        command << " -ss " << mux.musicPosition << " -i " << QuoteForShell(mux.musicPath)
                << " -map 0:v -map 1:a -c:v copy -c:a aac -b:a 192k -af "
                << QuoteForShell("adelay=" + std::to_string(delayMs) + "|" + std::to_string(delayMs) + ",apad");
    } else {
        command << " -map 0:v -c:v copy";
    }
    for (const auto& [key, value] : mux.tags) command << " -metadata " << QuoteForShell(key + "=" + value);
    // MP4 keeps keys of its own only when told to.
    command << " -t " << videoSeconds << " -movflags " << (mux.tags.empty() ? "+faststart" : "+faststart+use_metadata_tags")
            << " " << QuoteForShell(mux.output);
    if (std::system(command.str().c_str()) != 0) {
        throw DemoError("video capture: ffmpeg could not write " + mux.output + " (the video alone is in " +
                        mux.video + ")");
    }
}
