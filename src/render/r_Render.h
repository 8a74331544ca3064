// Runs once a frame, last: clears, draws Steps[CurrentStep]'s draw list of
// Objects with their Meshes (writing matWorld and matTemp), the fountain and
// the overlays, and presents the frame on D3DDevice.
#pragma once
#include "common/TypeDef.h"
// Draws and presents one frame of the demo.
void r_Render();
// Draws one placed object with its world matrix, textures and materials.
void DrawObject(const SceneObject& object);
// The world matrix DrawObject draws `object` with; `temp` is scratch.
void ObjectWorldMatrix(const SceneObject& object, D3DMATRIX& world, D3DMATRIX& temp);
