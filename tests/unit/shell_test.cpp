// The driver's start of the timeline, its shutdown and its way out after a
// failing graphics mode, with a music player and a clock the test owns.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/Maths.h"
#include "common/Variables.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "render/m_MoveCamera.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"
#include "shell/m_Terminate.h"
#include "support/TestSupport.h"
#include "timeline/m_InitSteps.h"
#include "timeline/m_loadStep.h"

namespace {

// Notes what it was asked to do; Play moves the clock on, as opening a file takes time.
class FakeMusic final : public MusicPlayer {
public:
    explicit FakeMusic(ManualClock& clock) : clock_(clock) {}
    std::string file;
    double position = -1;
    int32_t playedAt = -1;
    int stops = 0;
    bool failStop = false;
    void SetFileName(const std::string& path) override { file = path; }
    void SetCurrentPosition(double seconds) override { position = seconds; }
    void Play() override {
        playedAt = clock_.tick;
        clock_.tick += 500;
    }
    void Stop() override {
        ++stops;
        if (failStop) throw std::runtime_error("the mixer is gone");
    }
    void Pause() override {}

private:
    ManualClock& clock_;
};

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        SystemClock = &clock;
        Rng = &random;
        mp3 = &music;
        clock.tick = 7000;
    }
    void TearDown() override { ResetDemoGlobals(); }
    // Shuts down and answers the exit status.
    static int Terminate() {
        try {
            m_Terminate();
        } catch (const ProcessExit& exit) {
            return exit.status;
        }
        return -1;
    }
    static bool CursorShown() { return SDL_ShowCursor(SDL_QUERY) == SDL_ENABLE; }

    ManualClock clock;
    Random random;
    FakeMusic music{clock};
};

void SetPath(BoundedArray<PathKey>& path, int keys, float y) {
    path.Redim(0, keys - 1);
    for (int32_t i = 0; i < keys; ++i) path[i] = PathKey{{10.0f * float(i), y, 0}, 100};
}

// The first frame drawn after the start: upright, looking from the eye path's
// first key along the target path, the music playing from its beginning and
// the first step timed from when it began to play.
TEST_F(Shell, TheFirstFrameLooksFromTheFirstKeyUprightOnceTheMusicPlays) {
    RecordingDevice* device = InstallRecordingDevice();
    AppPath = "/demo";
    Steps.Redim(0, 1);
    Steps[0] = NewStep(1000, 0, 0);
    SetPath(Steps[0].EyePath, 6, 1);
    SetPath(Steps[0].TargetPath, 6, 2);
    Steps[0].TargetPath[1].Position = {10, 1, 50};
    StartTimeline();
    demoRunning = True16;
    perfFrequency = 1000;
    FrameRoutines routines{m_loadStep, [] {}, [] {}, [] {}, m_MoveCamera, [] { demoRunning = False16; }};
    RunFrameLoop(routines);

    const D3DMATRIX& view = device->transforms.at(D3DTS_VIEW);
    ExpectPoint(TransformPoint({10, 1, 0}, view), 0, 0, 0);                 // the eye at key 1
    EXPECT_GT(TransformPoint({10, 1, 50}, view).z, 49.0f);                  // looking ahead
    EXPECT_GT(TransformPoint({10, 11, 50}, view).y, 9.0f) << "upside down";  // up is up
    EXPECT_GT(TransformPoint({20, 1, 50}, view).x, 9.0f) << "mirrored";      // right is right
    EXPECT_EQ(device->renderStates.at(D3DRS_CULLMODE), DWORD(D3DCULL_CCW));
    EXPECT_EQ(music.file, "/demo\\velmora5.mp3");
    EXPECT_EQ(music.position, 0.0);
    EXPECT_EQ(music.playedAt, 7000);
    EXPECT_EQ(Steps[0].StartTick, 7500) << "the first step's clock starts once the music plays";
}

// A run started part-way (--start) runs its first frames unshown and silent,
// then plays the music from where the picture is.
TEST_F(Shell, ARunStartedPartWayStartsTheMusicWhereThePictureIs) {
    InstallRecordingDevice();
    Steps.Redim(0, 0);
    Steps[0] = NewStep(1000, 0, 0);
    StartTimeline(false);
    EXPECT_EQ(music.playedAt, -1);
    clock.tick += 83250;
    StartMusic();
    EXPECT_EQ(music.position, 83.25);
    EXPECT_EQ(music.playedAt, 7000 + 83250);
}

TEST_F(Shell, ShutdownShowsTheCursorHaltsTheMusicAndReleasesTheDevice) {
    Window window(WindowOptions{false, true});
    frmMain = &window;
    InstallRecordingDevice();
    DX = std::make_unique<DirectX8>();
    D3D = DX->Direct3DCreate8();
    D3DX = std::make_unique<D3DX8>();
    window.SetCursorVisible(false);
    music.failStop = true;  // a failing halt must not stop the shutdown
    demoRunning = False16;  // Esc was pressed
    EXPECT_EQ(Terminate(), 0);
    EXPECT_TRUE(CursorShown());
    EXPECT_EQ(music.stops, 1);
    EXPECT_EQ(D3DDevice, nullptr);
    EXPECT_EQ(D3DX, nullptr);
    EXPECT_EQ(D3D, nullptr);
    EXPECT_EQ(DX, nullptr);
}

TEST_F(Shell, AFailingGraphicsModeShowsTheErrorAndShutsDownBeforeLoading) {
    // A GL older than 3.3: the device cannot be made on this window.
    setenv("MESA_GL_VERSION_OVERRIDE", "2.1", 1);
    Window window(WindowOptions{false, true});
    frmMain = &window;
    window.SetCursorVisible(false);
    TempDir dir;
    AppPath = dir.path().string();
    LoadingCount = 0;
    testing::internal::CaptureStderr();
    int status = -1;
    try {
        RunMain(FrameRoutines{});
    } catch (const ProcessExit& exit) {
        status = exit.status;
    }
    const std::string box = testing::internal::GetCapturedStderr();
    unsetenv("MESA_GL_VERSION_OVERRIDE");
    AppPath.clear();
    EXPECT_EQ(status, 0);
    EXPECT_NE(box.find("An error has occured"), std::string::npos) << box;
    EXPECT_EQ(LoadingCount, 0);
    EXPECT_EQ(TexWhite, nullptr);
    EXPECT_EQ(music.playedAt, -1);
    EXPECT_EQ(music.stops, 1);
    EXPECT_TRUE(CursorShown());
    EXPECT_EQ(D3DDevice, nullptr);
}

}  // namespace
