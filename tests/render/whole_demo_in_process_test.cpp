// The whole demo run in this process on an off-screen window, its clock in
// the test's hands: what the loading screen and the overlays show in real
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

bool IsWhite(const Rgb& c) { return c == Rgb{255, 255, 255}; }

// Frames at 2 s (the credit line), 4 s (the credit fading), 5.8 s (no overlay)
// and 8 s (the logo), then Esc: the frame whose pump sees it is the last.
TEST_F(DemoInProcess, OverlaysInRealFramesAndEscEndsTheLoop) {
    Frame loadingFirst, loadingHalf;
    frames.after = [&] {
        if (LoadingCount == 1 && loadingFirst.rgba.empty()) loadingFirst = frames;
        if (LoadingCount == 35 && loadingHalf.rgba.empty()) loadingHalf = frames;
    };
    const int times[] = {2000, 4000, 5800, 8000, 8100};
    std::vector<Frame> shots;
    routines.render = [&] {
        if (shots.size() >= 5) throw std::runtime_error("Esc did not end the frame loop");
        clock.tick = startTick + times[shots.size()];
        r_Render();
        shots.push_back(frames);
        if (shots.size() == 4) Push(SDL_KEYDOWN, SDLK_ESCAPE);
    };
    ASSERT_TRUE(Run());
    ASSERT_EQ(shots.size(), 5u);

    // The loading screen: dark blue, the bar's purple frame, the fill white at
    // half alpha and 200 pixels wide at the 35th of 70 steps.
    ASSERT_FALSE(loadingHalf.rgba.empty());
    for (const Frame* f : {&loadingFirst, &loadingHalf}) {
        ExpectPixel(*f, 5, 700, {0, 0, 58}, 0, "background");
        ExpectPixel(*f, 1018, 700, {0, 0, 58}, 0, "background");
        ExpectPixel(*f, 310, 382, {130, 0, 130}, 0, "bar frame");
        ExpectPixel(*f, 650, 394, {130, 0, 130}, 0, "unfilled bar");
    }
    ExpectPixel(loadingFirst, 600, 394, {130, 0, 130}, 0, "unfilled bar");
    ExpectPixel(loadingHalf, 512, 394, {192, 128, 192}, 2, "filled bar");
    ExpectPixel(loadingHalf, 605, 394, {192, 128, 192}, 2, "filled bar");

    const Frame& bare = shots[2];
    auto differs = [&](const Frame& f) { return [&](int x, int y) { return !(f.Pixel(x, y) == bare.Pixel(x, y)); }; };
    // The credit line: white text centred in (362, 384)-(662, 424), aliased, so
    // every pixel it changes is pure white.
    // Changed pixels lie inside (left, top)-(right, bottom), inclusive.
    auto expectWithin = [](const Found& f, int left, int top, int right, int bottom, const char* what) {
        EXPECT_TRUE(f.left >= left && f.right <= right && f.top >= top && f.bottom <= bottom)
            << what << " spans (" << f.left << ", " << f.top << ")-(" << f.right << ", " << f.bottom << ")";
    };
    const Found credit = FindWhere(0, 0, 1024, 768, differs(shots[0]));
    EXPECT_GT(credit.count, 100);
    expectWithin(credit, 362, 384, 661, 423, "the credit line");
    EXPECT_NEAR((credit.left + credit.right) / 2.0, 512, 3);
    EXPECT_EQ(Find(shots[0], credit.left, credit.top, credit.right + 1, credit.bottom + 1, IsWhite).count, credit.count);
    // A second later it is fading: the same places, none of them white yet.
    const Found fading = FindWhere(0, 0, 1024, 768, differs(shots[1]));
    EXPECT_GT(fading.count, credit.count / 2);
    EXPECT_EQ(Find(shots[1], credit.left, credit.top, credit.right + 1, credit.bottom + 1, IsWhite).count, 0);
    // The logo: 512 x 256 pixels centred on the window.
    const Found logo = FindWhere(0, 0, 1024, 768, differs(shots[3]));
    EXPECT_GT(logo.count, 20000);
    expectWithin(logo, 256, 256, 767, 511, "the logo");
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
