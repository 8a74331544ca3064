#include "platform/sprite/Sprite.h"

#include <array>
#include <cmath>

namespace {

struct RenderSetting {
    D3DRENDERSTATETYPE state;
    DWORD value;
};

struct StageSetting {
    DWORD stage;
    D3DTEXTURESTAGESTATETYPE type;
    DWORD value;
};

constexpr std::array<RenderSetting, 7> kRenderSettings{{
    {D3DRS_ALPHABLENDENABLE, 1},
    {D3DRS_SRCBLEND, D3DBLEND_SRCALPHA},
    {D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA},
    {D3DRS_LIGHTING, 0},
    {D3DRS_FOGENABLE, 0},
    {D3DRS_SPECULARENABLE, 0},
    {D3DRS_CULLMODE, D3DCULL_NONE},
}};

constexpr std::array<StageSetting, 14> kStageSettings{{
    {0, D3DTSS_COLOROP, D3DTOP_MODULATE},
    {0, D3DTSS_COLORARG1, D3DTA_TEXTURE},
    {0, D3DTSS_COLORARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_ALPHAOP, D3DTOP_MODULATE},
    {0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE},
    {0, D3DTSS_ALPHAARG2, D3DTA_DIFFUSE},
    {0, D3DTSS_TEXCOORDINDEX, 0},
    {0, D3DTSS_ADDRESSU, D3DTADDRESS_CLAMP},
    {0, D3DTSS_ADDRESSV, D3DTADDRESS_CLAMP},
    {0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR},
    {0, D3DTSS_MINFILTER, D3DTEXF_LINEAR},
    {0, D3DTSS_MIPFILTER, D3DTEXF_NONE},
    {1, D3DTSS_COLOROP, D3DTOP_DISABLE},
    {1, D3DTSS_ALPHAOP, D3DTOP_DISABLE},
}};

// Keeps the first failure of a sequence of device calls.
struct FirstFailure {
    HRESULT result = D3D_OK;
    void operator()(HRESULT hr) {
        if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
};

}  // namespace

HRESULT DrawSpriteTriangles(Direct3DDevice8& device, Direct3DTexture8* texture,
                            std::span<const SpriteVertex> vertices) {
    if (vertices.empty()) return D3D_OK;
    if (vertices.size() % 3 != 0) return D3DERR_INVALIDCALL;

    std::array<DWORD, kRenderSettings.size()> savedRender{};
    std::array<DWORD, kStageSettings.size()> savedStage{};
    Direct3DTexture8* savedTexture = nullptr;
    DWORD savedFvf = 0;
    FirstFailure check;
    for (size_t i = 0; i < kRenderSettings.size(); ++i) {
        check(device.GetRenderState(kRenderSettings[i].state, &savedRender[i]));
    }
    for (size_t i = 0; i < kStageSettings.size(); ++i) {
        check(device.GetTextureStageState(kStageSettings[i].stage, kStageSettings[i].type, &savedStage[i]));
    }
    check(device.GetTexture(0, &savedTexture));
    check(device.GetVertexShader(&savedFvf));
    if (FAILED(check.result)) return check.result;

    for (const auto& s : kRenderSettings) check(device.SetRenderState(s.state, s.value));
    for (const auto& s : kStageSettings) check(device.SetTextureStageState(s.stage, s.type, s.value));
    check(device.SetTexture(0, texture));
    check(device.SetVertexShader(kSpriteFVF));
    if (SUCCEEDED(check.result)) {
        check(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, static_cast<UINT>(vertices.size() / 3), vertices.data(),
                                     sizeof(SpriteVertex)));
    }

    for (size_t i = 0; i < kRenderSettings.size(); ++i) {
        check(device.SetRenderState(kRenderSettings[i].state, savedRender[i]));
    }
    for (size_t i = 0; i < kStageSettings.size(); ++i) {
        check(device.SetTextureStageState(kStageSettings[i].stage, kStageSettings[i].type, savedStage[i]));
    }
    check(device.SetTexture(0, savedTexture));
    // A device that has had no vertex format yet has none to go back to.
    if (savedFvf != 0) check(device.SetVertexShader(savedFvf));
    return check.result;
}

HRESULT D3DXSprite::Draw(Direct3DTexture8* texture, const RECT* sourceRect, const D3DVECTOR2* scaling,
                         const D3DVECTOR2* rotationCenter, float rotation, const D3DVECTOR2* translation,
                         D3DCOLOR color) {
    if (texture == nullptr) return D3DERR_INVALIDCALL;
    const float texW = static_cast<float>(texture->Width());
    const float texH = static_cast<float>(texture->Height());
    if (texW <= 0.0f || texH <= 0.0f) return D3DERR_INVALIDCALL;
    const RECT src = sourceRect ? *sourceRect
                                : RECT{0, 0, static_cast<int32_t>(texture->Width()),
                                       static_cast<int32_t>(texture->Height())};
    const float w = static_cast<float>(src.right - src.left);
    const float h = static_cast<float>(src.bottom - src.top);
    const D3DVECTOR2 scale = scaling ? *scaling : D3DVECTOR2{1.0f, 1.0f};
    const D3DVECTOR2 centre = rotationCenter ? *rotationCenter : D3DVECTOR2{0.0f, 0.0f};
    const D3DVECTOR2 move = translation ? *translation : D3DVECTOR2{0.0f, 0.0f};
    const float c = std::cos(rotation);
    const float s = std::sin(rotation);

    // Scale, rotate about the centre, translate; then move half a pixel up and
    // left so that the quad's edges fall between pixel centres and an unscaled
    // sprite at an integer position maps its texels one to one.
    auto corner = [&](float x, float y, float u, float v) {
        const float sx = x * scale.x - centre.x;
        const float sy = y * scale.y - centre.y;
        const float rx = sx * c - sy * s + centre.x + move.x;
        const float ry = sx * s + sy * c + centre.y + move.y;
        return SpriteVertex{rx - 0.5f, ry - 0.5f, 0.0f, 1.0f, color, u, v};
    };
    const float u0 = static_cast<float>(src.left) / texW;
    const float u1 = static_cast<float>(src.right) / texW;
    const float v0 = static_cast<float>(src.top) / texH;
    const float v1 = static_cast<float>(src.bottom) / texH;
    const SpriteVertex tl = corner(0, 0, u0, v0);
    const SpriteVertex tr = corner(w, 0, u1, v0);
    const SpriteVertex br = corner(w, h, u1, v1);
    const SpriteVertex bl = corner(0, h, u0, v1);
    const std::array<SpriteVertex, 6> quad{tl, tr, br, tl, br, bl};
    return DrawSpriteTriangles(device_, texture, quad);
}
