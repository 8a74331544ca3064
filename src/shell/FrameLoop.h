// The frame loop and the end screen, with the routines they call passed in so
// that tests can drive them with a fake clock and fake routines.
#pragma once

#include <cstdint>
#include <functional>

#include "common/TypeDef.h"
#include "platform/system/Random.h"

struct FrameRoutines {
    std::function<void()> loadStep;
    std::function<void()> pumpMessages;
    std::function<void()> updateParticles;
    std::function<void()> generateVertex;
    std::function<void()> moveCamera;
    std::function<void()> render;
};

// Runs frames while a step remains and demoRunning is set; each step lasts
// until the tick count has passed its Duration. `afterFrame`, when given, runs
// after each frame.
void RunFrameLoop(const FrameRoutines& routines, const std::function<void()>& afterFrame = {});

// One drawn frame of the timeline, as the frame loop runs it.
void RunTimelineFrame(const FrameRoutines& routines);

// What the timeline starts from, kept once the loading is done so that a seek
// can run the timeline again from its start: the fountain as the loading left
// it, the random generator's state and the clock's mark.
struct TimelineOrigin {
    BoundedArray<Particle> particles{"particles"};
    Random random;
    uint64_t clockMark = 0;
    int32_t tick = 0;
};
TimelineOrigin KeepTimelineOrigin();

// Where a seek goes: the first frame of step `step`, or timeline frame
// `frames` (frames run at the clock's skipping pace), whichever comes first.
struct SeekTarget {
    int64_t frames = INT64_MAX;
    int32_t step = INT32_MAX;
};

// Runs the timeline again from `origin` to `target` without drawing, so that
// the next frame the loop draws is the frame a run from the start shows
// there. The music is left as it is. Returns the frames run.
int64_t SeekTimeline(const FrameRoutines& routines, const TimelineOrigin& origin, SeekTarget target);

// Draws end-screen frames until 7000 ms have passed or demoRunning is cleared.
void RunEndScreen(const std::function<void()>& drawFrame);

// Start-up after loading: the camera, the music (unless `startMusic` is
// false), the timing origins.
void StartTimeline(bool startMusic = true);

// Plays the music from the timeline's present time.
void StartMusic();

// Runs `frames` frames of the timeline, or up to its end, with every state
// change and random draw of the frame loop but without drawing or presenting
// them; the clock advances one frame each.
void FastForwardTimeline(const FrameRoutines& routines, int64_t frames);
