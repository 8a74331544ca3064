// The sprite: draws a texture in window pixels after scaling, rotation about a
// centre and translation, modulated by an ARGB colour and alpha-blended. Each
// Draw sets the state it needs and restores what it changed.
#pragma once

#include <span>

#include "platform/device/Device.h"

class D3DXSprite {
public:
    explicit D3DXSprite(Direct3DDevice8& device) : device_(device) {}

    // A null sourceRect draws the whole texture; null vectors mean scaling
    // (1, 1), centre (0, 0) and translation (0, 0).
    HRESULT Draw(Direct3DTexture8* texture, const RECT* sourceRect, const D3DVECTOR2* scaling,
                 const D3DVECTOR2* rotationCenter, float rotation, const D3DVECTOR2* translation,
                 D3DCOLOR color);

private:
    Direct3DDevice8& device_;
};

// One corner of a pre-transformed textured quad, laid out for kSpriteFVF.
struct SpriteVertex {
    float x, y, z, rhw;
    D3DCOLOR color;
    float u, v;
};
constexpr DWORD kSpriteFVF = D3DFVF_XYZRHW | D3DFVF_DIFFUSE | D3DFVF_TEX1;
static_assert(sizeof(SpriteVertex) == 28, "SpriteVertex must match its 28-byte vertex format");

// Draws `vertices` (a triangle list, six per quad) with `texture` under the
// sprite's state: alpha blending, no lighting, fog or culling, texture times
// vertex colour, clamped linear sampling; depth states are left as they are.
// Every state it changes, the texture and the vertex format are restored.
// x and y are in D3D screen pixels (pixel centres at integers).
HRESULT DrawSpriteTriangles(Direct3DDevice8& device, Direct3DTexture8* texture,
                            std::span<const SpriteVertex> vertices);
