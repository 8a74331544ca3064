// The driver: start-up, the frame loop, the end screen.
#pragma once

#include <cstdint>
#include <functional>

// Where the first shown frame lies on the timeline. The frames before it are
// run without being shown, so that it is the frame a run from the start shows.
struct TimelineStart {
    int64_t frames = 0;  // timeline frames run before the first shown one
    // Called just before the first shown frame, with the seconds the
    // fast-forward took.
    std::function<void(double)> reached;
};

class Benchmark;
class Clock;
class MusicPlayer;
class Playback;
class Random;
class Window;

// The window's load event: shows the window and runs the demo. Returns only
// by m_Terminate's ProcessExit. With `playback` the keys of a live run work.
void frmMain_Load(const TimelineStart& start = {}, Playback* playback = nullptr);

struct FrameRoutines;

// The platform objects the demo's platform globals point to during a run.
struct PlatformServices {
    Window& window;
    Clock& clock;
    Random& random;
    MusicPlayer& music;
};

// Points frmMain, SystemClock, Rng and mp3 at `services` and runs the demo:
// timed by `benchmark` when given, else from the window's load event (with
// the live keys when `playback` is given). Returns m_Terminate's status.
int RunDemoOn(const PlatformServices& services, const TimelineStart& start, Benchmark* benchmark,
              Playback* playback = nullptr);

// Runs the whole demo; every way out goes through m_Terminate.
void Main(const TimelineStart& start = {}, Playback* playback = nullptr);

// Main with the frame loop's routines given, so that the benchmark can time them.
void RunMain(const FrameRoutines& routines, const TimelineStart& start = {}, Playback* playback = nullptr);

// FlowerIndex's entries: the slots of Objects its rows go to.
void FillFlowerIndex();

// The loading: the font, textures, meshes, objects, steps, fog and fountain,
// with their loading screens.
void LoadEverything();

// The routines the frame loop calls in the demo.
FrameRoutines DemoRoutines();

// The window's key-down handler: Esc clears demoRunning.
void frmMain_KeyDown(int keyCode, int shift);

// One end-screen frame: the end image stretched over the red background.
void DrawEndScreen();
