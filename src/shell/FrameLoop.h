// The frame loop and the end screen, with the routines they call passed in so
// that tests can drive them with a fake clock and fake routines.
#pragma once

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

// Start-up after loading: the camera, the music, the timing origins.
void StartTimeline();
