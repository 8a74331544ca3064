// Runs once at start-up, after the loading screen's first frame: reads the
// mesh list (from AppPath) into Meshes, reporting each file on the loading
// screen.
#pragma once
#include <array>
#include <cstdint>

#include "platform/d3dx/D3DX8.h"

// One row of the mesh list: the slot of Meshes and the file, relative to AppPath.
// A row with an `OwnTexture` gives its mesh's first material that texture file
// (in the mesh's folder), made large and point-filtered, instead of its own.
struct MeshListRow {
    int32_t Slot;
    const char* Folder;
    const char* File;
    const char* OwnTexture = nullptr;
};

// The meshes in load order.
extern const std::array<MeshListRow, 36> MeshList;

// Loads the 36 meshes into their slots of Meshes.
void m_InitMesh();

// The texture a row's OwnTexture names.
TextureRequest OwnTexture(const MeshListRow& row);
