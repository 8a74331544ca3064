#include "render/r_Render.h"

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "particles/r_renderParticles.h"
#include "render/Overlays.h"

// Transformed-and-lit vertices (XYZRHW | DIFFUSE | SPECULAR | TEX1) for the 2D layer.
constexpr DWORD OverlayVertexFormat = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_SPECULAR | D3DFVF_TEX1;
static_assert(OverlayVertexFormat == 0x1C4);

void r_Render() {
    Check(D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, FogColor, 1.0f, 0),
          "Clear");
    Check(D3DDevice->BeginScene(), "BeginScene");

    const Step& step = Steps[CurrentStep];
    if (!IsArrayEmpty(step.DrawList)) {
        for (int32_t j = 0; j <= step.DrawList.UBound(); ++j) DrawObject(Objects[step.DrawList[j]]);
    }

    r_renderParticles();

    // The overlays lie over the picture unfogged.
    Check(D3DDevice->SetRenderState(D3DRS_FOGENABLE, 0), "SetRenderState(FOGENABLE)");
    Check(D3DDevice->SetVertexShader(OverlayVertexFormat), "SetVertexShader");
    r_renderOverlays();
    Check(D3DDevice->SetRenderState(D3DRS_FOGENABLE, 1), "SetRenderState(FOGENABLE)");

    Check(D3DDevice->EndScene(), "EndScene");
    Check(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), "Present");
}

void ObjectWorldMatrix(const SceneObject& object, D3DMATRIX& world, D3DMATRIX& temp) {
    // world = S x Ry x Rx x Rz x T: scaled, turned about Y, X, then Z, then moved.
    D3DXMatrixIdentity(world);
    if (!(object.ScaleX == 1.0f && object.ScaleY == 1.0f && object.ScaleZ == 1.0f)) {
        D3DXMatrixScaling(temp, object.ScaleX, object.ScaleY, object.ScaleZ);
        D3DXMatrixMultiply(world, world, temp);
    }
    D3DXMatrixRotationY(temp, object.RotY);
    D3DXMatrixMultiply(world, world, temp);
    D3DXMatrixRotationX(temp, object.RotX);
    D3DXMatrixMultiply(world, world, temp);
    D3DXMatrixRotationZ(temp, object.RotZ);
    D3DXMatrixMultiply(world, world, temp);
    D3DXMatrixTranslation(temp, object.PosX, object.PosY, object.PosZ);
    D3DXMatrixMultiply(world, world, temp);
}

void DrawObject(const SceneObject& object) {
    if (object.MeshIndex == 0) return;

    ObjectWorldMatrix(object, matWorld, matTemp);
    Check(D3DDevice->SetTransform(D3DTS_WORLD, matWorld), "SetTransform(WORLD)");

    const MeshEntry& entry = Meshes[object.MeshIndex];
    for (int32_t i = 0; i < entry.MaterialCount; ++i) {
        Check(D3DDevice->SetTexture(0, entry.Textures[i].get()), "SetTexture");
        Check(D3DDevice->SetMaterial(entry.Materials[i]), "SetMaterial");
        Check(entry.Mesh->DrawSubset(static_cast<DWORD>(i)), "DrawSubset");
    }
}
