// The whole demo run in this process on an off-screen window, its clock in
// the test's hands: what the loading screen and the overlays show in real
// frames, and how Esc or closing the window, as real key and window events
// through the demo's own message pumps, end the frame loop and the end screen.
#include <SDL.h>
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <stdexcept>

#include "common/Common.h"
#include "common/Variables.h"
#include "loading/m_showLoadingScreen.h"
#include "platform/font/Font.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Random.h"
#include "render/m_MoveCamera.h"
#include "render/r_Render.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/m_Terminate.h"
#include "support/DeviceHarness.h"
#include "support/TestSupport.h"
#include "timeline/m_loadStep.h"

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
        ResetDemoGlobals();
        window_.reset();
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
    std::unique_ptr<Window> window_;

private:
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

// `frame`'s region (x, y, w, h) averaged down to 1024 x 768, each pixel the
// area-weighted mean of the region's pixels it covers.
Frame ReduceToFrame(const Frame& frame, int x0, int y0, int w, int h) {
    Frame out{std::vector<uint8_t>(1024 * 768 * 4, 255), 1024};
    const double sx = w / 1024.0, sy = h / 768.0;
    for (int y = 0; y < 768; ++y) {
        for (int x = 0; x < 1024; ++x) {
            double sum[3] = {0, 0, 0}, area = 0;
            for (int py = static_cast<int>(y * sy); py < std::ceil((y + 1) * sy); ++py) {
                const double hy = std::min(py + 1.0, (y + 1) * sy) - std::max<double>(py, y * sy);
                for (int px = static_cast<int>(x * sx); px < std::ceil((x + 1) * sx); ++px) {
                    const double a = hy * (std::min(px + 1.0, (x + 1) * sx) - std::max<double>(px, x * sx));
                    const Rgb c = frame.Pixel(x0 + px, y0 + py);
                    sum[0] += a * c.r, sum[1] += a * c.g, sum[2] += a * c.b, area += a;
                }
            }
            for (int k = 0; k < 3; ++k)
                out.rgba[(static_cast<size_t>(y) * 1024 + static_cast<size_t>(x)) * 4 + k] =
                    static_cast<uint8_t>(std::lround(sum[k] / area));
        }
    }
    return out;
}

// The same moments drawn at 1024 x 768, at 2048 x 1536 and at 1920 x 1080
// (the window resized between them, each size drawn twice as a resize takes
// effect from the next frame): the loading screen, the town, the credit
// line, the logo, the cathedral, the final fade and the end screen. Averaged
// back down to 1024 x 768 the larger pictures match. The 3D scenes differ
// where a finer mip level is sampled on contrasty textures (the cathedral's
// checkered floor: a mean of 5.7 levels, 3.7 % of pixels beyond 32), so they
// are held to a mean below 8 and 95 % of pixels within 32; the loading and end
// screens, only images and text, to a mean below 0.3 (measured 0.1 to 0.23;
// with screen pixels not put on whole blocks of output pixels it was 0.36 and
// 0.72) and 99.5 % within 32. A misplaced overlay, a stretched or shifted
// picture, or a layer drawn at the wrong size moves whole shapes and exceeds
// these many times over. Beside the 4:3 picture at 1920 x 1080 all is black,
// and the credit line's pixels are pure white (text rasterised at the size,
// not a filtered bitmap) inside its rectangle scaled by 1080 / 768.
TEST_F(DemoInProcess, ThePictureKeepsItsLayoutAtAnyOutputSize) {
    struct Size {
        int width, height;
        int x, y, w, h;  // the picture
    };
    const Size sizes[] = {{1024, 768, 0, 0, 1024, 768}, {2048, 1536, 0, 0, 2048, 1536}, {1920, 1080, 240, 0, 1440, 1080}};
    std::vector<std::array<Frame, 3>> shots;
    auto shoot = [&](const std::function<void()>& draw) {
        std::array<Frame, 3> shot;
        for (size_t i = 0; i < 3; ++i) {
            window_->Resize(sizes[i].width, sizes[i].height);
            draw();
            draw();
            shot[i] = frames;
        }
        shots.push_back(std::move(shot));
    };
    routines.render = [&] {
        const int32_t start = clock.tick;
        shoot([] {
            LoadingCount = 34;
            m_showLoadingScreen("Creating object: 19");
        });
        for (int t : {5800, 2000, 8000}) {
            clock.tick = start + t;
            shoot(r_Render);
        }
        CurrentStep = 1;
        m_loadStep();
        UpdateViewMatrix();
        Steps[1].StartTick = start;
        clock.tick = start + 9000;
        shoot(r_Render);
        CurrentStep = Steps.UBound();
        Steps[CurrentStep].StartTick = start;
        clock.tick = start + 149100;
        shoot(r_Render);
        shoot(DrawEndScreen);
        demoRunning = False16;
    };
    ASSERT_TRUE(Run());
    ASSERT_EQ(shots.size(), 7u);

    for (size_t m = 0; m < shots.size(); ++m) {
        const Frame& reference = shots[m][0];
        for (size_t i = 1; i < 3; ++i) {
            const Size& s = sizes[i];
            const Frame& f = shots[m][i];
            ASSERT_EQ(f.width, static_cast<uint32_t>(s.width));
            ASSERT_EQ(f.Height(), static_cast<uint32_t>(s.height));
            EXPECT_EQ(Find(f, 0, 0, s.x, s.height, [](const Rgb& c) { return c != Rgb{0, 0, 0}; }).count +
                          Find(f, s.x + s.w, 0, s.width, s.height, [](const Rgb& c) { return c != Rgb{0, 0, 0}; }).count,
                      0)
                << "beside the picture, moment " << m;
            const Frame reduced = ReduceToFrame(f, s.x, s.y, s.w, s.h);
            double total = 0;
            int far = 0;
            for (int y = 0; y < 768; ++y) {
                for (int x = 0; x < 1024; ++x) {
                    const Rgb a = reduced.Pixel(x, y), b = reference.Pixel(x, y);
                    const int d = std::max({std::abs(a.r - b.r), std::abs(a.g - b.g), std::abs(a.b - b.b)});
                    total += d;
                    far += d > 32;
                }
            }
            const bool flat = m == 0 || m == 6;  // the loading and end screens: images and text only
            EXPECT_LT(total / (1024 * 768), flat ? 0.3 : 8.0) << "moment " << m << " at " << s.width << "x" << s.height;
            EXPECT_LT(far, flat ? 1024 * 768 / 200 : 1024 * 768 / 20)
                << "moment " << m << " at " << s.width << "x" << s.height;
        }
    }

    // The credit line against the bare town at 1920 x 1080.
    const Frame &bare = shots[1][2], &credit = shots[2][2];
    const Found text = FindWhere(0, 0, 1920, 1080, [&](int x, int y) { return !(credit.Pixel(x, y) == bare.Pixel(x, y)); });
    EXPECT_GT(text.count, 200);
    EXPECT_TRUE(text.left >= 240 + 362 * 1.40625 && text.right < 240 + 662 * 1.40625 && text.top >= 384 * 1.40625 &&
                text.bottom < 424 * 1.40625)
        << "the credit line spans (" << text.left << ", " << text.top << ")-(" << text.right << ", " << text.bottom << ")";
    EXPECT_EQ(Find(credit, text.left, text.top, text.right + 1, text.bottom + 1, IsWhite).count, text.count);
    const Found small = FindWhere(0, 0, 1024, 768, [&](int x, int y) { return !(shots[2][0].Pixel(x, y) == shots[1][0].Pixel(x, y)); });
    EXPECT_NEAR(text.Width(), small.Width() * 1.40625, 4) << "the credit line's width";
    EXPECT_NEAR(text.bottom - text.top, (small.bottom - small.top) * 1.40625, 2) << "the credit line's height";
}

}  // namespace
