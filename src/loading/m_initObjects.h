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

// The objects in creation order.
extern const std::array<ObjectRow, 55> ObjectTable;

// Fills Objects with the town's placed objects.
void m_initObjects();
