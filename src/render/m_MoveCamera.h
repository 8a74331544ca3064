#pragma once
// Advances the camera one frame along the current step's paths.
void m_MoveCamera();
// Builds the view transform from camPos, camLookAt and camUp.
void UpdateViewMatrix();
