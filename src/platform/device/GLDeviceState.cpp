#include <array>

#include "base/Maths.h"
#include "platform/device/GLDevice.h"
#include "platform/device/GLResources.h"

namespace {

constexpr DWORD kMaxLights = 1024;
constexpr DWORD kAllBits = 0xFFFFFFFFu;
constexpr DWORD kTrue = 1, kFalse = 0;

// Texture transforms and further world matrices are accepted and unused.
bool IsUnusedTransform(D3DTRANSFORMSTATETYPE state) {
    return (state >= D3DTS_TEXTURE0 && state <= D3DTS_TEXTURE7) ||
           (state > D3DTS_WORLD && state <= D3DTS_WORLDMATRIX(255));
}

}  // namespace

const GLDevice::RenderStateRow GLDevice::kRenderStateRows[] = {
    // ApplyDefaultState sets these two from the depth buffer and GL's point size range.
    {D3DRS_ZENABLE, D3DZB_TRUE, kDirtyDepth | kDirtyScreen},
    {D3DRS_POINTSIZE_MAX, FloatToDWord(64.0f), kDirtyPoints},

    {D3DRS_FILLMODE, D3DFILL_SOLID, kDirtyFill},
    {D3DRS_SHADEMODE, D3DSHADE_GOURAUD, 0},
    {D3DRS_ZWRITEENABLE, kTrue, kDirtyDepth},
    {D3DRS_ZFUNC, D3DCMP_LESSEQUAL, kDirtyDepth},
    {D3DRS_LASTPIXEL, kTrue, 0},
    {D3DRS_CULLMODE, D3DCULL_CCW, kDirtyCull},
    {D3DRS_COLORWRITEENABLE,
     D3DCOLORWRITEENABLE_RED | D3DCOLORWRITEENABLE_GREEN | D3DCOLORWRITEENABLE_BLUE | D3DCOLORWRITEENABLE_ALPHA,
     kDirtyColorMask},

    // The alpha test also drops the invisible texels of blended cut-outs (AlphaTest).
    {D3DRS_ALPHABLENDENABLE, kFalse, kDirtyBlend | kDirtyAlphaTest},
    {D3DRS_SRCBLEND, D3DBLEND_ONE, kDirtyBlend | kDirtyAlphaTest},
    {D3DRS_DESTBLEND, D3DBLEND_ZERO, kDirtyBlend | kDirtyAlphaTest},
    {D3DRS_BLENDOP, D3DBLENDOP_ADD, kDirtyBlend | kDirtyAlphaTest},
    {D3DRS_ALPHATESTENABLE, kFalse, kDirtyAlphaTest},
    {D3DRS_ALPHAREF, 0, kDirtyAlphaTest},
    {D3DRS_ALPHAFUNC, D3DCMP_ALWAYS, kDirtyAlphaTest},

    {D3DRS_STENCILFAIL, D3DSTENCILOP_KEEP, 0},
    {D3DRS_STENCILZFAIL, D3DSTENCILOP_KEEP, 0},
    {D3DRS_STENCILPASS, D3DSTENCILOP_KEEP, 0},
    {D3DRS_STENCILFUNC, D3DCMP_ALWAYS, 0},
    {D3DRS_STENCILMASK, kAllBits, 0},
    {D3DRS_STENCILWRITEMASK, kAllBits, 0},

    {D3DRS_LIGHTING, kTrue, kDirtyLightingSwitches},
    {D3DRS_AMBIENT, 0, kDirtyLightingSwitches},
    {D3DRS_COLORVERTEX, kTrue, kDirtyLightingSwitches},
    {D3DRS_LOCALVIEWER, kTrue, kDirtyLightingSwitches},
    {D3DRS_NORMALIZENORMALS, kFalse, kDirtyLightingSwitches},
    {D3DRS_SPECULARENABLE, kFalse, kDirtyLightingSwitches},
    {D3DRS_DIFFUSEMATERIALSOURCE, D3DMCS_COLOR1, kDirtyLightingSwitches},
    {D3DRS_SPECULARMATERIALSOURCE, D3DMCS_COLOR2, kDirtyLightingSwitches},
    {D3DRS_AMBIENTMATERIALSOURCE, D3DMCS_MATERIAL, kDirtyLightingSwitches},
    {D3DRS_EMISSIVEMATERIALSOURCE, D3DMCS_MATERIAL, kDirtyLightingSwitches},

    {D3DRS_FOGENABLE, kFalse, kDirtyFog},
    {D3DRS_FOGCOLOR, 0, kDirtyFog},
    {D3DRS_FOGTABLEMODE, D3DFOG_NONE, kDirtyFog},
    {D3DRS_FOGVERTEXMODE, D3DFOG_NONE, kDirtyFog},
    {D3DRS_FOGSTART, FloatToDWord(0.0f), kDirtyFog},
    {D3DRS_FOGEND, FloatToDWord(1.0f), kDirtyFog},
    {D3DRS_FOGDENSITY, FloatToDWord(1.0f), kDirtyFog},
    {D3DRS_RANGEFOGENABLE, kFalse, kDirtyFog},

    {D3DRS_POINTSIZE, FloatToDWord(1.0f), kDirtyPoints},
    {D3DRS_POINTSIZE_MIN, FloatToDWord(0.0f), kDirtyPoints},
    {D3DRS_POINTSCALEENABLE, kFalse, kDirtyPoints},
    {D3DRS_POINTSCALE_A, FloatToDWord(1.0f), kDirtyPoints},
    {D3DRS_POINTSCALE_B, FloatToDWord(0.0f), kDirtyPoints},
    {D3DRS_POINTSCALE_C, FloatToDWord(0.0f), kDirtyPoints},
    // Read at each draw: it chooses the program and sprite coordinates.
    {D3DRS_POINTSPRITEENABLE, kFalse, 0},

    {D3DRS_TEXTUREFACTOR, kAllBits, kDirtyStages},
    {D3DRS_CLIPPING, kTrue, 0},
    {D3DRS_MULTISAMPLEANTIALIAS, kTrue, 0},
    {D3DRS_MULTISAMPLEMASK, kAllBits, 0},
    {D3DRS_PATCHSEGMENTS, FloatToDWord(1.0f), 0},
};

void GLDevice::ApplyDefaultState() {
    renderStates_.fill(0);
    for (const RenderStateRow& row : kRenderStateRows) renderStates_[row.state] = row.initial;
    renderStates_[D3DRS_ZENABLE] = config_.depthFormat != D3DFMT_UNKNOWN ? D3DZB_TRUE : D3DZB_FALSE;
    renderStates_[D3DRS_POINTSIZE_MAX] = FloatToDWord(maxPointSize_);

    for (int s = 0; s < kStageCount; ++s) {
        auto& st = stageStates_[s];
        st.fill(0);
        st[D3DTSS_COLOROP] = s == 0 ? D3DTOP_MODULATE : D3DTOP_DISABLE;
        st[D3DTSS_COLORARG1] = D3DTA_TEXTURE;
        st[D3DTSS_COLORARG2] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAOP] = s == 0 ? D3DTOP_SELECTARG1 : D3DTOP_DISABLE;
        st[D3DTSS_ALPHAARG1] = D3DTA_TEXTURE;
        st[D3DTSS_ALPHAARG2] = D3DTA_CURRENT;
        st[D3DTSS_TEXCOORDINDEX] = static_cast<DWORD>(s);
        st[D3DTSS_ADDRESSU] = D3DTADDRESS_WRAP;
        st[D3DTSS_ADDRESSV] = D3DTADDRESS_WRAP;
        st[D3DTSS_ADDRESSW] = D3DTADDRESS_WRAP;
        st[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        st[D3DTSS_MAXANISOTROPY] = 1;
        st[D3DTSS_COLORARG0] = D3DTA_CURRENT;
        st[D3DTSS_ALPHAARG0] = D3DTA_CURRENT;
        st[D3DTSS_RESULTARG] = D3DTA_CURRENT;
    }
    world_ = view_ = projection_ = kIdentityMatrix;
    material_ = D3DMATERIAL8{};
    dirty_ = ~0u;
}

void GLDevice::MarkRenderStateDirty(DWORD state) {
    static const std::array<uint32_t, kRenderStateCount> dirtyByState = [] {
        std::array<uint32_t, kRenderStateCount> bits{};
        for (const RenderStateRow& row : kRenderStateRows) bits[row.state] |= row.dirty;
        return bits;
    }();
    dirty_ |= dirtyByState[state];
}

float GLDevice::RenderStateFloat(DWORD state) const { return DWordToFloat(renderStates_[state]); }

HRESULT GLDevice::SetRenderState(D3DRENDERSTATETYPE state, DWORD value) {
    if (state >= kRenderStateCount) return D3DERR_INVALIDCALL;
    if (renderStates_[state] == value) return D3D_OK;
    // Batched points carry their own size; any other state ends the batch.
    if (state != D3DRS_POINTSIZE) FlushPointBatch();
    renderStates_[state] = value;
    MarkRenderStateDirty(state);
    return D3D_OK;
}

HRESULT GLDevice::GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const {
    if (state >= kRenderStateCount || !value) return D3DERR_INVALIDCALL;
    *value = renderStates_[state];
    return D3D_OK;
}

HRESULT GLDevice::SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) {
    if (stage >= kStageCount || type >= kStageStateCount) return D3DERR_INVALIDCALL;
    if (stageStates_[stage][type] == value) return D3D_OK;
    FlushPointBatch();
    stageStates_[stage][type] = value;
    if (stage < kShaderStages) {
        switch (type) {
            case D3DTSS_ADDRESSU:
            case D3DTSS_ADDRESSV:
            case D3DTSS_MAGFILTER:
            case D3DTSS_MINFILTER:
            case D3DTSS_MIPFILTER: dirty_ |= stage == 0 ? kDirtySampler0 : kDirtySampler1; break;
            default: dirty_ |= kDirtyStages; break;
        }
    }
    // A later stage's colour op decides whether stage 1 is the last one.
    if (type == D3DTSS_COLOROP) dirty_ |= kDirtyStages;
    return D3D_OK;
}

HRESULT GLDevice::GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const {
    if (stage >= kStageCount || type >= kStageStateCount || !value) return D3DERR_INVALIDCALL;
    *value = stageStates_[stage][type];
    return D3D_OK;
}

HRESULT GLDevice::SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) {
    FlushPointBatch();
    switch (state) {
        case D3DTS_WORLD: world_ = matrix; dirty_ |= kDirtyTransforms; return D3D_OK;
        case D3DTS_VIEW: view_ = matrix; dirty_ |= kDirtyTransforms | kDirtyLights; return D3D_OK;
        case D3DTS_PROJECTION: projection_ = matrix; dirty_ |= kDirtyTransforms; return D3D_OK;
        default: break;
    }
    if (IsUnusedTransform(state)) return D3D_OK;
    return D3DERR_INVALIDCALL;
}

HRESULT GLDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: *matrix = world_; return D3D_OK;
        case D3DTS_VIEW: *matrix = view_; return D3D_OK;
        case D3DTS_PROJECTION: *matrix = projection_; return D3D_OK;
        default: break;
    }
    if (IsUnusedTransform(state)) {
        *matrix = kIdentityMatrix;
        return D3D_OK;
    }
    return D3DERR_INVALIDCALL;
}

HRESULT GLDevice::SetTexture(DWORD stage, Direct3DTexture8* texture) {
    if (stage >= kStageCount) return D3DERR_INVALIDCALL;
    if (texture) {
        const auto* gl = dynamic_cast<GLTexture*>(texture);
        if (!gl || gl->Owner() != shared_.get()) return D3DERR_INVALIDCALL;
    }
    if (textures_[stage] == texture) return D3D_OK;
    FlushPointBatch();
    textures_[stage] = texture;
    dirty_ |= kDirtyStages;
    return D3D_OK;
}

HRESULT GLDevice::GetTexture(DWORD stage, Direct3DTexture8** texture) const {
    if (stage >= kStageCount || !texture) return D3DERR_INVALIDCALL;
    *texture = textures_[stage];
    return D3D_OK;
}

HRESULT GLDevice::SetMaterial(const D3DMATERIAL8& material) {
    FlushPointBatch();
    material_ = material;
    dirty_ |= kDirtyMaterial;
    return D3D_OK;
}

HRESULT GLDevice::SetLight(DWORD index, const D3DLIGHT8& light) {
    FlushPointBatch();
    if (index >= kMaxLights) return D3DERR_INVALIDCALL;
    if (index >= lights_.size()) lights_.resize(index + 1);
    // Any type is accepted and kept; an unknown type (an all-zero record)
    // lights nothing when enabled.
    lights_[index].record = light;
    lights_[index].defined = true;
    if (lights_[index].enabled) dirty_ |= kDirtyLights;
    return D3D_OK;
}

HRESULT GLDevice::LightEnable(DWORD index, BOOL enable) {
    FlushPointBatch();
    if (index >= kMaxLights) return D3DERR_INVALIDCALL;
    if (index >= lights_.size()) lights_.resize(index + 1);
    Light& light = lights_[index];
    if (!light.defined) {
        // Enabling a light that was never set makes the default white directional light.
        light.record = D3DLIGHT8{};
        light.record.Type = D3DLIGHT_DIRECTIONAL;
        light.record.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
        light.record.Direction = {0.0f, 0.0f, 1.0f};
        light.defined = true;
    }
    const bool on = enable != 0;
    if (light.enabled != on) {
        light.enabled = on;
        dirty_ |= kDirtyLights;
    }
    return D3D_OK;
}

HRESULT GLDevice::SetVertexShader(DWORD fvf) {
    FlushPointBatch();
    // Any code is kept (0 is the device's initial one, and callers restore it);
    // a draw with a format that has no position fails.
    fvf_ = fvf;
    return D3D_OK;
}

HRESULT GLDevice::GetVertexShader(DWORD* fvf) const {
    if (!fvf) return D3DERR_INVALIDCALL;
    *fvf = fvf_;
    return D3D_OK;
}
