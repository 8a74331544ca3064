// Runs of the real program off screen: the benchmark's figures, and a capture
// to a video with the music starting where the timeline starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

std::string Quote(const std::filesystem::path& path) { return ShellQuote(path.string()); }

// The number that follows "key": in a line of JSON; NaN when it is missing.
double JsonNumber(const std::string& json, const std::string& key) {
    const std::regex pattern("\"" + key + "\": (-?[0-9.]+)");
    std::smatch match;
    if (!std::regex_search(json, match, pattern)) return std::nan("");
    return std::stod(match[1].str());
}

// The decoded frames of an 800 x 450 `file` before the first whose picture
// (600 x 450, centred) no longer has the loading screen's dark blue at its
// bottom-left corner.
int LoadingFrames(const std::filesystem::path& file) {
    const std::string rgb = RunCommand("ffmpeg -loglevel error -i " + Quote(file) +
                                       " -vf crop=2:2:110:440 -f rawvideo -pix_fmt rgb24 -").output;
    int frames = 0;
    for (size_t i = 0; i + 12 <= rgb.size(); i += 12, ++frames) {
        const int r = uint8_t(rgb[i]), g = uint8_t(rgb[i + 1]), b = uint8_t(rgb[i + 2]);
        if (r > 8 || g > 8 || std::abs(b - 58) > 8) break;
    }
    return frames;
}

std::map<std::string, std::string> ProbeStream(const std::filesystem::path& file, const std::string& stream) {
    const CommandResult result = RunCommand("ffprobe -v error -count_frames -select_streams " + stream +
                                 " -show_entries stream=codec_name,pix_fmt,r_frame_rate,nb_read_frames,duration,width,height"
                                 " -of default=noprint_wrappers=1 " +
                                 Quote(file));
    std::map<std::string, std::string> fields;
    const std::regex line("([a-z_]+)=(.*)");
    for (auto it = std::sregex_iterator(result.output.begin(), result.output.end(), line);
         it != std::sregex_iterator(); ++it) {
        fields[(*it)[1].str()] = (*it)[2].str();
    }
    return fields;
}

// Runs of 5 and 6 s: the second gets 60 frames more, as the timeline runs at
// 60 frames a second; the demo's own frames allocate nothing.
TEST(BenchmarkRun, PrintsOneLineOfJsonWithEveryFigureSane) {
    std::string json[2];
    for (int i = 0; i < 2; ++i) {
        const CommandResult run = RunProgram("--benchmark --seconds " + std::to_string(5 + i) + " 2>/dev/null");
        ASSERT_EQ(run.status, 0) << run.output;
        json[i] = run.output;
        ASSERT_EQ(std::count(json[i].begin(), json[i].end(), '\n'), 1) << "one line: " << json[i];
    }
    auto n = [&](const char* key) { return JsonNumber(json[0], key); };
    EXPECT_EQ(JsonNumber(json[1], "frames") - n("frames"), 60);
    EXPECT_GT(n("frames"), 60) << "the loading takes less than 4 of the 5 s";
    // The percentiles in order and within the run.
    EXPECT_GT(n("p50"), 0);
    EXPECT_LE(n("p50"), n("p95"));
    EXPECT_LE(n("p95"), n("max"));
    EXPECT_LE(n("max"), n("wall_s") * 1000.0);
    EXPECT_EQ(n("allocs_per_frame"), 0.0);
    EXPECT_GE(n("driver_allocs_per_frame"), 0.0);
    // The content and a 1024 x 768 GL context, but not a leak's worth.
    EXPECT_GT(n("peak_rss_mb"), 30);
    EXPECT_LT(n("peak_rss_mb"), 1000);
}

class CaptureRun : public ::testing::Test {
protected:
    static constexpr int kFps = 10;
    static constexpr int kSeconds = 12;
    static void SetUpTestSuite() {
        folder_ = std::make_unique<TempDir>();
        videoRun_ = RunProgram("--capture " + Quote(Video()) + " --seed 7 --fps " + std::to_string(kFps) +
                               " --seconds " + std::to_string(kSeconds) + " --size 800x450 2>&1");
    }
    static void TearDownTestSuite() { folder_.reset(); }
    static std::filesystem::path Video() { return folder_->path() / "demo.mp4"; }

    static inline std::unique_ptr<TempDir> folder_;
    static inline CommandResult videoRun_;
};

TEST_F(CaptureRun, VideoHoldsExactlyTheFramesAtTheRateAsH264) {
    ASSERT_EQ(videoRun_.status, 0) << videoRun_.output;
    const auto video = ProbeStream(Video(), "v:0");
    EXPECT_EQ(video.at("codec_name"), "h264");
    EXPECT_EQ(video.at("pix_fmt"), "yuv420p");
    EXPECT_EQ(video.at("r_frame_rate"), std::to_string(kFps) + "/1");
    EXPECT_EQ(video.at("nb_read_frames"), std::to_string(kFps * kSeconds));
    EXPECT_EQ(video.at("width"), "800");
    EXPECT_EQ(video.at("height"), "450");
}

// Mesa's software renderer draws at most 4 samples per pixel: asking for 8
// ends the run before any frame with one line that says so, and status 1.
TEST(CaptureSettings, ASampleCountBeyondTheRendererIsRefusedBeforeAnyFrame) {
    TempDir folder;
    const CommandResult run =
        RunProgram("--capture " + Quote(folder.path() / "f/") + " --seconds 1 --msaa 8 2>&1");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("velmora: the renderer cannot draw 8 samples per pixel"), std::string::npos) << run.output;
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "f" / "frame_000000.png"));
}

// A frame that cannot be written whole (its file leads to /dev/full, a disk
// with no room) ends the capture with status 1 and one line naming it and the
// reason; the frames before it are kept whole and no part of it stays behind.
TEST(CaptureSettings, AFrameThatCannotBeWrittenEndsThePngCapture) {
    TempDir folder;
    const std::filesystem::path frames = folder.path() / "f";
    std::filesystem::create_directories(frames);
    std::filesystem::create_symlink("/dev/full", frames / "frame_000003.png");
    const CommandResult run = RunProgram("--capture " + Quote(frames) + " --fps 1 --seconds 8 2>&1");
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_NE(run.output.find("frame_000003.png: No space left on device (the 3 frames before it are complete)"),
              std::string::npos)
        << run.output;
    EXPECT_EQ(run.output.find("wrote"), std::string::npos) << run.output;
    for (int k = 0; k < 3; ++k) {
        const std::string png = ReadFile(frames / ("frame_00000" + std::to_string(k) + ".png"));
        ASSERT_GT(png.size(), 12u) << k;
        EXPECT_EQ(png.substr(png.size() - 8, 4), "IEND") << "frame " << k << " is cut short";
    }
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(frames / "frame_000003.png")));
    EXPECT_FALSE(std::filesystem::exists(frames / "frame_000004.png"));
}

// Mesa told to offer OpenGL 3.1 at most cannot make the device: the message
// carries the driver's own reason beside the result code.
TEST(CaptureSettings, ADeviceThatCannotBeMadeSaysWhyInTheDriversWords) {
    const CommandResult run = RunProgram("--benchmark --seconds 1 2>&1", "MESA_GL_VERSION_OVERRIDE=3.1 ");
    EXPECT_NE(run.output.find("D3DERR_NOTAVAILABLE"), std::string::npos) << run.output;
    EXPECT_TRUE(std::regex_search(run.output, std::regex("cannot create an OpenGL 3.3 core context: [^\\r\\n]{8,}")))
        << run.output;
}

TEST_F(CaptureRun, MusicStartsOnTheTimelineStartFrameAndEndsWithTheVideo) {
    ASSERT_EQ(videoRun_.status, 0) << videoRun_.output;
    const auto audio = ProbeStream(Video(), "a:0");
    ASSERT_FALSE(audio.empty()) << "the video has an audio stream";
    const double videoSeconds = static_cast<double>(kSeconds);
    EXPECT_NEAR(std::stod(audio.at("duration")), videoSeconds, 0.1);

    // The music, with its file's own lead-in, starts on the first frame that no
    // longer shows the loading screen; to a quarter of a frame.
    const double leadIn = FirstSound(std::filesystem::path(VELMORA_CONTENT_DIR) / "velmora5.mp3");
    ASSERT_GE(leadIn, 0.0);
    const int loading = LoadingFrames(Video());
    ASSERT_GT(loading, 10);
    ASSERT_LT(loading, kFps * kSeconds) << "the run must reach the timeline";
    EXPECT_NEAR(FirstSound(Video()), static_cast<double>(loading) / kFps + leadIn, 0.25 / kFps);
}


// Mono 8 kHz samples of `seconds` of `file`'s first audio stream from `from` on.
std::vector<double> Samples(const std::filesystem::path& file, double from, double seconds) {
    const std::string pcm = RunCommand("ffmpeg -loglevel error -ss " + std::to_string(from) + " -t " +
                                       std::to_string(seconds) + " -i " + Quote(file) +
                                       " -map 0:a:0 -ac 1 -ar 8000 -f s16le -").output;
    std::vector<double> samples(pcm.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(uint8_t(pcm[2 * i]) | uint8_t(pcm[2 * i + 1]) << 8);
    return samples;
}

// A video captured from 20 s on carries the music from 20 s on: its first
// second matches the music file best at 20 s, to 10 ms, of the places half a
// second either way.
TEST(CaptureSettings, APartWayVideoCarriesTheMusicFromItsStart) {
    TempDir dir;
    const std::filesystem::path video = dir.path() / "part.mp4";
    const CommandResult run =
        RunProgram("--capture " + Quote(video) + " --start 20 --seconds 2 --fps 5 --size 320x240 2>&1");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::vector<double> heard = Samples(video, 0, 1);
    const std::vector<double> music = Samples(std::filesystem::path(VELMORA_CONTENT_DIR) / "velmora5.mp3", 19.5, 2);
    ASSERT_EQ(heard.size(), 8000u);
    ASSERT_GE(music.size(), 16000u);
    size_t best = 0;
    double bestScore = -1;
    for (size_t lag = 0; lag + heard.size() <= music.size(); ++lag) {
        double dot = 0, energy = 1e-9;
        for (size_t i = 0; i < heard.size(); ++i) {
            dot += heard[i] * music[lag + i];
            energy += music[lag + i] * music[lag + i];
        }
        if (dot / std::sqrt(energy) > bestScore) bestScore = dot / std::sqrt(energy), best = lag;
    }
    EXPECT_NEAR(static_cast<double>(best) / 8000, 0.5, 0.01);
}

}  // namespace
