// The driver: start-up, the frame loop, the end screen.
#pragma once

// The window's load event: shows the window and runs the demo. Returns only
// by m_Terminate's ProcessExit.
void frmMain_Load();

// Runs the whole demo; every way out goes through m_Terminate.
void Main();

// The window's key-down handler: Esc clears demoRunning.
void frmMain_KeyDown(int keyCode, int shift);

// One end-screen frame: the end image stretched over the red background.
void DrawEndScreen();
