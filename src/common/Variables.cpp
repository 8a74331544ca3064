#include "common/Variables.h"

#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"

Window* frmMain = nullptr;
MusicPlayer* mp3 = nullptr;
Clock* SystemClock = nullptr;
Random* Rng = nullptr;
std::string AppPath;

std::unique_ptr<DirectX8> DX;
std::unique_ptr<Direct3D8> D3D;
std::unique_ptr<D3DX8> D3DX;
std::unique_ptr<Direct3DDevice8> D3DDevice;
std::unique_ptr<D3DXSprite> Sprite;
D3DMATRIX matWorld, matView, matProj, matTemp;

BoundedArray<MeshEntry> Meshes("Meshes");
BoundedArray<SceneObject> Objects("Objects");
BoundedArray<int32_t> FlowerIndex("FlowerIndex", 1, 1);
std::shared_ptr<Direct3DTexture8> TexWhite, TexLogoDds, TexDot, TexLogoJpg, TexBajs, TexTextEfter;
std::unique_ptr<D3DXFont> FontSmall;
int32_t LoadingCount = 0;

BoundedArray<Step> Steps("Steps");
int32_t CurrentStep = 0;

D3DVECTOR camPos, camLookAt, camUp;
int32_t posKey = 0, targetKey = 0, lastKey = 0, startKey = 0;
float segmentT = 0;
Bool16 pathRunning = False16;
Bool32 cameraHeld = False32;

Bool16 demoRunning = False16;
int64_t perfFrequency = 0, perfLast = 0, perfDelta = 0;
int32_t startTick = 0, endTick = 0;

BoundedArray<Particle> particles("particles", 0, 399);
BoundedArray<ParticleVertex> particleVerts("particleVerts", 0, 399);
D3DMATERIAL8 particleMaterial;
