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

#include "loading/ObjectTable.h"
#include "loading/m_InitMesh.h"
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
    // The percentiles in order and within the run.
    EXPECT_GT(n("p50"), 0);
    EXPECT_LE(n("p50"), n("max"));
    EXPECT_LE(n("max"), n("wall_s") * 1000.0);
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
        folder_ = std::make_unique<TempDir>();
        videoRun_ = RunCommand(Velmora() + " --capture " + Quote(Video()) + " --seed 7 --fps " + std::to_string(kFps) +
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
        RunCommand(Velmora() + " --capture " + Quote(folder.path() / "f/") + " --seconds 1 --msaa 8 2>&1");
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
    const CommandResult run = RunCommand(Velmora() + " --capture " + Quote(frames) + " --fps 1 --seconds 8 2>&1");
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
    const CommandResult run = RunCommand("MESA_GL_VERSION_OVERRIDE=3.1 " + Velmora() + " --benchmark --seconds 1 2>&1");
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

    // The music file's own lead-in before its first sound is kept.
    const double leadIn = FirstSoundSeconds(std::filesystem::path(VELMORA_CONTENT_DIR) / "velmora5.mp3");
    ASSERT_GE(leadIn, 0.0);
    const double expected = static_cast<double>(kTimelineStartFrame) / kFps + leadIn;
    ASSERT_LT(expected, videoSeconds) << "the run must reach the timeline";
    EXPECT_NEAR(FirstSoundSeconds(Video()), expected, 1.0 / kFps);
}

}  // namespace
