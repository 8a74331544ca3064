// The loaders' shared helpers, used at start-up only: reading a mesh with its
// materials and textures (AppPath, D3DX, D3DDevice), making a scene object and
// reporting it on the loading screen, and the prefetch of every content file.
#pragma once
#include <cstdint>
#include <string>

#include "common/TypeDef.h"
#include "platform/d3dx/D3DX8.h"

// Loads one mesh with its materials and textures.
MeshEntry LoadMesh(const std::string& Folder, const std::string& FileName);
// The same without the loading-screen report.
MeshEntry ReadMesh(const std::string& Folder, const std::string& FileName);

// Builds one scene object and reports it on the loading screen.
SceneObject MakeObject(int32_t MeshIndex, float PosX, float PosY, float PosZ, float RotX, float RotY,
                       float RotZ, float ScaleX, float ScaleY, float ScaleZ, const std::string& Name);

// The loading-screen lines of LoadMesh and MakeObject.
std::string LoadMeshMessage(const std::string& Folder, const std::string& FileName);
std::string MakeObjectMessage(int32_t MeshIndex);

// How LoadMesh asks for the texture a material names, at `path`.
TextureRequest MaterialTexture(const std::string& path);

// The texture a material of the mesh in `meshFolder` names: at the stored
// path, else the file of that name beside the mesh. Throws ContentError
// naming both places when neither holds it.
TextureRequest MeshMaterialTexture(const std::string& meshFolder, const std::string& stored);

// Creates a texture as `request` says, through the helper library.
void CreateTexture(const TextureRequest& request, std::shared_ptr<Direct3DTexture8>& texture);

// Tells the helper library every file the start-up is about to load, in load
// order, so that it reads and decodes them ahead on other threads.
void PrefetchContent();
