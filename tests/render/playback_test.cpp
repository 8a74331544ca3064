// The live run's keys, in process: real key events through the demo's own
// message pump, the fixed-step clock, and the frames after seeks compared
// byte for byte with the first frame of runs started at that frame (the
// fast-forward of --start, which the demo test holds to a whole run).
#include <SDL.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "common/Variables.h"
#include "platform/capture/FrameCapture.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Random.h"
#include "platform/texture/TextureLoader.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/Playback.h"
#include "shell/m_Terminate.h"
#include "support/DeviceHarness.h"
#include "support/TestSupport.h"

namespace {

// A frame lasts 33.3 ms: the clock must be put back on a seek for the ticks
// to round as in a run from the start.
constexpr uint32_t kFps = 30;

void PushKey(SDL_Keycode key, Uint16 modifiers = KMOD_NONE) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    event.key.keysym.mod = modifiers;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

// Notes what the controls do with the music.
class MusicLog final : public MusicPlayer {
public:
    std::vector<std::string> calls;  // "stop", "pause", "play 12.345"
    void SetFileName(const std::string&) override {}
    void SetCurrentPosition(double seconds) override { position_ = seconds; }
    void Play() override {
        char text[32];
        std::snprintf(text, sizeof text, "play %.3f", position_);
        calls.emplace_back(text);
    }
    void Stop() override { calls.emplace_back("stop"); }
    void Pause() override { calls.emplace_back("pause"); }

private:
    double position_ = 0;
};

struct Shown {
    int64_t frame;  // the timeline frame, as the controls count it
    Frame picture;
    std::string info;
    size_t musicCalls;
};

class PlaybackRun : public ::testing::Test {
protected:
    // Follows the presents as the process's frame follower does, keeping the
    // timeline's frames; `after` runs after each of them.
    struct Keeper final : PresentListener {
        FixedStepClock* clock = nullptr;
        bool timeline = false;
        std::function<void()> after;
        std::vector<Frame> frames;
        void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
            clock->OnFramePresented();
            if (!timeline || rgba == nullptr) return;
            frames.push_back(Frame{std::vector<uint8_t>(rgba, rgba + size_t{width} * height * 4), width});
            if (after) after();
        }
        bool WantsPixels() const override { return timeline; }
    };

    void TearDown() override { Clear(); }

    void Clear() {
        D3DDevice.reset();
        DX.reset();
        D3D.reset();
        D3DX.reset();
        Sprite.reset();
        FontSmall.reset();
        for (auto* texture : {&TexWhite, &TexLogoDds, &TexDot, &TexLogoJpg, &TexBajs, &TexTextEfter}) texture->reset();
        Steps.Erase();
        Objects.Erase();
        Meshes.Erase();
        frmMain = nullptr;
        window.reset();
        mp3 = nullptr;
        Rng = nullptr;
        SystemClock = nullptr;
        LoadingCount = 0;
    }

    // Runs the demo from timeline frame `start` with seed 1 until Esc; the
    // controls take the keys when `options` are given.
    std::vector<Shown> Run(int64_t start, const std::function<void(Playback&, size_t)>& script = {},
                           PlaybackOptions options = {}) {
        Clear();
        window = std::make_unique<Window>(WindowOptions{false, true});
        FixedStepClock clock(kFps);
        Random random;
        random.FixSeed(1);
        Keeper keeper;
        keeper.clock = &clock;
        options.framesPerSecond = kFps;
        options.countsFrames = true;
        Playback playback(options, &keeper);
        std::vector<Shown> shown;
        keeper.after = [&] {
            shown.push_back({playback.FrameShown(), keeper.frames.back(), playback.InfoShown() ? playback.InfoLine() : "",
                             music.calls.size()});
            if (!script) {
                PushKey(SDLK_ESCAPE);
            } else {
                script(playback, keeper.frames.size() - 1);
            }
        };
        window->SetPresentListener(script ? static_cast<PresentListener*>(&playback) : &keeper);
        frmMain = window.get();
        SystemClock = &clock;
        Rng = &random;
        mp3 = &music;
        AppPath = content;
        TimelineStart timelineStart;
        timelineStart.frames = start;
        timelineStart.reached = [&](double) { keeper.timeline = true; };
        try {
            RunMain(DemoRoutines(), timelineStart, script ? &playback : nullptr);
        } catch (const ProcessExit&) {
        }
        return shown;
    }

    // The first frame of a run started at `frame`.
    Frame FrameOfRunFrom(int64_t frame) {
        const std::vector<Shown> shown = Run(frame);
        EXPECT_FALSE(shown.empty());
        return shown.empty() ? Frame{} : shown.front().picture;
    }

    std::unique_ptr<Window> window;
    MusicLog music;
    std::string content = VELMORA_CONTENT_DIR;
};

// Pixels differing between two frames of the same size, and where.
Found Differences(const Frame& a, const Frame& b) {
    return FindWhere(0, 0, static_cast<int>(a.width), static_cast<int>(a.Height()),
                     [&](int x, int y) { return !(a.Pixel(x, y) == b.Pixel(x, y)); });
}

// From 95 s: Right, Left, Home, Page Down, Page Up, each pressed during one
// frame and done after it; the next frame is the frame of a run from the
// start at the new place, and the music is started there.
TEST_F(PlaybackRun, SeeksShowTheFramesOfARunFromTheStart) {
    const int64_t start = 95 * kFps;
    const std::map<size_t, SDL_Keycode> keys = {
        {0, SDLK_RIGHT}, {2, SDLK_LEFT}, {4, SDLK_HOME}, {6, SDLK_PAGEDOWN}, {8, SDLK_PAGEUP}, {10, SDLK_ESCAPE}};
    std::vector<int32_t> steps;
    const std::vector<Shown> shown = Run(start, [&](Playback&, size_t frame) {
        steps.push_back(CurrentStep);
        if (keys.count(frame)) PushKey(keys.at(frame));
    });
    ASSERT_EQ(shown.size(), 12u);
    // Each key is pumped in the frame after the one it followed and acted on after that frame.
    const int64_t right = start + 1 + 5 * kFps, left = right + 1 - 5 * kFps;
    const std::vector<int64_t> want = {start, start + 1, right, right + 1, left, left + 1, 0, 1};
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(shown[i].frame, want[i]) << "frame " << i;
    // Page Down from step 0 goes to the first frame of step 1, just after 83 s;
    // Page Up from there to step 0's first.
    EXPECT_EQ(steps[8], 1);
    EXPECT_EQ(steps[7], 0);
    EXPECT_GT(shown[8].frame, 83 * kFps);
    EXPECT_LT(shown[8].frame, 84 * kFps);
    EXPECT_EQ(shown[10].frame, 0);

    // With the controls and no key pressed, the frames are those of a run without them.
    EXPECT_EQ(shown[0].picture.rgba, FrameOfRunFrom(start).rgba);
    for (size_t i : {2, 4, 6}) {
        EXPECT_EQ(shown[i].picture.rgba, FrameOfRunFrom(shown[i].frame).rgba) << "after the seek to " << shown[i].frame;
    }
    EXPECT_EQ(shown[10].picture.rgba, shown[6].picture.rgba);
    EXPECT_NE(shown[2].picture.rgba, shown[1].picture.rgba);

    // The music is stopped and started again at each seek's place.
    for (size_t i : {2, 4, 6, 8, 10}) {
        ASSERT_GE(shown[i].musicCalls, 2u);
        char play[32];
        std::snprintf(play, sizeof play, "play %.3f", static_cast<double>(shown[i].frame) / kFps);
        EXPECT_EQ(music.calls[shown[i].musicCalls - 1], play) << "frame " << i;
        EXPECT_EQ(music.calls[shown[i].musicCalls - 2], "stop") << "frame " << i;
    }
}

// From 20 s, keys pressed together during one frame: Space pauses; `.`, `.`
// and `,` step; I shows the info line, F12 saves the picture, I hides the
// line; Space resumes from the frame after the one held.
TEST_F(PlaybackRun, PauseHoldsTheFrameAndTheMusicWhileFrameStepsStillsAndTheInfoLineWork) {
    const int64_t start = 20 * kFps;
    TempDir pictures;
    PlaybackOptions options;
    options.pictures = pictures.path() / "Pictures";
    std::filesystem::path still;
    const std::vector<Shown> shown = Run(
        start,
        [&](Playback& playback, size_t frame) {
            if (frame == 0) {
                for (SDL_Keycode key : {SDLK_SPACE, SDLK_PERIOD, SDLK_PERIOD, SDLK_COMMA, SDLK_i, SDLK_F12, SDLK_i,
                                        SDLK_SPACE}) {
                    PushKey(key);
                }
            }
            if (frame == 8) {
                still = playback.LastStill();
                PushKey(SDLK_ESCAPE);
            }
        },
        options);
    ASSERT_EQ(shown.size(), 10u);
    const int64_t held = start + 1;
    const std::vector<int64_t> want = {start,    held,     held + 1, held + 2, held + 1,
                                       held + 1, held + 1, held + 1, held + 2, held + 3};
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(shown[i].frame, want[i]) << "frame " << i;

    const Frame& stepped = shown[2].picture;
    EXPECT_NE(stepped.rgba, shown[1].picture.rgba);
    EXPECT_EQ(shown[4].picture.rgba, stepped.rgba) << "a step back and forth";
    EXPECT_EQ(shown[7].picture.rgba, stepped.rgba) << "the info line hidden again";
    EXPECT_EQ(shown[8].picture.rgba, shown[3].picture.rgba) << "resumed at the frame after the one held";

    // The info line: a strip at the top, the rest of the picture untouched.
    const Found info = Differences(shown[5].picture, stepped);
    EXPECT_GT(info.count, 500);
    EXPECT_LE(info.bottom, 8 + 18);
    EXPECT_EQ(shown[6].picture.rgba, shown[5].picture.rgba);
    char time[32];
    std::snprintf(time, sizeof time, "%.3f s", static_cast<double>(held + 1) / kFps);
    for (const char* part : {static_cast<const char*>(time), "step 0", "paused", "1024x768", "0 samples"}) {
        EXPECT_NE(shown[5].info.find(part), std::string::npos) << part << " in " << shown[5].info;
    }
    EXPECT_EQ(shown[4].info, "");

    // The still: the frame on screen, named by its timeline time.
    ASSERT_FALSE(still.empty());
    EXPECT_EQ(still.parent_path(), options.pictures);
    EXPECT_EQ(still.filename().string(), "velmora-020.067s.png");
    const DecodedImage image = DecodeImage(ReadFile(still), still.string());
    ASSERT_EQ(image.width, 1024u);
    ASSERT_EQ(image.height, 768u);
    EXPECT_EQ(image.rgba, shown[6].picture.rgba);

    // Paused once, silent while paused, played again from the frame resumed at.
    const std::vector<std::string> whilePaused(music.calls.begin() + static_cast<long>(shown[1].musicCalls),
                                               music.calls.begin() + static_cast<long>(shown[7].musicCalls));
    EXPECT_EQ(std::count(whilePaused.begin(), whilePaused.end(), "pause"), 1);
    for (const std::string& call : whilePaused) EXPECT_EQ(call.find("play"), std::string::npos) << call;
    EXPECT_EQ(music.calls.at(shown[8].musicCalls - 1), "play 20.100");
}

// F11 and Alt+Enter switch the window to full screen and back.
TEST_F(PlaybackRun, FullScreenKeysSwitchTheWindow) {
    std::vector<bool> fullscreen;
    Run(0, [&](Playback&, size_t frame) {
        fullscreen.push_back(frmMain->IsFullscreen() &&
                             (SDL_GetWindowFlags(frmMain->Handle()) & SDL_WINDOW_FULLSCREEN_DESKTOP) != 0);
        if (frame == 0) PushKey(SDLK_F11);
        if (frame == 2) PushKey(SDLK_RETURN, KMOD_LALT);
        if (frame == 4) PushKey(SDLK_RETURN);
        if (frame == 6) PushKey(SDLK_ESCAPE);
    });
    EXPECT_EQ(fullscreen, (std::vector<bool>{false, false, true, true, false, false, false, false}));
}

// The camera file with every key of step 0, eye and target, moved along x.
std::string ShiftStepZero(const std::string& camera, int dx) {
    std::istringstream in(camera);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("0,", 0) == 0) {
            std::vector<std::string> fields;
            std::stringstream split(line);
            for (std::string field; std::getline(split, field, ',');) fields.push_back(field);
            fields[1] = std::to_string(std::stoi(fields[1]) + dx);
            fields[5] = std::to_string(std::stoi(fields[5]) + dx);
            line.clear();
            for (size_t i = 0; i < fields.size(); ++i) line += (i ? "," : "") + fields[i];
        }
        out += line + "\n";
    }
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

// --watch under a demo running from 20 s: cam.dat rewritten with step 0's
// path moved 50 units along x moves the camera at the next frame; a rewrite
// with a typo (saved twice) keeps that path and shows the error, reported
// once; the fixed file clears it
// and brings the first path back; a texture replaced by a rename shows.
TEST_F(PlaybackRun, WatchedContentIsLoadedAgainAtTheSameTime) {
    TempDir pack;
    for (const char* name : {"data", "cam.dat", "white.tga", "logo.jpg", "text_efter.jpg", "velmora5.mp3"}) {
        std::filesystem::copy(std::filesystem::path(VELMORA_CONTENT_DIR) / name, pack.path() / name,
                              std::filesystem::copy_options::recursive);
    }
    content = pack.path().string();
    const std::filesystem::path cam = pack.path() / "cam.dat";
    const std::string original = ReadFile(cam);
    std::string broken = original;
    broken.replace(broken.find(';') + 1, 0, "\n0,400,4O0,200,2194,400,50,-200,2194;");
    const std::filesystem::path cobbles = pack.path() / "data" / "misc" / "ground" / "cobbles.jpg";
    std::vector<float> eyeX, eyeZ;
    std::vector<std::string> notices;
    PlaybackOptions options;
    options.watch = true;
    testing::internal::CaptureStderr();
    const std::vector<Shown> shown = Run(
        20 * kFps,
        [&](Playback& playback, size_t frame) {
            eyeX.push_back(camPos.x);
            eyeZ.push_back(camPos.z);
            notices.push_back(playback.Notice());
            if (frame == 0) WriteFile(cam, ShiftStepZero(original, 50));
            if (frame == 2 || frame == 3) WriteFile(cam, broken);
            if (frame == 4) WriteFile(cam, original);
            if (frame == 6) {
                const std::vector<uint8_t> red(64 * 64 * 4, 255);
                std::vector<uint8_t> pixels = red;
                for (size_t i = 0; i < pixels.size(); i += 4) pixels[i + 1] = pixels[i + 2] = 0;
                WritePng(cobbles.string() + ".part", pixels.data(), 64, 64);
                std::filesystem::rename(cobbles.string() + ".part", cobbles);
            }
            if (frame == 8) PushKey(SDLK_ESCAPE);
        },
        options);
    const std::string log = testing::internal::GetCapturedStderr();
    ASSERT_EQ(shown.size(), 10u);
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i].frame, 20 * kFps + int64_t(i)) << "frame " << i;

    // A frame moves the camera a few units; the new path moves it 50 more.
    auto moved = [&](size_t i) { return eyeX[i] - eyeX[i - 1]; };
    EXPECT_NEAR(moved(1), 50, 8);
    EXPECT_NEAR(eyeZ[1], eyeZ[0], 8);
    EXPECT_NEAR(moved(2), 0, 8);
    EXPECT_NEAR(moved(3), 0, 8) << "the broken file keeps the last good path";
    for (size_t i : {3, 4}) {
        EXPECT_GT(std::hypot(eyeX[i] - eyeX[i - 1], eyeZ[i] - eyeZ[i - 1]), 0.5) << "the camera flies on at frame " << i;
    }
    EXPECT_NEAR(moved(5), -50, 8) << "the fixed file brings the first path back";

    for (size_t i : {0, 1, 2, 5, 6}) EXPECT_EQ(notices[i], "") << "frame " << i;
    for (size_t i : {3, 4}) {
        EXPECT_NE(notices[i].find("cam.dat record 2"), std::string::npos) << notices[i];
    }
    // The error in red at the bottom of the picture, on stderr once.
    auto reddish = [](const Frame& f) {
        return Find(f, 0, 700, 1024, 768, [](const Rgb& c) { return c.r > 200 && c.g < 120 && c.b < 120; }).count;
    };
    EXPECT_GT(reddish(shown[3].picture), 100);
    EXPECT_EQ(reddish(shown[5].picture), 0);
    size_t reports = 0;
    for (size_t at = log.find("cam.dat record 2"); at != std::string::npos; at = log.find("cam.dat record 2", at + 1)) {
        ++reports;
    }
    EXPECT_EQ(reports, 1u) << log;

    // The cobbles turned red from the frame after the rename.
    auto redGround = [](const Frame& f) {
        return Find(f, 0, 0, 1024, 768, [](const Rgb& c) { return c.r > c.g + 60 && c.r > c.b + 60; }).count;
    };
    EXPECT_GT(redGround(shown[7].picture), redGround(shown[6].picture) + 20000);
}

}  // namespace
