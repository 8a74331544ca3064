// Figures of a live run's controls, with the real clock on an off-screen
// window: the time from a key press to the picture after a seek, and from a
// content file written to the first frame that shows it under --watch. Runs
// on a copy of the content folder, which it changes.
//
// velmora-live-figures forward|back [CONTENT]   (default: the folder that holds the program)
//   forward: from 145 s, Right to 150 s (the timeline ends 0.2 s later)
//   back:    from 145 s, Home to the start, Page Down, Right, then the reloads
#include <SDL.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "common/Variables.h"
#include "platform/capture/FrameCapture.h"
#include "platform/device/Device.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/Playback.h"
#include "shell/m_Terminate.h"

namespace fs = std::filesystem;
using Time = std::chrono::steady_clock::time_point;

namespace {

double Milliseconds(Time from, Time to) { return std::chrono::duration<double, std::milli>(to - from).count(); }

void PushKey(SDL_Keycode key) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.keysym.sym = key;
    SDL_PushEvent(&event);
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes `bytes` to a new file beside `path` and renames it over `path`, as editors save.
void Replace(const fs::path& path, const std::string& bytes) {
    const fs::path part = path.string() + ".part";
    std::ofstream(part, std::ios::binary) << bytes;
    fs::rename(part, path);
}

// A 256 x 256 PNG of noise, different at each call.
void WriteNoise(const fs::path& path, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> rgba(256 * 256 * 4, 255);
    for (size_t i = 0; i < rgba.size(); ++i)
        if (i % 4 != 3) rgba[i] = static_cast<uint8_t>(random());
    const fs::path part = path.string() + ".part";
    WritePng(part, rgba.data(), 256, 256);
    fs::rename(part, path);
}

// What is done after which timeline frame, and what to time: from the action
// to the present `frames` later.
struct Action {
    std::string what;
    std::function<void()> act;
    int frames;
};

class Stopwatch final : public PresentListener {
public:
    std::map<size_t, Action> script;
    void OnPresent(const uint8_t*, uint32_t, uint32_t) override {
        const Time now = std::chrono::steady_clock::now();
        if (timeline_) {
            for (auto it = pending_.begin(); it != pending_.end();) {
                if (--it->second.frames == 0) {
                    std::printf("%-46s %8.1f ms\n", it->second.what.c_str(), Milliseconds(it->first, now));
                    it = pending_.erase(it);
                } else {
                    ++it;
                }
            }
            if (frames_ > 0) frameMs_.push_back(Milliseconds(last_, now));
            const auto found = script.find(frames_++);
            if (found != script.end()) {
                const Time at = std::chrono::steady_clock::now();
                found->second.act();
                pending_.emplace_back(at, found->second);
            }
        }
        last_ = now;
    }
    bool WantsPixels() const override { return false; }
    void StartTimeline() { timeline_ = true; }
    double MedianFrame() {
        std::sort(frameMs_.begin(), frameMs_.end());
        return frameMs_.empty() ? 0 : frameMs_[frameMs_.size() / 2];
    }

private:
    bool timeline_ = false;
    size_t frames_ = 0;
    Time last_{};
    std::vector<std::pair<Time, Action>> pending_;
    std::vector<double> frameMs_;
};

}  // namespace

int main(int argc, char** argv) {
    const std::string scenario = argc > 1 ? argv[1] : "";
    if (scenario != "forward" && scenario != "back") {
        std::fprintf(stderr, "usage: velmora-live-figures forward|back [CONTENT]\n");
        return 2;
    }
    const fs::path source = argc > 2 ? fs::path(argv[2]) : fs::canonical("/proc/self/exe").parent_path();
    const fs::path copy = fs::temp_directory_path() / ("velmora-live-figures-" + std::to_string(getpid()));
    fs::create_directories(copy);
    for (const char* name : {"data", "cam.dat", "white.tga", "logo.jpg", "text_efter.jpg", "velmora5.mp3"}) {
        fs::copy(source / name, copy / name, fs::copy_options::recursive);
    }
    const std::string camera = ReadAll(copy / "cam.dat");
    const fs::path fountain = copy / "data" / "misc" / "fountain" / "fountain_01.x";
    const std::string fountainBytes = ReadAll(fountain);

    WindowOptions options;
    options.fullscreen = false;
    options.offscreen = true;
    Window window(options);
    RealClock clock;
    Random random;
    random.FixSeed(1);
    std::unique_ptr<MusicPlayer> music = CreateMusicPlayer(false);
    Stopwatch stopwatch;
    PlaybackOptions playbackOptions;
    playbackOptions.watch = true;
    Playback playback(playbackOptions, &stopwatch);
    window.SetPresentListener(&playback);
    frmMain = &window;
    SystemClock = &clock;
    Rng = &random;
    mp3 = music.get();
    AppPath = copy.string();

    // A key is pumped in the frame after it is pressed and acted on after
    // that frame: its picture is two presents on.
    stopwatch.script = {
        {5, {"Home, 145 s -> 0 s (key to picture)", [] { PushKey(SDLK_HOME); }, 2}},
        {25, {"Page Down, 0 s -> 83 s (key to picture)", [] { PushKey(SDLK_PAGEDOWN); }, 2}},
        {35, {"Right, 83 s -> 88 s (key to picture)", [] { PushKey(SDLK_RIGHT); }, 2}},
        {45, {"cam.dat rewritten (write to picture)", [&] { Replace(copy / "cam.dat", camera + "\n"); }, 1}},
        {55, {"cobbles.jpg replaced, 9 meshes (write to picture)",
              [&] { WriteNoise(copy / "data" / "misc" / "ground" / "cobbles.jpg", 1); }, 1}},
        {65, {"house_02/plaster_ochre.jpg replaced (write to picture)",
              [&] { WriteNoise(copy / "data" / "house" / "house_02" / "plaster_ochre.jpg", 2); }, 1}},
        {75, {"fountain_01.x rewritten (write to picture)", [&] { Replace(fountain, fountainBytes); }, 1}},
        {85, {"end", [] { PushKey(SDLK_ESCAPE); }, 1}},
    };
    if (scenario == "forward") {
        stopwatch.script = {{5, {"Right, 145 s -> 150 s (key to picture)", [] { PushKey(SDLK_RIGHT); }, 2}},
                            {7, {"end", [] { PushKey(SDLK_ESCAPE); }, 1}}};
    }
    TimelineStart start;
    start.frames = 145 * RealClock::kSkippedFramesPerSecond;
    start.reached = [&](double seconds) {
        std::printf("%-46s %8.1f ms\n", "fast-forward to 145 s at start-up", seconds * 1000);
        stopwatch.StartTimeline();
    };
    int status = 0;
    try {
        frmMain_Load(start, &playback);
    } catch (const ProcessExit& exit) {
        status = exit.status;
    }
    std::printf("%-46s %8.1f ms\n", "median frame (present to present)", stopwatch.MedianFrame());
    std::error_code ignored;
    fs::remove_all(copy, ignored);
    return status;
}
