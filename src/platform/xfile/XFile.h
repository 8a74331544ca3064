// The DirectX .x mesh reader: text, binary and MSZIP-compressed files with 32-
// or 64-bit floats. Every mesh of a file is merged into one, with the frame
// transforms applied and the materials of all meshes concatenated in file order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/device/Device.h"

// One material of a loaded mesh. Ambient is (0,0,0,1) as the file format has
// no ambient colour; the texture name is kept exactly as written (empty when
// the material names none).
struct XMaterial {
    D3DMATERIAL8 material{};
    std::string textureFilename;
};

// A whole file's geometry: subset i of `geometry` draws the faces of material i.
// There is always at least one material (a grey default when the file has none).
struct XMesh {
    MeshGeometry geometry;
    std::vector<XMaterial> materials;
};

// Parses the bytes of a .x file. `name` labels error messages. Throws
// ContentError naming `name` and the place (line and column in text, byte
// offset in binary) when the file is malformed or holds no mesh.
XMesh ParseXFile(std::string_view contents, const std::string& name);
