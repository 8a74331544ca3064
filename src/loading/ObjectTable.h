// The town's placed objects in creation order: which mesh each stands for,
// where it stands and how it is turned and scaled. The demo places them at
// start-up (m_initObjects); the content generator sizes its meshes and the
// camera paths' obstacles from the same rows. It includes nothing of ours, so
// both can use it.
#pragma once

#include <array>
#include <cstdint>

// One placed object of the town. Slot -1 stands for the entry of FlowerIndex.
struct ObjectRow {
    int32_t Slot;
    int32_t MeshIndex;
    float PosX, PosY, PosZ;
    float RotX, RotY, RotZ;
    float ScaleX, ScaleY, ScaleZ;
    const char* Name;
};

inline constexpr std::array<ObjectRow, 55> ObjectTable = {{
    {0, 0, -50, 0, 0, 0, 0, 0, 1, 1, 1, "Box"},
    {2, 1, -200, 0, 0, 0, 0, 0, 1, 1, 1, "Hus 2"},
    {3, 1, 0, 0, -200, 0, 0, 0, 1, 1, 1, "Hus 3"},
    {4, 1, -200, 0, -200, 0, 0, 0, 1, 1, 1, "Hus 3"},
    {7, 2, 0, 0, 0, 0, 0, 0, 1, 1, 1, "Ground1"},
    {8, 4, 400, 0, 0, 0, 0, 0, 1, 1, 1, "Ground2"},
    {9, 5, 800, 0, 0, 0, 0, 0, 1, 1, 1, "Ground3"},
    {10, 6, 0, 0, -400, 0, 0, 0, 1, 1, 1, "Ground4"},
    {11, 7, 400, 0, -400, 0, 0, 0, 1, 1, 1, "Ground5"},
    {12, 8, 800, 0, -400, 0, 0, 0, 1, 1, 1, "Ground6"},
    {13, 9, 0, 0, -800, 0, 0, 0, 1, 1, 1, "Ground7"},
    {14, 10, 400, 0, -800, 0, 0, 0, 1, 1, 1, "Ground8"},
    {15, 11, 800, 0, -800, 0, 0, 0, 1, 1, 1, "Ground9"},
    {17, 1, 400, 0, 43, 0, 0, 0, 1.9f, 2.69f, 1.4f, "Hus 1"},
    {27, 12, -135, 5, -145, 0, 0, 0, 1, 1.5f, 1, "house_11"},
    {18, 13, 735, 48, -10, 0, 0, 0, 0.5f, 1, 0.5f, "house_02"},
    {29, 14, 20, -60, -768, 0, 0.5233333f, 0, 2.7f, 4, 2.3f, "house_13"},
    {30, 14, -3, -60, -715, 0, 0.5233333f, 0, 2.7f, 4, 2.3f, "house_14"},
    {31, 14, -51, -60, -717, 0, 0.5233333f, 0, 2.7f, 4, 2.3f, "house_15"},
    {32, 14, -87, -34, -592, 0, 1.57f, 0, 2, 2.3f, 2.3f, "house_16"},
    {33, 17, 90, 0, 70, 0, 0, 0, 1, 1.5f, 1, "house_10"},
    {25, 18, 155, 0, -365, 0, 0, 0, 1, 1.5f, 1, "house_09"},
    {38, 19, -80, 0, 25, 0, 0, 0, 1, 1.5f, 1, "wall1"},
    {39, 19, -105, 0, -290, 0, -1.57f, 0, 1, 1.5f, 1, "wall2"},
    {22, 20, 825, 270, -763, 0, -1.57f, 0, 1.3f, 2.1f, 1, "house_06"},
    {19, 21, 645, -12, -445, 0, 0, 0, 4.5f, 6.5f, 5, "house_03"},
    {24, 23, 140, 0, -640, 0, 0, 0, 0.9f, 1.4f, 1, "house_08"},
    {23, 25, 630, 0, -900, 0, 0, 0, 1, 1.2f, 1.2f, "Parkeringsplatsen"},
    {40, 24, 400, 0, -180, 0, 0, 0, 1, 1, 1, "fontänen utan vattenmesh"},
    {41, 26, 395, -10, -205, 0, 0, 0, 0.7f, 0.7f, 0.7f, "vattenmesh"},
    {42, 26, 398, 20, -187, 0, 0, 0, 0.19f, 0.19f, 0.19f, "vattenmesh"},
    {43, 27, 568, 0, -213, 0, 0, 0, 0.2f, 0.35f, 0.2f, "Gatulyckta1"},
    {44, 27, 568, 0, -578, 0, 0, 0, 0.2f, 0.35f, 0.2f, "Gatulyckta2"},
    {45, 27, 230, 0, -188, 0, 3.14f, 0, 0.2f, 0.35f, 0.2f, "Gatulyckta3"},
    {46, 27, 225, 0, -578, 0, 3.14f, 0, 0.2f, 0.35f, 0.2f, "Gatulyckta4"},
    {20, 28, 940, 0, -205, 0, 0, 0, 0.9f, 1.4f, 0.9f, "house_04"},
    {47, 29, -733, -134, -615, 0, 3.14f, 0, 1, 1.5f, 1, "kullen"},
    {48, 30, 250, -2, -195, 0, 0, 0, 1, 1, 1, "Out planen asfvalt"},
    {49, 30, 895, -4, -610, 0, 0, 0, 1, 1, 1, "Out planen asfvalt"},
    {34, 15, 780, 0, -440, 0, 0, 0, 1, 2, 1, "Bush_01"},
    {35, 15, 903, 0, -608, 0, 3.14f, 0, 1, 2, 1, "Bush_01 men uppochner"},
    {36, 15, 892, 0, -430, 0, 1.57f, 0, 1, 2, 1, "Bush_01"},
    {37, 15, 791, 0, -620, 0, -1.57f, 0, 1, 2, 1, "Bush_01 men uppochner"},
    {6, 15, 0, 100, 0, 3.1415927f, 0, 0, 4, 4, 4, "Clouds"},
    {5, 3, 0, 0, 0, 0, 0, 0, 1, 1, 1, "Markör"},
    {51, 33, 0, 0, 0, 0, 0, 0, 1.1f, 1, 1, "Katedral"},
    {52, 34, 53, -80, -100, 0, 0, 0, 0.2f, 0.38f, 0.2f, "Pelare"},
    {53, 34, 53, -80, 0, 0, 0, 0, 0.2f, 0.38f, 0.2f, "Pelare"},
    {54, 34, 53, -80, 100, 0, 0, 0, 0.2f, 0.38f, 0.2f, "Pelare"},
    {55, 34, -53, -80, -100, 0, 0, 0, 0.2f, 0.38f, 0.2f, "Pelare"},
    {56, 34, -53, -80, 0, 0, 0, 0, 0.2f, 0.38f, 0.2f, "Pelare"},
    {57, 34, -53, -80, 100, 0, 0, 0, 0.2f, 0.38f, 0.2f, "Pelare"},
    {58, 35, 35, -82, 120, 0, 0.7f, 0, 0.1137f, 0.1137f, 0.1137f, "Kvinlig staty"},
    {59, 35, -35, -82, 120, 0, -0.7f, 0, 0.1137f, 0.1137f, 0.1137f, "Manlig staty"},
    {-1, 37, 400, 0, -150, 0, 0, 0, 1, 1, 1, "Flower"},
}};
