// Runs of the real program off screen: the benchmark's figures, and a capture
// to PNG frames and to a video that must agree frame for frame, with the music
// starting where the timeline starts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "loading/m_InitMesh.h"
#include "loading/m_initObjects.h"
#include "platform/capture/FrameCapture.h"
#include "support/TestSupport.h"

namespace {

std::string Quote(const std::filesystem::path& path) { return ShellQuote(path.string()); }

std::string Velmora() { return "SDL_VIDEODRIVER=offscreen SDL_AUDIODRIVER=dummy " + Quote(VELMORA_BINARY); }

// The number that follows "key": in a line of JSON; NaN when it is missing.
double JsonNumber(const std::string& json, const std::string& key) {
    const std::regex pattern("\"" + key + "\": (-?[0-9.]+)");
    std::smatch match;
    if (!std::regex_search(json, match, pattern)) return std::nan("");
    return std::stod(match[1].str());
}

// A frame decoded to packed RGB24 by ffmpeg: a PNG file, or frame `index` of a video.
std::vector<uint8_t> DecodeFrame(const std::filesystem::path& file, int index = -1) {
    std::string command = "ffmpeg -loglevel error -i " + Quote(file);
    if (index >= 0) command += " -vf 'select=eq(n\\," + std::to_string(index) + ")' -vsync 0 -frames:v 1";
    command += " -f rawvideo -pix_fmt rgb24 - 2>/dev/null";
    const CommandResult result = RunCommand(command);
    return std::vector<uint8_t>(result.output.begin(), result.output.end());
}

// Seconds from the start of `file`'s first audio stream to its first sample
// that is not silence (above -78 dBFS: the music fades in slowly, so only a
// threshold near zero finds the same place in both), decoded to mono 8 kHz;
// negative when there is none.
double FirstSoundSeconds(const std::filesystem::path& file) {
    const CommandResult result =
        RunCommand("ffmpeg -loglevel error -i " + Quote(file) + " -map 0:a:0 -ac 1 -ar 8000 -f s16le - 2>/dev/null");
    const size_t samples = result.output.size() / 2;
    for (size_t i = 0; i < samples; ++i) {
        int16_t s;
        std::memcpy(&s, result.output.data() + i * 2, 2);
        if (std::abs(static_cast<int>(s)) > 4) return static_cast<double>(i) / 8000.0;
    }
    return -1.0;
}

std::map<std::string, std::string> ProbeStream(const std::filesystem::path& file, const std::string& stream) {
    const CommandResult result = RunCommand("ffprobe -v error -count_frames -select_streams " + stream +
                                 " -show_entries stream=codec_name,pix_fmt,r_frame_rate,nb_read_frames,duration"
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

TEST(BenchmarkRun, PrintsOneLineOfJsonWithEveryFigureSane) {
    const CommandResult run = RunCommand(Velmora() + " --benchmark --seconds 5 2>/dev/null");
    ASSERT_EQ(run.status, 0) << run.output;
    const std::string& json = run.output;
    ASSERT_EQ(std::count(json.begin(), json.end(), '\n'), 1) << "one line: " << json;
    auto n = [&](const char* key) { return JsonNumber(json, key); };
    // Five seconds at 60 fps, the loading screens' frames included: the
    // timeline gets the rest of the 300.
    EXPECT_GT(n("frames"), 60);
    EXPECT_LT(n("frames"), 300);
    EXPECT_NEAR(n("fps"), n("frames") / n("wall_s"), 0.05 * n("fps"));
    EXPECT_GT(n("load_ms"), 0);
    // The percentiles in order and within the run; the phases inside its wall time.
    EXPECT_GT(n("p50"), 0);
    EXPECT_LE(n("p50"), n("p95"));
    EXPECT_LE(n("p95"), n("p99"));
    EXPECT_LE(n("p99"), n("max"));
    EXPECT_LE(n("max"), n("wall_s") * 1000.0);
    EXPECT_GT(n("peak_rss_mb"), 10);
    EXPECT_GE(n("allocs_per_frame"), 0);
    EXPECT_GE(n("driver_allocs_per_frame"), 0);
    EXPECT_GT(n("draw"), 0);
    EXPECT_LE(n("update") + n("draw") + n("present"), n("wall_s") * 1.02);
}

class CaptureRun : public ::testing::Test {
protected:
    static constexpr int kFps = 10;
    static constexpr int kSeconds = 12;
    // Every loading screen is one presented frame: the graphics mode's first
    // Present, "Loading fonts", one per mesh, one per object and one for each
    // of the four steps. The timeline (and the music) starts on the frame
    // after them.
    static constexpr int kSteps = 4;
    static constexpr int kTimelineStartFrame = 2 + static_cast<int>(MeshList.size() + ObjectTable.size()) + kSteps;

    static void SetUpTestSuite() {
        folder_ = new TempDir();
        const auto& root = folder_->path();
        const std::string common = " --seed 7 --fps " + std::to_string(kFps) + " --seconds " + std::to_string(kSeconds);
        const std::string capture = Velmora() + " --capture ";
        pngRun_ = new CommandResult(RunCommand(capture + Quote(root / "frames") + "/" + common + " 2>&1"));
        videoRun_ = new CommandResult(RunCommand(capture + Quote(root / "demo.mp4") + common + " 2>&1"));
    }
    static void TearDownTestSuite() {
        delete pngRun_;
        delete videoRun_;
        delete folder_;
    }
    static std::filesystem::path Video() { return folder_->path() / "demo.mp4"; }
    static std::filesystem::path Png(int index) {
        return folder_->path() / "frames" / PngFrameWriter::FrameFileName(static_cast<uint64_t>(index));
    }

    static inline TempDir* folder_ = nullptr;
    static inline CommandResult* pngRun_ = nullptr;
    static inline CommandResult* videoRun_ = nullptr;
};

TEST_F(CaptureRun, VideoHoldsExactlyTheFramesAtTheRateAsH264) {
    ASSERT_EQ(videoRun_->status, 0) << videoRun_->output;
    const auto video = ProbeStream(Video(), "v:0");
    EXPECT_EQ(video.at("codec_name"), "h264");
    EXPECT_EQ(video.at("pix_fmt"), "yuv420p");
    EXPECT_EQ(video.at("r_frame_rate"), std::to_string(kFps) + "/1");
    EXPECT_EQ(video.at("nb_read_frames"), std::to_string(kFps * kSeconds));
    // Nothing left behind beside the video.
    size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder_->path())) ++files;
    EXPECT_EQ(files, 2u) << "demo.mp4 and frames/";
}

TEST_F(CaptureRun, PngFramesCountTheSameFrames) {
    ASSERT_EQ(pngRun_->status, 0) << pngRun_->output;
    EXPECT_TRUE(std::filesystem::exists(Png(kFps * kSeconds - 1)));
    EXPECT_FALSE(std::filesystem::exists(Png(kFps * kSeconds)));
}

TEST_F(CaptureRun, MusicStartsOnTheTimelineStartFrameAndEndsWithTheVideo) {
    ASSERT_EQ(videoRun_->status, 0) << videoRun_->output;
    const auto audio = ProbeStream(Video(), "a:0");
    ASSERT_FALSE(audio.empty()) << "the video has an audio stream";
    const double videoSeconds = static_cast<double>(kSeconds);
    EXPECT_NEAR(std::stod(audio.at("duration")), videoSeconds, 0.1);

    // The music file's own lead-in before its first sound is kept.
    const double leadIn = FirstSoundSeconds(std::filesystem::path(VELMORA_CONTENT_DIR) / "velmora5.mp3");
    ASSERT_GE(leadIn, 0.0);
    const double expected = static_cast<double>(kTimelineStartFrame) / kFps + leadIn;
    ASSERT_LT(expected, videoSeconds) << "the run must reach the timeline";
    EXPECT_NEAR(FirstSoundSeconds(Video()), expected, 1.0 / kFps);
}

TEST_F(CaptureRun, VideoFramesMatchThePngFramesOfTheSameIndex) {
    ASSERT_EQ(pngRun_->status, 0) << pngRun_->output;
    ASSERT_EQ(videoRun_->status, 0) << videoRun_->output;
    // A loading screen, the first timeline frame and the last frame.
    for (int index : {10, kTimelineStartFrame, kFps * kSeconds - 1}) {
        const std::vector<uint8_t> png = DecodeFrame(Png(index));
        const std::vector<uint8_t> frame = DecodeFrame(Video(), index);
        ASSERT_EQ(png.size(), 1024u * 768u * 3u) << "frame " << index;
        ASSERT_EQ(frame.size(), png.size()) << "frame " << index;
        double squared = 0;
        for (size_t i = 0; i < png.size(); ++i) {
            const double d = static_cast<double>(png[i]) - static_cast<double>(frame[i]);
            squared += d * d;
        }
        const double mse = squared / static_cast<double>(png.size());
        const double psnr = mse > 0 ? 10.0 * std::log10(255.0 * 255.0 / mse) : 99.0;
        // H.264 at its default quality with 4:2:0 chroma stays well above 30 dB;
        // a neighbouring frame or a shifted picture falls far below.
        EXPECT_GT(psnr, 30.0) << "frame " << index;
    }
}

TEST(CaptureErrors, MissingEncoderIsReportedBeforeAnythingRenders) {
    TempDir folder;
    const auto out = folder.path() / "demo.mp4";
    const CommandResult run = RunCommand("PATH=/nonexistent " + Velmora() + " --capture " + Quote(out) + " 2>&1");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.output.find("ffmpeg"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("wrote"), std::string::npos) << run.output;
    EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

}  // namespace
