#include "render/m_MoveCamera.h"

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"

void m_MoveCamera() {
    if (cameraHeld == True32) return;

    const Step& step = Steps[CurrentStep];

    // The view shows where the previous frame left the camera; segmentT advances after.
    PathPoints(step, posKey, targetKey, segmentT, camPos, camLookAt);
    UpdateViewMatrix();

    if (perfFrequency == 0) throw DemoError("m_MoveCamera: performance-counter frequency is 0 (division by zero)");
    const double frameSeconds = static_cast<double>(perfDelta) / static_cast<double>(perfFrequency);
    segmentT = segmentT + SegmentAdvance(step, posKey, frameSeconds);

    // At most one key per frame; whatever lies beyond the segment's end is dropped.
    if (segmentT > 1.0f) {
        posKey = posKey + 1;
        if (posKey > lastKey) pathRunning = False16;
        segmentT = 0;
        targetKey = targetKey + 1;
        if (targetKey > lastKey) pathRunning = False16;
    }
}

void PathPoints(const Step& step, int32_t k, int32_t j, float t, D3DVECTOR& eyePoint, D3DVECTOR& targetPoint) {
    const BoundedArray<PathKey>& eye = step.EyePath;
    const BoundedArray<PathKey>& target = step.TargetPath;
    D3DXVec3CatmullRom(eyePoint, eye[k - 2].Position, eye[k - 1].Position, eye[k].Position, eye[k + 1].Position, t);
    D3DXVec3CatmullRom(targetPoint, target[j - 2].Position, target[j - 1].Position, target[j].Position,
                       target[j + 1].Position, t);
}

float SegmentAdvance(const Step& step, int32_t k, double seconds) {
    // A segment lasts Pace / chord seconds, so a longer chord is crossed faster.
    const BoundedArray<PathKey>& eye = step.EyePath;
    const float len = GetDistance(eye[k - 1].Position, eye[k].Position);
    const int32_t pace = eye[k].Pace;
    if (pace == 0) throw DemoError("m_MoveCamera: eye key " + std::to_string(k) + " has pace 0 (division by zero)");
    return static_cast<float>(seconds * (static_cast<double>(len) / pace));
}

void UpdateViewMatrix() {
    D3DXMatrixLookAtLH(matView, camPos, camLookAt, camUp);
    Check(D3DDevice->SetTransform(D3DTS_VIEW, matView), "SetTransform(D3DTS_VIEW)");
}
