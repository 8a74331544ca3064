// The sprite: draws a texture in window pixels after scaling, rotation about a
// centre and translation, modulated by an ARGB colour and alpha-blended. Each
// Draw sets the state it needs and restores what it changed.
#pragma once

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
