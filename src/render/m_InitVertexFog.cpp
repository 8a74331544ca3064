#include "render/m_InitVertexFog.h"

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Constants.h"
#include "common/Variables.h"

void m_InitVertexFog() {
    // Linear per-vertex fog from 300 to 1200 units in the clear colour, so
    // distant geometry fades into the empty background.
    Check(D3DDevice->SetRenderState(D3DRS_FOGENABLE, 1), "SetRenderState(FOGENABLE)");
    Check(D3DDevice->SetRenderState(D3DRS_FOGCOLOR, FogColor), "SetRenderState(FOGCOLOR)");
    Check(D3DDevice->SetRenderState(D3DRS_FOGVERTEXMODE, D3DFOG_LINEAR), "SetRenderState(FOGVERTEXMODE)");
    Check(D3DDevice->SetRenderState(D3DRS_FOGSTART, FloatToDWord(FogStart)), "SetRenderState(FOGSTART)");
    Check(D3DDevice->SetRenderState(D3DRS_FOGEND, FloatToDWord(FogEnd)), "SetRenderState(FOGEND)");
}
