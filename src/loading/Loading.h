#pragma once
#include <cstdint>
#include <string>

#include "common/TypeDef.h"

// Loads one mesh with its materials and textures.
MeshEntry LoadMesh(const std::string& Folder, const std::string& FileName);

// Builds one scene object and reports it on the loading screen.
SceneObject MakeObject(int32_t MeshIndex, float PosX, float PosY, float PosZ, float RotX, float RotY,
                       float RotZ, float ScaleX, float ScaleY, float ScaleZ, const std::string& Name);

// The loading-screen lines of LoadMesh and MakeObject.
std::string LoadMeshMessage(const std::string& Folder, const std::string& FileName);
std::string MakeObjectMessage(int32_t MeshIndex);
