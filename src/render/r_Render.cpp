#include "render/r_Render.h"

#include "common/Constants.h"
#include "common/Variables.h"

// Until the scene renderer lands: a cleared frame in the fog colour.
void r_Render() {
    Check(D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, FogColor, 1.0f, 0),
          "Clear");
    Check(D3DDevice->BeginScene(), "BeginScene");
    Check(D3DDevice->EndScene(), "EndScene");
    Check(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), "Present");
}

void DrawObject(const SceneObject&) {}
