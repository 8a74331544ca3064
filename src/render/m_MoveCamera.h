// Runs once a frame, after the particles: moves the camera along
// Steps[CurrentStep]'s paths by the frame's time (perfDelta, perfFrequency),
// writing camPos, camLookAt, posKey, targetKey, lastKey, segmentT and
// pathRunning unless cameraHeld; then writes matView and the device's view.
#pragma once
#include <cstdint>

#include "common/TypeDef.h"

// Advances the camera one frame along the current step's paths.
void m_MoveCamera();
// Builds the view transform from camPos, camLookAt and camUp.
void UpdateViewMatrix();

// The eye on `step`'s eye path and the look-at point on its target path, `t`
// of the way through the segments ending at keys `eyeKey` and `targetKey`.
void PathPoints(const Step& step, int32_t eyeKey, int32_t targetKey, float t, D3DVECTOR& eye, D3DVECTOR& target);
// How far along its segment (0 to 1) the camera moves in `seconds` on the
// segment ending at eye key `eyeKey`. Throws DemoError for a pace of 0.
float SegmentAdvance(const Step& step, int32_t eyeKey, double seconds);
