// The demo's window on a real X display: losing focus, being minimised and
// restored, hidden and resized must not stop the frames (the fixed-step clock
// and the capture follow them) nor reach the key handler (which ends the demo
// on Esc). Needs an X server: scripts/test and scripts/check-deep run it under
// xvfb-run; without a display it is skipped.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "platform/device/GLDevice.h"
#include "platform/system/Clock.h"
#include "platform/window/Window.h"

namespace {

class FrameCounter final : public PresentListener {
public:
    int frames = 0;
    bool allRed = true;
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        ++frames;
        const size_t centre = (size_t(height / 2) * width + width / 2) * 4;
        if (rgba == nullptr || width != 1024 || height != 768 || rgba[centre] != 255 || rgba[centre + 1] != 0) {
            allRed = false;
        }
    }
    bool WantsPixels() const override { return true; }
};

void PushWindowEvent(SDL_Window* window, Uint8 kind) {
    SDL_Event event{};
    event.type = SDL_WINDOWEVENT;
    event.window.windowID = SDL_GetWindowID(window);
    event.window.event = kind;
    SDL_PushEvent(&event);
}

class WindowRobustness : public ::testing::TestWithParam<bool> {};

TEST_P(WindowRobustness, FramesKeepComingThroughFocusMinimiseAndResize) {
    if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "needs an X display (run under xvfb-run)";
    setenv("SDL_VIDEODRIVER", "x11", 1);
    WindowOptions options;
    options.fullscreen = GetParam();
    Window window(options);
    window.Show();
    std::vector<int> keys;
    window.SetKeyDownHandler([&](int key, int) { keys.push_back(key); });
    GLDeviceConfig config;
    config.window = window.Handle();
    config.vsync = false;
    GLDevice device(config);
    FrameCounter counter;
    device.SetPresentListener(&counter);
    RealClock clock;
    const int64_t startCounter = clock.PerformanceCounter();

    int presented = 0;
    auto frames = [&](int n) {
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFFFF0000u, 1.0f, 0), D3D_OK);
            ASSERT_EQ(device.Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
            ++presented;
            window.PumpMessages();
        }
    };
    SDL_Window* handle = window.Handle();
    const std::vector<std::function<void()>> actions = {
        [&] {
            PushWindowEvent(handle, SDL_WINDOWEVENT_FOCUS_LOST);
            PushWindowEvent(handle, SDL_WINDOWEVENT_LEAVE);
        },
        [&] { SDL_MinimizeWindow(handle); },
        [&] {
            PushWindowEvent(handle, SDL_WINDOWEVENT_MINIMIZED);
            PushWindowEvent(handle, SDL_WINDOWEVENT_HIDDEN);
        },
        [&] { SDL_RestoreWindow(handle); },
        [&] { SDL_HideWindow(handle); },
        [&] { SDL_ShowWindow(handle); },
        [&] { SDL_SetWindowSize(handle, 640, 400); },
        [&] { SDL_SetWindowSize(handle, 1, 1); },
        [&] { SDL_SetWindowSize(handle, 1600, 500); },
        [&] { SDL_MaximizeWindow(handle); },
        [&] {
            PushWindowEvent(handle, SDL_WINDOWEVENT_RESTORED);
            PushWindowEvent(handle, SDL_WINDOWEVENT_FOCUS_GAINED);
            SDL_RaiseWindow(handle);
        },
    };
    frames(2);
    for (const auto& action : actions) {
        action();
        frames(3);
    }
    EXPECT_EQ(counter.frames, presented) << "a Present did not reach the listener";
    EXPECT_TRUE(counter.allRed) << "a frame was not the full 1024 x 768 picture";
    EXPECT_TRUE(keys.empty()) << "window events reached the key handler";
    EXPECT_GT(clock.PerformanceCounter(), startCounter);
}

INSTANTIATE_TEST_SUITE_P(Modes, WindowRobustness, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "FullScreen" : "Windowed");
                         });

}  // namespace
