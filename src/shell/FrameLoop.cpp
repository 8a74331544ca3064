#include "shell/FrameLoop.h"

#include "common/Common.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/music/MusicPlayer.h"
#include "platform/system/Clock.h"
#include "render/m_MoveCamera.h"

namespace {

// Step activation's hand-over: a path that has just been armed starts on this
// frame; a finished path leaves the camera held where it stopped.
void HandOverCamera() {
    if (pathRunning == False16) cameraHeld = True32;
    if ((cameraHeld & pathRunning) != 0) {
        segmentT = 0.0f;
        posKey = startKey;
        targetKey = startKey;
        cameraHeld = False32;
    }
}

void MeasureFrameTime() {
    perfDelta = QueryPerformanceCounter() - perfLast;
    perfLast = QueryPerformanceCounter();
}

void AdvanceStepClock() {
    if (TickDifference(GetTickCount(), Steps[CurrentStep].StartTick) > Steps[CurrentStep].Duration) {
        if (CurrentStep == INT32_MAX) throw DemoError("CurrentStep overflow");
        CurrentStep += 1;
        if (CurrentStep <= Steps.UBound()) Steps[CurrentStep].StartTick = GetTickCount();
    }
}

bool TimelineRunning() { return CurrentStep <= Steps.UBound() && demoRunning != 0; }

// One frame of the timeline; an undrawn one moves the clock on by itself, as
// presenting a drawn one does.
void RunFrame(const FrameRoutines& routines, bool draw) {
    if (Steps[CurrentStep].Loaded == False16) routines.loadStep();
    HandOverCamera();
    routines.pumpMessages();
    MeasureFrameTime();
    routines.updateParticles();
    routines.generateVertex();
    if (cameraHeld != True32) routines.moveCamera();
    if (draw) {
        routines.render();
    } else {
        SystemClock->SkipFrame();
    }
    AdvanceStepClock();
}

}  // namespace

void RunFrameLoop(const FrameRoutines& routines, const std::function<void()>& afterFrame) {
    while (TimelineRunning()) {
        RunFrame(routines, true);
        if (afterFrame) afterFrame();
    }
}

void RunTimelineFrame(const FrameRoutines& routines) {
    if (TimelineRunning()) RunFrame(routines, true);
}

void FastForwardTimeline(const FrameRoutines& routines, int64_t frames) {
    // Drawing changes nothing that a later frame reads: r_Render only sets
    // device states that every frame sets again before it draws with them
    // (the sprite puts back what it changes), and it reads the clock but
    // does not move it. So the frames before the start are run undrawn.
    for (int64_t frame = 0; frame < frames && TimelineRunning(); ++frame) RunFrame(routines, false);
    SystemClock->EndSkip();
}

TimelineOrigin KeepTimelineOrigin() {
    TimelineOrigin origin;
    origin.particles = particles;
    origin.random = *Rng;
    origin.clockMark = SystemClock->Mark();
    origin.tick = GetTickCount();
    return origin;
}

int64_t SeekTimeline(const FrameRoutines& routines, const TimelineOrigin& origin, SeekTarget target) {
    SystemClock->ReturnTo(origin.clockMark);
    particles = origin.particles;
    // The fountain's ages are kept against the clock: a clock that ran on
    // moves its birth ticks with it.
    const int32_t shift = TickDifference(GetTickCount(), origin.tick);
    for (int32_t i = particles.LBound(); i <= particles.UBound(); ++i) {
        particles[i].BirthTick = static_cast<int32_t>(static_cast<uint32_t>(particles[i].BirthTick) +
                                                      static_cast<uint32_t>(shift));
    }
    *Rng = origin.random;
    for (int32_t i = Steps.LBound(); i <= Steps.UBound(); ++i) Steps[i].Loaded = False16;
    StartTimeline(false);
    int64_t frames = 0;
    while (frames < target.frames && CurrentStep < target.step && TimelineRunning()) {
        RunFrame(routines, false);
        ++frames;
    }
    SystemClock->EndSkip();
    return frames;
}

void RunEndScreen(const std::function<void()>& drawFrame) {
    endTick = GetTickCount();
    while (TickDifference(GetTickCount(), endTick) < EndScreenMilliseconds && demoRunning == True16) {
        drawFrame();
    }
}

void StartTimeline(bool startMusic) {
    camPos = MakeVector(400, 400, 200);
    camLookAt = MakeVector(400, 50, -200);
    camUp = MakeVector(0, 1, 0);
    UpdateViewMatrix();
    mp3->SetFileName(AppPath + MusicFileName);
    cameraHeld = True32;
    Check(D3DDevice->SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW), "SetRenderState");
    if (Steps[0].EyePath.UBound() >= 2) camPos = Steps[0].EyePath[1].Position;
    if (Steps[0].TargetPath.UBound() >= 2) camLookAt = Steps[0].TargetPath[1].Position;
    posKey = 2;
    targetKey = 2;
    segmentT = 0.0f;
    perfFrequency = QueryPerformanceFrequency();
    perfLast = QueryPerformanceCounter();
    Randomize();
    pathRunning = False16;
    startKey = 2;
    lastKey = Steps[0].EyePath.UBound() - 1;
    startTick = GetTickCount();
    CurrentStep = 0;
    if (startMusic) StartMusic();
    Steps[CurrentStep].StartTick = GetTickCount();
}

void StartMusic() {
    mp3->SetCurrentPosition(TickDifference(GetTickCount(), startTick) / 1000.0);
    mp3->Play();
}
