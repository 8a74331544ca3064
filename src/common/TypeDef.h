// The demo's record types.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/BoundedArray.h"
#include "platform/device/Device.h"

// Booleans as the demo stores them: true is -1 (all bits set), false is 0.
using Bool16 = int16_t;
using Bool32 = int32_t;
constexpr Bool16 True16 = -1;
constexpr Bool16 False16 = 0;
constexpr Bool32 True32 = -1;
constexpr Bool32 False32 = 0;

// One loaded mesh with a texture and a material per subset.
struct MeshEntry {
    std::shared_ptr<D3DXMesh> Mesh;
    BoundedArray<std::shared_ptr<Direct3DTexture8>> Textures{"Textures"};
    BoundedArray<D3DMATERIAL8> Materials{"Materials"};
    int32_t MaterialCount = 0;
};

// One placed instance of a mesh.
struct SceneObject {
    int32_t MeshIndex = 0;
    float PosX = 0, PosY = 0, PosZ = 0;
    float RotX = 0, RotY = 0, RotZ = 0;
    float ScaleX = 0, ScaleY = 0, ScaleZ = 0;
    std::string Name;
};

struct RenderStatePair {
    int32_t State = 0;
    int32_t Value = 0;
};

struct PathKey {
    D3DVECTOR Position{0, 0, 0};
    int32_t Pace = 0;
    int32_t Reserved[3] = {0, 0, 0};
};

// One step of the timeline.
struct Step {
    int32_t Duration = 0;
    int32_t StartTick = 0;
    Bool16 Loaded = False16;
    BoundedArray<RenderStatePair> RenderStates{"RenderStates"};
    int32_t RenderStateMax = 0;
    BoundedArray<int32_t> DrawList{"DrawList"};
    int32_t DrawListMax = 0;
    BoundedArray<D3DLIGHT8> Lights{"Lights", 0, 7};
    BoundedArray<Bool16> LightOn{"LightOn", 0, 7};
    BoundedArray<PathKey> EyePath{"EyePath"};
    int32_t EyeReserved = 0;
    BoundedArray<PathKey> TargetPath{"TargetPath"};
    int32_t TargetReserved = 0;
};

// One water drop of the fountain.
struct Particle {
    float PosX = 0, PosY = 0, PosZ = 0;
    float VelX = 0, VelY = 0, VelZ = 0;
    int32_t BirthTick = 0;
    int32_t LifeTime = 0;
};

// One point vertex of the fountain, laid out for D3DFVF_XYZ | D3DFVF_DIFFUSE | D3DFVF_TEX1.
struct ParticleVertex {
    D3DVECTOR Position{0, 0, 0};
    D3DCOLOR Color = 0;
    float Tu = 0, Tv = 0;
};
static_assert(sizeof(ParticleVertex) == 24, "ParticleVertex must match its 24-byte vertex format");
