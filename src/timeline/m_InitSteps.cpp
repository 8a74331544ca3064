#include "timeline/m_InitSteps.h"

#include "common/Common.h"
#include "common/Variables.h"
#include "loading/m_showLoadingScreen.h"
#include "platform/files/Files.h"
#include "timeline/CameraFile.h"
#include "timeline/m_AddlLight.h"

namespace {

// How long each step lasts (each may overrun by up to a frame).
constexpr int32_t kStepMilliseconds[4] = {83000, 19500, 40400, 7300};

// Objects drawn by steps 0 and 2: ground, houses, bushes, walls, fountain,
// parking place, street lamps and the hill.
constexpr int32_t kTownList[40] = {7,  8,  9,  10, 11, 12, 13, 14, 15, 27, 18, 29, 30, 31,
                                   32, 33, 26, 25, 34, 35, 36, 37, 38, 39, 22, 19, 17, 24,
                                   40, 23, 41, 42, 43, 44, 45, 46, 20, 47, 48, 49};

// Cathedral, pillars and statues, drawn by steps 1 and 3.
void FillCathedralList(Step& step) {
    for (int32_t i = 0; i <= 8; ++i) step.DrawList[i] = 51 + i;
}

// A key at the origin in slot 0 marks a path that has no real key yet.
void AddKey(BoundedArray<PathKey>& path, const D3DVECTOR& position, int32_t pace) {
    const D3DVECTOR& first = path[0].Position;
    int32_t index = 0;
    if (first.x != 0.0f || first.y != 0.0f || first.z != 0.0f) {
        index = path.UBound() + 1;
        path.RedimPreserve(index);
    }
    path[index].Position = position;
    path[index].Pace = pace;
}

}  // namespace

int32_t TimelineMilliseconds() {
    int32_t total = 0;
    for (int32_t duration : kStepMilliseconds) total += duration;
    return total;
}

Step NewStep(int32_t duration, int32_t drawCount, int32_t stateCount) {
    Step step;
    step.Duration = duration;
    step.Loaded = False16;
    if (drawCount > 0) step.DrawList.Redim(0, drawCount - 1);
    if (stateCount > 0) step.RenderStates.Redim(0, stateCount - 1);
    step.RenderStateMax = stateCount - 1;
    step.DrawListMax = drawCount - 1;
    for (int32_t i = 0; i <= 7; ++i) step.LightOn[i] = False16;
    step.EyePath.Redim(0, 0);
    step.TargetPath.Redim(0, 0);
    step.EyePath[0].Pace = 0;
    step.EyePath[0].Position = MakeVector(0, 0, 0);
    step.EyeReserved = 0;
    step.TargetReserved = 0;
    return step;
}

void AddEyeKey(int32_t step, const D3DVECTOR& position, int32_t pace) {
    AddKey(Steps[step].EyePath, position, pace);
}

void AddTargetKey(int32_t step, const D3DVECTOR& position, int32_t pace) {
    AddKey(Steps[step].TargetPath, position, pace);
}

void InitSteps(const std::function<void(const std::string&)>& showLoading) {
    Steps.Redim(0, 3);

    showLoading("Loading step: 0");
    Steps[0] = NewStep(kStepMilliseconds[0], 40, 2);
    Steps[0].RenderStates[0] = RenderStatePair{D3DRS_LIGHTING, 1};
    Steps[0].RenderStates[1] = RenderStatePair{D3DRS_AMBIENT, 0x00707082};
    for (int32_t i = 0; i <= 39; ++i) Steps[0].DrawList[i] = kTownList[i];

    showLoading("Loading step: 1");
    Steps[1] = NewStep(kStepMilliseconds[1], 9, 0);
    FillCathedralList(Steps[1]);
    Steps[1].Lights[0] = AddDirectionalLight(1, 0, 1.0f, 0.6f, 0.6f, 0.6f, MakeVector(0.5f, -1.0f, 0.0f));

    showLoading("Loading step:2");
    Steps[2] = NewStep(kStepMilliseconds[2], 40, 0);

    showLoading("Loading step: 3");
    Steps[3] = NewStep(kStepMilliseconds[3], 9, 0);
    FillCathedralList(Steps[3]);
    Steps[3].Lights[0] = AddDirectionalLight(3, 0, 1.0f, 0.6f, 0.6f, 0.6f, MakeVector(0.5f, -1.0f, 0.0f));

    for (int32_t i = 0; i <= 39; ++i) Steps[2].DrawList[i] = Steps[0].DrawList[i];

    AddCameraKeys(ParseCameraFile(ReadWholeFile(ResolvePath(AppPath + "\\cam.dat"))));

    Steps[0].Lights[0] =
        AddPointLight(0, 0, MakeVector(500.0f, 100.0f, -300.0f), 200, 0.004f, 1.0f, 0.7f, 0.7f, 0.2f);
    // Slot 1 is switched on with its empty record.
    Steps[0].LightOn[1] = True16;

    CurrentStep = 0;
}

void m_InitSteps() { InitSteps(m_showLoadingScreen); }
