// The real demo, rendered whole off screen with a fixed-step clock, and its
// frames checked: the run's end and length, the fade to white and the end
// screen. One capture
// serves every check (the suite runs as one process).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/capture/VideoCapture.h"
#include "platform/texture/TextureLoader.h"
#include "shell/CapturePlan.h"
#include "support/DeviceHarness.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

constexpr int kFps = 1;
constexpr double kTimelineSeconds = 150.2;
constexpr double kEndScreenSeconds = 7.0;
constexpr int kSteps = 4;

constexpr Rgb kLoadingClear{0, 0, 58};
constexpr Rgb kEndRed{255, 0, 0};

Frame Load(const fs::path& path) {
    DecodedImage image = DecodeImage(ReadFile(path), path.string());
    return Frame{std::move(image.rgba), image.width};
}

bool OpaqueWhite(const Frame& image, int x, int y) {
    x = std::clamp(x, 0, static_cast<int>(image.width) - 1);
    y = std::clamp(y, 0, static_cast<int>(image.Height()) - 1);
    const uint8_t* p = &image.rgba[(static_cast<size_t>(y) * image.width + static_cast<size_t>(x)) * 4];
    return p[0] == 255 && p[1] == 255 && p[2] == 255 && p[3] == 255;
}

// Whether window pixel (x, y) of a w x h window, covered by a 512 x 512 image
// stretched over the whole window, samples only keyed (pure white) texels.
bool SamplesOnlyKeyed(const Frame& image, int x, int y, int w, int h) {
    const double u = (x + 0.5) * 512 / w - 0.5, v = (y + 0.5) * 512 / h - 0.5;
    const int tx = static_cast<int>(std::floor(u)), ty = static_cast<int>(std::floor(v));
    for (int dy = 0; dy <= 1; ++dy)
        for (int dx = 0; dx <= 1; ++dx)
            if (!OpaqueWhite(image, tx + dx, ty + dy)) return false;
    return true;
}

// The real program with the content pack and `arguments`, its output kept.
CommandResult RunVelmora(const std::string& arguments) {
    return RunCommand("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + ShellQuote(VELMORA_BINARY) + " --data " +
                      ShellQuote(VELMORA_CONTENT_DIR) + " " + arguments + " 2>&1");
}

// The seconds into `file` (its first sound stream) of the first sample above
// a quiet level.
double FirstSound(const std::string& file) {
    const std::string pcm = RunCommand("ffmpeg -loglevel error -i " + ShellQuote(file) +
                                       " -map 0:a:0 -ac 1 -ar 8000 -f s16le -").output;
    for (size_t i = 0; i + 1 < pcm.size(); i += 2) {
        const int16_t sample = static_cast<int16_t>(uint8_t(pcm[i]) | uint8_t(pcm[i + 1]) << 8);
        if (std::abs(sample) > 64) return static_cast<double>(i / 2) / 8000;
    }
    return -1;
}

class DemoRun : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = std::make_unique<TempDir>();
        exitCode_ = RunCommand("SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + ShellQuote(VELMORA_BINARY) +
                               " --capture " + ShellQuote(dir_->path().string() + "/") + " --fps " +
                               std::to_string(kFps) + " --seed 1 --data " + ShellQuote(VELMORA_CONTENT_DIR) + " > " +
                               ShellQuote((dir_->path() / "log.txt").string()) + " 2>&1")
                        .status;
        while (fs::exists(FramePath(frames_))) ++frames_;
        // The loading screen's frames come first, on its blue background.
        while (loading_ < frames_ && Load(FramePath(loading_)).Pixel(1, 1) == kLoadingClear) ++loading_;

        if (frames_ == 0) return;
        const Frame end = Load(fs::path(VELMORA_CONTENT_DIR) / "text_efter.jpg");
        const Frame first = Load(FramePath(0));
        width_ = static_cast<int>(first.width);
        height_ = static_cast<int>(first.Height());
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                if (SamplesOnlyKeyed(end, x, y, width_, height_)) whiteInEndImage_.push_back({x, y});
            }
        }
    }
    static void TearDownTestSuite() { dir_.reset(); }

    static fs::path FramePath(int index) { return dir_->path() / PngFrameWriter::FrameFileName(uint64_t(index)); }
    // The frame drawn `seconds` after the timeline began.
    static Frame At(double seconds) { return Load(FramePath(loading_ + static_cast<int>(seconds * kFps))); }
    static int TimelineFrames() { return frames_ - loading_ - EndFrames(); }
    static int EndFrames() { return static_cast<int>(kEndScreenSeconds * kFps); }

    static inline std::unique_ptr<TempDir> dir_;
    static inline int exitCode_ = -1, frames_ = 0, loading_ = 0, width_ = 0, height_ = 0;
    // Window pixels where the end image is keyed out.
    static inline std::vector<std::pair<int, int>> whiteInEndImage_;
};

TEST_F(DemoRun, EndsByItselfAfterTheWholeTimelineAndTheEndScreen) {
    EXPECT_EQ(exitCode_, 0) << ReadFile(dir_->path() / "log.txt");
    ASSERT_GT(frames_, 0);
    EXPECT_GT(loading_, 10);
    // Each step ends on the first frame past its duration, so the timeline can
    // run up to one frame per step long.
    EXPECT_GE(TimelineFrames(), static_cast<int>(std::ceil(kTimelineSeconds * kFps)));
    EXPECT_LE(TimelineFrames(), static_cast<int>(std::ceil(kTimelineSeconds * kFps)) + kSteps);
}

TEST_F(DemoRun, FadesToWhiteAndShowsTheEndScreen) {
    ASSERT_EQ(exitCode_, 0);
    // At 150 s the white overlay has alpha 232 of 255 over the whole window.
    const Frame fade = At(150);
    int darkest = 255;
    for (int y = 0; y < height_; y += 3)
        for (int x = 0; x < width_; x += 3) {
            const Rgb c = fade.Pixel(x, y);
            darkest = std::min({darkest, c.r, c.g, c.b});
        }
    EXPECT_GE(darkest, 225);

    ASSERT_GT(whiteInEndImage_.size(), 1000u);
    for (int i = frames_ - EndFrames(); i < frames_; ++i) {
        const Frame end = Load(FramePath(i));
        size_t red = 0;
        for (const auto& [x, y] : whiteInEndImage_) red += end.Pixel(x, y) == kEndRed;
        EXPECT_EQ(red, whiteInEndImage_.size()) << "frame " << i;
        EXPECT_NE(end.Pixel(2, 2), kEndRed) << "frame " << i;
    }
}

// A run started part-way shows exactly the frames of the run from the
// start, under the numbers they have there.
TEST_F(DemoRun, RunsStartedPartWayShowTheFramesOfTheWholeRun) {
    ASSERT_EQ(exitCode_, 0);
    for (int start : {20, 83, 149}) {
        SCOPED_TRACE(start);
        TempDir part;
        const CommandResult run = RunVelmora("--capture " + ShellQuote(part.path().string() + "/") + " --fps " +
                                             std::to_string(kFps) + " --seed 1 --start " + std::to_string(start) +
                                             " --seconds 2");
        ASSERT_EQ(run.status, 0) << run.output;
        for (int k = start; k < start + 2; ++k) {
            const std::string name = PngFrameWriter::FrameFileName(uint64_t(loading_ + k));
            ASSERT_TRUE(fs::exists(part.path() / name)) << name;
            EXPECT_TRUE(ReadFile(part.path() / name) == ReadFile(dir_->path() / name)) << name;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(part.path()), fs::directory_iterator()), 2);
    }
}

// Split over two processes, a capture decodes to the frames and the sound of
// the same capture made in one process, --seconds counting the loading screen
// in both; the music begins with the timeline.
TEST_F(DemoRun, ACaptureInTwoPartsEqualsOneInOne) {
    if (!FfmpegAvailable()) GTEST_SKIP() << "no ffmpeg";
    constexpr int kPartFps = 5;
    ASSERT_EQ(loading_, LoadingScreenFrames()) << "parts end where the loading screen is planned to end";
    TempDir out;
    std::string decoded[2][2];
    for (const std::string jobs : {"", "--jobs 2"}) {
        const std::string file = (out.path() / ("jobs" + std::to_string(jobs.size()) + ".mkv")).string();
        const CommandResult run = RunVelmora("--capture " + ShellQuote(file) + " " + jobs +
                                             " --lossless --seed 1 --seconds 22.3 --size 160x120 --fps " +
                                             std::to_string(kPartFps));
        ASSERT_EQ(run.status, 0) << run.output;
        // Each picture decoded, and when it is shown (framemd5 rounds times to whole frames).
        decoded[!jobs.empty()][0] = RunCommand("ffmpeg -loglevel error -i " + ShellQuote(file) +
                                              " -map 0:v -f framemd5 - | grep -v '^#'; ffprobe -v error -select_streams"
                                              " v -show_entries packet=pts_time -of csv=p=0 " + ShellQuote(file))
                                       .output;
        decoded[!jobs.empty()][1] =
            RunCommand("ffmpeg -loglevel error -i " + ShellQuote(file) + " -map 0:a -f framemd5 - | grep -v '^#'").output;
        if (!jobs.empty()) {
            const double musicStart = FirstSound(std::string(VELMORA_CONTENT_DIR) + "/velmora5.mp3");
            EXPECT_NEAR(FirstSound(file), double(loading_) / kPartFps + musicStart, 0.05);
        }
    }
    EXPECT_EQ(std::count(decoded[0][0].begin(), decoded[0][0].end(), '\n'), 2 * 112) << "22.3 s at 5 fps";
    EXPECT_TRUE(decoded[0][0] == decoded[1][0]) << "the pictures differ";
    EXPECT_FALSE(decoded[1][1].empty());
    EXPECT_TRUE(decoded[0][1] == decoded[1][1]) << "the sound differs";
}

// Given no seed, the processes of a capture share the one the parent names,
// so the fountain runs on across the parts as in one run with that seed.
TEST_F(DemoRun, ACaptureInPartsWithoutASeedIsOneRun) {
    TempDir parts, one;
    const std::string frames = " --fps 5 --size 160x120 --start 0.2 --seconds 2";
    const CommandResult run = RunVelmora("--capture " + ShellQuote(parts.path().string() + "/") + " --jobs 2" + frames);
    ASSERT_EQ(run.status, 0) << run.output;
    const size_t said = run.output.find("(seed ");
    ASSERT_NE(said, std::string::npos) << run.output;
    const std::string seed = run.output.substr(said + 6, run.output.find(')', said) - said - 6);
    ASSERT_EQ(RunVelmora("--capture " + ShellQuote(one.path().string() + "/") + " --seed " + seed + frames).status, 0);
    for (int k = 1; k <= 10; ++k) {
        const std::string name = PngFrameWriter::FrameFileName(uint64_t(loading_ + k));
        EXPECT_TRUE(ReadFile(parts.path() / name) == ReadFile(one.path() / name)) << name;
    }
}

}  // namespace
