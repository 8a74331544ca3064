#pragma once
#include <array>
#include <cstdint>

#include "platform/d3dx/D3DX8.h"

// One row of the mesh list: the slot of Meshes and the file, relative to AppPath.
struct MeshListRow {
    int32_t Slot;
    const char* Folder;
    const char* File;
};

// The meshes in load order.
extern const std::array<MeshListRow, 36> MeshList;

// Loads the 36 meshes into their slots of Meshes.
void m_InitMesh();

// The large, point-filtered texture that replaces the first material's of slot 21.
TextureRequest House03Texture();
