// The D3DX 8 factory methods for sprites and fonts.
#include "platform/d3dx/D3DX8.h"
#include "platform/sprite/Sprite.h"

HRESULT D3DX8::CreateSprite(Direct3DDevice8& device, std::unique_ptr<D3DXSprite>& sprite) {
    sprite = std::make_unique<D3DXSprite>(device);
    return D3D_OK;
}
