// Runs whenever a step begins (from the frame loop): sends Steps[CurrentStep]'s
// render states and lights to D3DDevice and restarts the camera on its paths
// (camPos, camLookAt, posKey, targetKey, lastKey, startKey, segmentT,
// pathRunning).
#pragma once
// Applies step CurrentStep: its render states, its eight lights, its camera path.
void m_loadStep();
