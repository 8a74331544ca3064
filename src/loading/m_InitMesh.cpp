#include "loading/m_InitMesh.h"

#include "base/Errors.h"
#include "common/Variables.h"
#include "loading/Loading.h"

const std::array<MeshListRow, 36> MeshList = {{
    {1, "data\\house\\house_01", "house_01.x"},
    {2, "data\\misc\\ground", "ground1.x"},
    {4, "data\\misc\\ground", "ground2.x"},
    {5, "data\\misc\\ground", "ground3.x"},
    {6, "data\\misc\\ground", "ground4.x"},
    {7, "data\\misc\\ground", "ground5.x"},
    {8, "data\\misc\\ground", "ground6.x"},
    {9, "data\\misc\\ground", "ground7.x"},
    {10, "data\\misc\\ground", "ground8.x"},
    {11, "data\\misc\\ground", "ground9.x"},
    {12, "data\\house\\house_11", "house_11.x"},
    {13, "data\\house\\house_02", "house_02.x"},
    {14, "data\\house\\house_13-17", "house_13-17.x"},
    {15, "data\\misc\\bushes", "bush_01.x"},
    {16, "data\\misc\\bushes", "bush_02.x"},
    {17, "data\\house\\house_10", "house_10.x"},
    {18, "data\\house\\house_09", "house_09.x"},
    {19, "data\\misc\\wall", "wall_01.x"},
    {20, "data\\house\\house_06", "house_06.x"},
    {21, "data\\house\\house_03", "house_03.x", "tex.jpg"},
    {22, "data\\misc\\skysphere", "blob.x"},
    {23, "data\\house\\house_08", "house_08.x"},
    {24, "data\\misc\\fountain", "fountain_01.x"},
    {25, "data\\house\\house_07", "house_07.x"},
    {26, "data\\misc\\fountain", "waterplane.x"},
    {27, "data\\misc\\streetlight", "streetlight_01.x"},
    {28, "data\\house\\house_04", "house_04.x"},
    {29, "data\\misc\\ground", "hill_01.x"},
    {30, "data\\misc\\ground", "bigplane_01.x"},
    {31, "data\\misc\\wall", "wall_02.x"},
    {32, "data\\misc\\char", "gubbe.x"},
    {33, "data\\Cathedral", "cathedral.x"},
    {34, "data\\Cathedral", "pelare.x"},
    {35, "data\\misc\\angel", "female.x"},
    {36, "data\\misc\\angel", "male.x"},
    {37, "data\\misc\\flower", "frame7.x"},
}};

TextureRequest OwnTexture(const MeshListRow& row) {
    return TextureRequest{AppPath + "\\" + row.Folder + "\\" + row.OwnTexture, 1024, 1024, D3DX_DEFAULT,
                          D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_POINT, 0xFFFF00FF};
}

void m_InitMesh() {
    Meshes.Redim(0, 37);
    for (const MeshListRow& row : MeshList) {
        Meshes[row.Slot] = LoadMesh(row.Folder, row.File);
        if (row.OwnTexture != nullptr) CreateTexture(OwnTexture(row), Meshes[row.Slot].Textures[0]);
    }
}
