#include "timeline/m_loadStep.h"

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"

void m_loadStep() {
    Step& step = Steps[CurrentStep];

    const int32_t stateMax = step.RenderStateMax;
    for (int32_t i = 0; i <= stateMax; ++i) {
        const RenderStatePair& pair = step.RenderStates[i];
        Check(D3DDevice->SetRenderState(static_cast<D3DRENDERSTATETYPE>(pair.State), static_cast<DWORD>(pair.Value)),
              "SetRenderState");
    }

    // Every slot is sent so that the previous step's lights go off.
    for (int32_t slot = 0; slot <= 7; ++slot) {
        Check(D3DDevice->SetLight(static_cast<DWORD>(slot), step.Lights[slot]), "SetLight");
        Check(D3DDevice->LightEnable(static_cast<DWORD>(slot), static_cast<BOOL>(step.LightOn[slot])), "LightEnable");
    }

    const int32_t u = step.EyePath.UBound();
    pathRunning = u > 2 ? True16 : False16;
    posKey = startKey;
    targetKey = startKey;
    if (u >= 1) {
        camPos = step.EyePath[posKey].Position;
        camLookAt = step.TargetPath[posKey].Position;
    }
    segmentT = 0;
    lastKey = u - 1;
    step.Loaded = True16;
}
