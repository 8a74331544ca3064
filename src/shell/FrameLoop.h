// The frame loop and the end screen, with the routines they call passed in so
// that tests can drive them with a fake clock and fake routines.
#pragma once

#include <cstdint>
#include <functional>

struct FrameRoutines {
    std::function<void()> loadStep;
    std::function<void()> pumpMessages;
    std::function<void()> updateParticles;
    std::function<void()> generateVertex;
    std::function<void()> moveCamera;
    std::function<void()> render;
};

// Runs frames while a step remains and demoRunning is set; each step lasts
// until the tick count has passed its Duration.
void RunFrameLoop(const FrameRoutines& routines);

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
