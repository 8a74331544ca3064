#include "loading/Loading.h"

#include <vector>

#include "common/Errors.h"
#include "common/Variables.h"
#include "loading/m_showLoadingScreen.h"

std::string LoadMeshMessage(const std::string& Folder, const std::string& FileName) {
    return "Loading mesh: " + Folder + "\\" + FileName;
}

std::string MakeObjectMessage(int32_t MeshIndex) { return "Creating object: " + std::to_string(MeshIndex); }

MeshEntry LoadMesh(const std::string& Folder, const std::string& FileName) {
    m_showLoadingScreen(LoadMeshMessage(Folder, FileName));

    MeshEntry entry;
    std::vector<D3DXMATERIAL> materials;
    DWORD count = 0;
    Check(D3DX->LoadMeshFromX(AppPath + "\\" + Folder + "\\" + FileName, D3DXMESH_MANAGED, *D3DDevice, entry.Mesh,
                              materials, count),
          "D3DXLoadMeshFromX");
    entry.MaterialCount = static_cast<int32_t>(count);
    entry.Materials.Redim(0, entry.MaterialCount - 1);
    entry.Textures.Redim(0, entry.MaterialCount - 1);
    for (int32_t i = 0; i < entry.MaterialCount; ++i) {
        D3DMATERIAL8 material = materials[static_cast<size_t>(i)].MatD3D;
        material.Ambient = material.Diffuse;
        entry.Materials[i] = material;
        const std::string& name = materials[static_cast<size_t>(i)].TextureFilename;
        if (!name.empty()) {
            Check(D3DX->CreateTextureFromFileEx(*D3DDevice, AppPath + "\\" + Folder + "\\" + name, 512, 512,
                                                D3DX_DEFAULT, 0, D3DFMT_UNKNOWN, D3DPOOL_DEFAULT,
                                                D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, 0xFFFF00FF,
                                                entry.Textures[i]),
                  "D3DXCreateTextureFromFileEx");
        }
    }
    return entry;
}

SceneObject MakeObject(int32_t MeshIndex, float PosX, float PosY, float PosZ, float RotX, float RotY, float RotZ,
                       float ScaleX, float ScaleY, float ScaleZ, const std::string& Name) {
    m_showLoadingScreen(MakeObjectMessage(MeshIndex));
    SceneObject object;
    object.MeshIndex = MeshIndex;
    object.PosX = PosX;
    object.PosY = PosY;
    object.PosZ = PosZ;
    object.RotX = RotX;
    object.RotY = RotY;
    object.RotZ = RotZ;
    object.ScaleX = ScaleX;
    object.ScaleY = ScaleY;
    object.ScaleZ = ScaleZ;
    object.Name = Name;
    return object;
}
