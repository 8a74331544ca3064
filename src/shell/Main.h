// The driver: start-up, the frame loop, the end screen.
#pragma once

// The window's load event: shows the window and runs the demo. Returns only
// by m_Terminate's ProcessExit.
void frmMain_Load();

struct FrameRoutines;

// Runs the whole demo; every way out goes through m_Terminate.
void Main();

// Main with the frame loop's routines given, so that the benchmark can time them.
void RunMain(const FrameRoutines& routines);

// The loading: the font, textures, meshes, objects, steps, fog and fountain,
// with their loading screens.
void LoadEverything();

// The routines the frame loop calls in the demo.
FrameRoutines DemoRoutines();

// The window's key-down handler: Esc clears demoRunning.
void frmMain_KeyDown(int keyCode, int shift);

// One end-screen frame: the end image stretched over the red background.
void DrawEndScreen();
