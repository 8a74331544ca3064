// The whole demo run in this process on an off-screen window, its clock in
// the test's hands: what the loading screen and the final fade show in real
// frames, and how Esc or closing the window, as real key and window events
// through the demo's own message pumps, end the frame loop and the end screen.
#include <SDL.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "common/Common.h"
#include "common/Variables.h"
#include "platform/font/Font.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Random.h"
#include "render/r_Render.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/m_Terminate.h"
#include "support/DeviceHarness.h"
#include "support/TestSupport.h"

namespace {

void Push(Uint32 type, SDL_Keycode key = 0) {
    SDL_Event event{};
    event.type = type;
    event.key.keysym.sym = key;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
}

class DemoInProcess : public ::testing::Test {
protected:
    struct Listener final : FrameKeeper {
        std::function<void()> after;
        void OnPresent(const uint8_t* pixels, uint32_t w, uint32_t h) override {
            FrameKeeper::OnPresent(pixels, w, h);
            if (after) after();
        }
    };

    void SetUp() override {
        window_ = std::make_unique<Window>(WindowOptions{false, true});
        window_->SetPresentListener(&frames);
        music_ = CreateMusicPlayer(false);
        frmMain = window_.get();
        SystemClock = &clock;
        Rng = &random_;
        mp3 = music_.get();
        AppPath = VELMORA_CONTENT_DIR;
        LoadingCount = 0;
        clock.tick = 1000;
        // The particles and the camera stand still, so frames differ only by their overlays.
        routines = DemoRoutines();
        routines.updateParticles = [] {};
        routines.moveCamera = [] {};
    }
    void TearDown() override {
        // A run that failed part way never reached m_Terminate.
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
        window_.reset();
        mp3 = nullptr;
        Rng = nullptr;
        SystemClock = nullptr;
        AppPath.clear();
        LoadingCount = 0;
    }
    // Runs the demo; true when it ended the demo's way, through m_Terminate.
    bool Run() {
        try {
            RunMain(routines);
        } catch (const ProcessExit&) {
            return true;
        }
        return false;
    }

    Listener frames;
    ManualClock clock;
    FrameRoutines routines;

private:
    std::unique_ptr<Window> window_;
    std::unique_ptr<MusicPlayer> music_;
    Random random_;
};

// The loading screen in real frames, then Esc as a real key event on the
// fourth timeline frame: the frame whose pump sees it is the last.
TEST_F(DemoInProcess, LoadingScreenInRealFramesAndEscEndsTheLoop) {
    Frame loadingFirst, loadingHalf;
    frames.after = [&] {
        if (LoadingCount == 1 && loadingFirst.rgba.empty()) loadingFirst = frames;
        if (LoadingCount == 35 && loadingHalf.rgba.empty()) loadingHalf = frames;
    };
    int rendered = 0;
    routines.render = [&] {
        if (++rendered > 5) throw std::runtime_error("Esc did not end the frame loop");
        clock.tick = startTick + 1000 * rendered;
        r_Render();
        if (rendered == 4) Push(SDL_KEYDOWN, SDLK_ESCAPE);
    };
    ASSERT_TRUE(Run());
    EXPECT_EQ(rendered, 5);

    // Dark blue, the bar's purple frame, the fill white at half alpha and 200
    // pixels wide at the 35th of 70 steps.
    ASSERT_FALSE(loadingHalf.rgba.empty());
    for (const Frame* f : {&loadingFirst, &loadingHalf}) {
        ExpectPixel(*f, 5, 700, {0, 0, 58}, 0, "background");
        ExpectPixel(*f, 310, 382, {130, 0, 130}, 0, "bar frame");
        ExpectPixel(*f, 650, 394, {130, 0, 130}, 0, "unfilled bar");
    }
    ExpectPixel(loadingFirst, 600, 394, {130, 0, 130}, 0, "unfilled bar");
    ExpectPixel(loadingHalf, 605, 394, {192, 128, 192}, 2, "filled bar");
}

// One frame of the last step 149.1 s in, half-way through the fade to white,
// ends the timeline; closing the window on the second end-screen frame ends
// the end screen on the third.
TEST_F(DemoInProcess, FinalFadeThenClosingTheWindowEndsTheEndScreen) {
    bool timeline = false;
    int endFrames = 0;
    Frame fade;
    routines.render = [&] {
        timeline = true;
        CurrentStep = Steps.UBound();
        Steps[CurrentStep].StartTick = startTick;
        clock.tick = startTick + 149100;
        r_Render();
        fade = frames;
    };
    frames.after = [&] {
        if (!timeline || CurrentStep <= Steps.UBound()) return;
        clock.tick += 100;
        if (++endFrames == 2) Push(SDL_QUIT);
    };
    ASSERT_TRUE(Run());
    // White at alpha 128 over the backdrop's black letterbox bar.
    ExpectPixel(fade, 512, 2, {128, 128, 128}, 2, "half-way white");
    EXPECT_EQ(endFrames, 3);
    EXPECT_GT(Find(frames, 0, 0, 1024, 768, [](const Rgb& c) { return c == Rgb{255, 0, 0}; }).count, 10000)
        << "the end screen's red";
}

}  // namespace
