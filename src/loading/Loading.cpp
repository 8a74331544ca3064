#include "loading/Loading.h"

#include <vector>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "loading/m_InitMesh.h"
#include "loading/m_InitTextures.h"
#include "loading/m_showLoadingScreen.h"
#include "platform/files/Files.h"

std::string LoadMeshMessage(const std::string& Folder, const std::string& FileName) {
    return "Loading mesh: " + Folder + "\\" + FileName;
}

std::string MakeObjectMessage(int32_t MeshIndex) { return "Creating object: " + std::to_string(MeshIndex); }

TextureRequest MaterialTexture(const std::string& path) {
    return TextureRequest{path, 512, 512, D3DX_DEFAULT, D3DPOOL_DEFAULT, D3DX_FILTER_LINEAR, D3DX_FILTER_LINEAR, 0xFFFF00FF};
}

TextureRequest MeshMaterialTexture(const std::string& meshFolder, const std::string& stored) {
    return MaterialTexture(ResolveMaterialTexture(meshFolder, stored));
}

void CreateTexture(const TextureRequest& request, std::shared_ptr<Direct3DTexture8>& texture) {
    std::shared_ptr<Direct3DTexture8> created;
    Check(D3DX->CreateTextureFromFileEx(*D3DDevice, request.path, request.width, request.height, request.mipLevels, 0,
                                        D3DFMT_UNKNOWN, request.pool, request.filter, request.mipFilter,
                                        request.colorKey, created),
          "D3DXCreateTextureFromFileEx");
    texture = std::move(created);
}

void PrefetchContent() {
    std::vector<std::variant<TextureRequest, MeshRequest>> requests;
    for (const InitTextureRow& row : InitTextures) requests.emplace_back(InitTexture(row));
    for (const MeshListRow& row : MeshList) {
        const std::string folder = AppPath + "\\" + row.Folder;
        requests.emplace_back(MeshRequest{folder + "\\" + row.File, folder, MaterialTexture("")});
        if (row.OwnTexture != nullptr) requests.emplace_back(OwnTexture(row));
    }
    D3DX->Prefetch(requests);
}

MeshEntry LoadMesh(const std::string& Folder, const std::string& FileName) {
    m_showLoadingScreen(LoadMeshMessage(Folder, FileName));
    return ReadMesh(Folder, FileName);
}

MeshEntry ReadMesh(const std::string& Folder, const std::string& FileName) {
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
            CreateTexture(MeshMaterialTexture(AppPath + "\\" + Folder, name), entry.Textures[i]);
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
