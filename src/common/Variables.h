// The demo's global state. Each item is set up by one module during start-up
// and read by others for the rest of the run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/TypeDef.h"
#include "platform/d3dx/D3DX8.h"
#include "platform/device/Direct3D8.h"

class Window;
class MusicPlayer;
class Clock;
class Random;
class D3DXSprite;
class D3DXFont;

// Platform objects, owned by the process entry point.
extern Window* frmMain;      // the demo window
extern MusicPlayer* mp3;     // the music player
extern Clock* SystemClock;   // tick count and performance counter
extern Random* Rng;          // the uniform random-number generator

// The folder content is read from, with no trailing separator.
extern std::string AppPath;

// Device objects.
extern std::unique_ptr<DirectX8> DX;
extern std::unique_ptr<Direct3D8> D3D;
extern std::unique_ptr<D3DX8> D3DX;
extern std::unique_ptr<Direct3DDevice8> D3DDevice;
extern std::unique_ptr<D3DXSprite> Sprite;
extern D3DMATRIX matWorld, matView, matProj, matTemp;

// Assets.
extern BoundedArray<MeshEntry> Meshes;
extern BoundedArray<SceneObject> Objects;
extern BoundedArray<int32_t> FlowerIndex;
extern std::shared_ptr<Direct3DTexture8> TexWhite, TexLogoDds, TexDot, TexLogoJpg, TexBajs, TexTextEfter;
extern std::unique_ptr<D3DXFont> FontSmall;
extern int32_t LoadingCount;

// Timeline.
extern BoundedArray<Step> Steps;
extern int32_t CurrentStep;

// Camera.
extern D3DVECTOR camPos, camLookAt, camUp;
extern int32_t posKey, targetKey, lastKey, startKey;
extern float segmentT;
extern Bool16 pathRunning;
extern Bool32 cameraHeld;

// Driver.
extern Bool16 demoRunning;
extern int64_t perfFrequency, perfLast, perfDelta;
extern int32_t startTick, endTick;

// Particles.
extern BoundedArray<Particle> particles;
extern BoundedArray<ParticleVertex> particleVerts;
extern D3DMATERIAL8 particleMaterial;
