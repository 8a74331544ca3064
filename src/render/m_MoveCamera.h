// Runs once a frame, after the particles: moves the camera along
// Steps[CurrentStep]'s paths by the frame's time (perfDelta, perfFrequency),
// writing camPos, camLookAt, posKey, targetKey, lastKey, segmentT and
// pathRunning unless cameraHeld; then writes matView and the device's view.
#pragma once
// Advances the camera one frame along the current step's paths.
void m_MoveCamera();
// Builds the view transform from camPos, camLookAt and camUp.
void UpdateViewMatrix();
