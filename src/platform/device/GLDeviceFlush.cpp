#include <algorithm>
#include <cmath>

#include "base/Maths.h"
#include "platform/device/GLApi.h"
#include "platform/device/GLDevice.h"
#include "platform/device/GLResources.h"
#include "platform/device/VertexFormat.h"

namespace {

GLenum BlendFactor(DWORD value) {
    switch (value) {
        case D3DBLEND_ZERO: return GL_ZERO;
        case D3DBLEND_ONE: return GL_ONE;
        case D3DBLEND_SRCCOLOR: return GL_SRC_COLOR;
        case D3DBLEND_INVSRCCOLOR: return GL_ONE_MINUS_SRC_COLOR;
        case D3DBLEND_SRCALPHA: return GL_SRC_ALPHA;
        case D3DBLEND_INVSRCALPHA: return GL_ONE_MINUS_SRC_ALPHA;
        case D3DBLEND_DESTALPHA: return GL_DST_ALPHA;
        case D3DBLEND_INVDESTALPHA: return GL_ONE_MINUS_DST_ALPHA;
        case D3DBLEND_DESTCOLOR: return GL_DST_COLOR;
        case D3DBLEND_INVDESTCOLOR: return GL_ONE_MINUS_DST_COLOR;
        case D3DBLEND_SRCALPHASAT: return GL_SRC_ALPHA_SATURATE;
    }
    return GL_ONE;
}

GLenum BlendOperation(DWORD value) {
    switch (value) {
        case D3DBLENDOP_SUBTRACT: return GL_FUNC_SUBTRACT;
        case D3DBLENDOP_REVSUBTRACT: return GL_FUNC_REVERSE_SUBTRACT;
        case D3DBLENDOP_MIN: return GL_MIN;
        case D3DBLENDOP_MAX: return GL_MAX;
    }
    return GL_FUNC_ADD;
}

GLenum CompareFunction(DWORD value) {
    switch (value) {
        case D3DCMP_NEVER: return GL_NEVER;
        case D3DCMP_LESS: return GL_LESS;
        case D3DCMP_EQUAL: return GL_EQUAL;
        case D3DCMP_LESSEQUAL: return GL_LEQUAL;
        case D3DCMP_GREATER: return GL_GREATER;
        case D3DCMP_NOTEQUAL: return GL_NOTEQUAL;
        case D3DCMP_GREATEREQUAL: return GL_GEQUAL;
    }
    return GL_ALWAYS;
}

GLenum AddressMode(DWORD value) {
    switch (value) {
        case D3DTADDRESS_MIRROR: return GL_MIRRORED_REPEAT;
        case D3DTADDRESS_CLAMP: return GL_CLAMP_TO_EDGE;
        case D3DTADDRESS_BORDER: return GL_CLAMP_TO_BORDER;
        case D3DTADDRESS_MIRRORONCE: return GL_CLAMP_TO_EDGE;
    }
    return GL_REPEAT;
}

// Whether a stage's colour operation reads its texture through an argument it uses.
bool StageReadsTexture(DWORD op, DWORD arg1, DWORD arg2) {
    const bool usesArg1 = op != D3DTOP_SELECTARG2;
    const bool usesArg2 = op != D3DTOP_SELECTARG1;
    return (usesArg1 && (arg1 & D3DTA_SELECTMASK) == D3DTA_TEXTURE) ||
           (usesArg2 && (arg2 & D3DTA_SELECTMASK) == D3DTA_TEXTURE);
}

}  // namespace

// ---------------------------------------------------------------------------
// What the state asks of the shaders

int GLDevice::EvaluatedStages(int colour[][4], int alpha[][4]) const {
    int count = 0;
    for (int s = 0; s < kShaderStages; ++s) {
        const auto& st = stageStates_[s];
        if (st[D3DTSS_COLOROP] == D3DTOP_DISABLE) break;
        // A stage that reads a missing texture ends the cascade: the colour so far passes through.
        if (!textures_[s] && StageReadsTexture(st[D3DTSS_COLOROP], st[D3DTSS_COLORARG1], st[D3DTSS_COLORARG2])) break;
        colour[s][0] = static_cast<int>(st[D3DTSS_COLOROP]);
        colour[s][1] = static_cast<int>(st[D3DTSS_COLORARG1]);
        colour[s][2] = static_cast<int>(st[D3DTSS_COLORARG2]);
        colour[s][3] = static_cast<int>(st[D3DTSS_TEXCOORDINDEX] & D3DTSS_TCI_INDEXMASK);
        alpha[s][0] = static_cast<int>(st[D3DTSS_ALPHAOP]);
        alpha[s][1] = static_cast<int>(st[D3DTSS_ALPHAARG1]);
        alpha[s][2] = static_cast<int>(st[D3DTSS_ALPHAARG2]);
        ++count;
    }
    return count;
}

int GLDevice::FogMode() const {
    const auto& r = renderStates_;
    if (!r[D3DRS_FOGENABLE]) return kFogOff;
    // Table (pixel) fog is evaluated per vertex like vertex fog.
    const DWORD fog = r[D3DRS_FOGTABLEMODE] != D3DFOG_NONE ? r[D3DRS_FOGTABLEMODE] : r[D3DRS_FOGVERTEXMODE];
    switch (fog) {
        case D3DFOG_EXP: return kFogExp;
        case D3DFOG_EXP2: return kFogExp2;
        case D3DFOG_LINEAR: return kFogLinear;
    }
    return kFogFromSpecularAlpha;
}

void GLDevice::AlphaTest(DWORD& func, DWORD& reference) const {
    const auto& r = renderStates_;
    func = r[D3DRS_ALPHATESTENABLE] ? r[D3DRS_ALPHAFUNC] : D3DCMP_ALWAYS;
    reference = r[D3DRS_ALPHAREF] & 0xFF;
    // Under SRCALPHA/INVSRCALPHA blending a texel of alpha 0 leaves the colour
    // as it was; dropping it keeps it from writing depth too, so the keyed-out
    // parts of cut-out cards do not hide what is drawn behind them later.
    if (!r[D3DRS_ALPHATESTENABLE] && r[D3DRS_ALPHABLENDENABLE] && r[D3DRS_SRCBLEND] == D3DBLEND_SRCALPHA &&
        r[D3DRS_DESTBLEND] == D3DBLEND_INVSRCALPHA && r[D3DRS_BLENDOP] == D3DBLENDOP_ADD) {
        func = D3DCMP_GREATER;
        reference = 0;
    }
}

int32_t GLDevice::VertexFlags() const {
    VertexLayout layout;
    DecodeVertexFormat(fvf_, layout);
    // A point batch carries each point's size after its vertex.
    return (layout.pretransformed ? kVertexPretransformed : 0) | (layout.normal >= 0 ? kVertexNormal : 0) |
           (layout.diffuse >= 0 ? kVertexDiffuse : 0) | (layout.specular >= 0 ? kVertexSpecular : 0) |
           (layout.pointSize >= 0 || batchingPoints_ ? kVertexPointSize : 0);
}

ShaderVariant GLDevice::CurrentVariant(bool points) const {
    ShaderVariant v;
    v.fvf = VertexFlags();
    const auto& r = renderStates_;
    v.lighting = r[D3DRS_LIGHTING] != 0;
    v.fogMode = FogMode();
    v.pointScale = r[D3DRS_POINTSCALEENABLE] != 0;
    v.pointSprite = points && r[D3DRS_POINTSPRITEENABLE] != 0;
    v.specularAdd = r[D3DRS_SPECULARENABLE] != 0;
    DWORD func = D3DCMP_ALWAYS, reference = 0;
    AlphaTest(func, reference);
    v.alphaFunc = static_cast<int32_t>(func);
    int colour[kShaderStages][4] = {}, alpha[kShaderStages][4] = {};
    v.stageCount = EvaluatedStages(colour, alpha);
    for (int s = 0; s < v.stageCount; ++s) {
        for (int k = 0; k < 4; ++k) {
            v.colour[static_cast<size_t>(s)][static_cast<size_t>(k)] = colour[s][k];
            v.alpha[static_cast<size_t>(s)][static_cast<size_t>(k)] = alpha[s][k];
        }
    }
    return v;
}

void GLDevice::SelectProgram(bool points) {
    const ShaderVariant variant = CurrentVariant(points);
    if (variantKnown_ && variant == variant_) return;
    variant_ = variant;
    variantKnown_ = true;
    size_t chosen = 0;
    for (size_t i = 1; i < programs_.size(); ++i) {
        if (programs_[i].variant == variant) {
            chosen = i;
            break;
        }
    }
    if (chosen == program_) return;
    program_ = chosen;
    glUseProgram(programs_[chosen].name);
    uniforms_ = &programs_[chosen].uniforms;
    // Uniforms belong to each program: the new one gets them all.
    dirty_ |= kDirtyUniforms;
    shaderFvf_ = -1;
    boundPointSprite_ = -1;
}

// ---------------------------------------------------------------------------
// Mirroring state into GL

void GLDevice::FlushState(bool points) {
    struct Flush {
        uint32_t bit;
        void (GLDevice::*flush)();
    };
    static constexpr Flush kFlushes[] = {
#define VELMORA_FLUSH_ROW(name, flush, uniforms) {kDirty##name, &GLDevice::flush},
        VELMORA_DEVICE_FLUSHES(VELMORA_FLUSH_ROW)
#undef VELMORA_FLUSH_ROW
    };
    SelectProgram(points);
    for (const Flush& step : kFlushes)
        if (dirty_ & step.bit) (this->*step.flush)();
    dirty_ = 0;

    const ShaderUniforms& u = *uniforms_;
    const int flags = VertexFlags();
    if (flags != shaderFvf_) {
        glUniform1i(u.fvf, flags);
        shaderFvf_ = flags;
    }
    const int sprite = points && renderStates_[D3DRS_POINTSPRITEENABLE] != 0;
    if (sprite != boundPointSprite_) {
        glUniform1i(u.pointSprite, sprite);
        boundPointSprite_ = sprite;
    }
}

void GLDevice::FlushBlend() {
    const auto& r = renderStates_;
    if (!r[D3DRS_ALPHABLENDENABLE]) {
        glDisable(GL_BLEND);
        return;
    }
    glEnable(GL_BLEND);
    GLenum src = BlendFactor(r[D3DRS_SRCBLEND]), dst = BlendFactor(r[D3DRS_DESTBLEND]);
    if (r[D3DRS_SRCBLEND] == D3DBLEND_BOTHSRCALPHA) {
        src = GL_SRC_ALPHA;
        dst = GL_ONE_MINUS_SRC_ALPHA;
    } else if (r[D3DRS_SRCBLEND] == D3DBLEND_BOTHINVSRCALPHA) {
        src = GL_ONE_MINUS_SRC_ALPHA;
        dst = GL_SRC_ALPHA;
    }
    glBlendFunc(src, dst);
    glBlendEquation(BlendOperation(r[D3DRS_BLENDOP]));
}

void GLDevice::FlushDepth() {
    const auto& r = renderStates_;
    if (r[D3DRS_ZENABLE] == D3DZB_FALSE || depthBuffer_ == 0) {
        glDisable(GL_DEPTH_TEST);
        return;
    }
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(CompareFunction(r[D3DRS_ZFUNC]));
    glDepthMask(r[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
}

void GLDevice::FlushCull() {
    // Rows are stored top first, so GL's counter-clockwise is Direct3D's clockwise
    // on screen: D3DCULL_CCW keeps GL's CCW faces as front faces.
    switch (renderStates_[D3DRS_CULLMODE]) {
        case D3DCULL_CW:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CW);
            glCullFace(GL_BACK);
            break;
        case D3DCULL_CCW:
            glEnable(GL_CULL_FACE);
            glFrontFace(GL_CCW);
            glCullFace(GL_BACK);
            break;
        default: glDisable(GL_CULL_FACE); break;
    }
}

void GLDevice::FlushColorMask() {
    // The back buffer has no alpha (X8R8G8B8): its alpha stays 1.
    const DWORD mask = renderStates_[D3DRS_COLORWRITEENABLE];
    glColorMask((mask & D3DCOLORWRITEENABLE_RED) != 0, (mask & D3DCOLORWRITEENABLE_GREEN) != 0,
                (mask & D3DCOLORWRITEENABLE_BLUE) != 0, GL_FALSE);
}

void GLDevice::FlushFillMode() {
    switch (renderStates_[D3DRS_FILLMODE]) {
        case D3DFILL_POINT: glPolygonMode(GL_FRONT_AND_BACK, GL_POINT); break;
        case D3DFILL_WIREFRAME: glPolygonMode(GL_FRONT_AND_BACK, GL_LINE); break;
        default: glPolygonMode(GL_FRONT_AND_BACK, GL_FILL); break;
    }
}

void GLDevice::FlushTransforms() {
    const ShaderUniforms& u = *uniforms_;
    const D3DMATRIX worldView = MatrixProduct(world_, view_);
    glUniformMatrix4fv(u.worldView, 1, GL_FALSE, &worldView.m[0][0]);
    glUniformMatrix4fv(u.proj, 1, GL_FALSE, &projection_.m[0][0]);
    float normal[9];
    NormalMatrix(worldView, normal);
    glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, normal);
}

void GLDevice::FlushLights() {
    float diffuse[kShaderLights][4], specular[kShaderLights][4], ambient[kShaderLights][4];
    float position[kShaderLights][4], direction[kShaderLights][4], attenuation[kShaderLights][4];
    float spot[kShaderLights][2];
    int count = 0;
    for (const Light& light : lights_) {
        if (count == kShaderLights) break;
        const D3DLIGHT8& l = light.record;
        if (!light.enabled || l.Type < D3DLIGHT_POINT || l.Type > D3DLIGHT_DIRECTIONAL) continue;
        const D3DCOLORVALUE* colours[3] = {&l.Diffuse, &l.Specular, &l.Ambient};
        float(*targets[3])[4] = {diffuse, specular, ambient};
        for (int k = 0; k < 3; ++k) {
            targets[k][count][0] = colours[k]->r;
            targets[k][count][1] = colours[k]->g;
            targets[k][count][2] = colours[k]->b;
            targets[k][count][3] = colours[k]->a;
        }
        const D3DVECTOR p = TransformPoint(l.Position, view_);
        D3DVECTOR d = TransformDirection(l.Direction, view_);
        const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        if (length > 0.0f) d = {d.x / length, d.y / length, d.z / length};
        position[count][0] = p.x;
        position[count][1] = p.y;
        position[count][2] = p.z;
        position[count][3] = static_cast<float>(l.Type);
        direction[count][0] = d.x;
        direction[count][1] = d.y;
        direction[count][2] = d.z;
        direction[count][3] = l.Range;
        attenuation[count][0] = l.Attenuation0;
        attenuation[count][1] = l.Attenuation1;
        attenuation[count][2] = l.Attenuation2;
        attenuation[count][3] = l.Falloff;
        spot[count][0] = std::cos(l.Theta / 2.0f);
        spot[count][1] = std::cos(l.Phi / 2.0f);
        ++count;
    }
    const ShaderUniforms& u = *uniforms_;
    glUniform1i(u.lightCount, count);
    if (count == 0) return;
    glUniform4fv(u.lightDiffuse, count, &diffuse[0][0]);
    glUniform4fv(u.lightSpecular, count, &specular[0][0]);
    glUniform4fv(u.lightAmbient, count, &ambient[0][0]);
    glUniform4fv(u.lightPosition, count, &position[0][0]);
    glUniform4fv(u.lightDirection, count, &direction[0][0]);
    glUniform4fv(u.lightAttenuation, count, &attenuation[0][0]);
    glUniform2fv(u.lightSpot, count, &spot[0][0]);
}

void GLDevice::FlushLightingSwitches() {
    const ShaderUniforms& u = *uniforms_;
    const auto& r = renderStates_;
    glUniform4i(u.lightFlags, r[D3DRS_LIGHTING] != 0, r[D3DRS_NORMALIZENORMALS] != 0, r[D3DRS_LOCALVIEWER] != 0,
                r[D3DRS_SPECULARENABLE] != 0);
    const bool vertexColour = r[D3DRS_COLORVERTEX] != 0;
    // Without vertex colour every colour comes from the material; an unknown source reads the material too.
    auto source = [&](DWORD state) {
        return vertexColour ? static_cast<GLint>(std::min<DWORD>(r[state], D3DMCS_COLOR2 + 1)) : GLint{0};
    };
    glUniform4i(u.materialSource, source(D3DRS_DIFFUSEMATERIALSOURCE), source(D3DRS_SPECULARMATERIALSOURCE),
                source(D3DRS_AMBIENTMATERIALSOURCE), source(D3DRS_EMISSIVEMATERIALSOURCE));
    const D3DCOLORVALUE ambient = ColourValue(r[D3DRS_AMBIENT]);
    glUniform3f(u.globalAmbient, ambient.r, ambient.g, ambient.b);
    glUniform1i(u.specularAdd, r[D3DRS_SPECULARENABLE] != 0);
}

void GLDevice::FlushMaterial() {
    const ShaderUniforms& u = *uniforms_;
    const D3DCOLORVALUE colours[4] = {material_.Diffuse, material_.Ambient, material_.Specular, material_.Emissive};
    glUniform4fv(u.material, 4, &colours[0].r);
    glUniform1f(u.materialPower, material_.Power);
}

void GLDevice::FlushFog() {
    const ShaderUniforms& u = *uniforms_;
    const auto& r = renderStates_;
    glUniform1i(u.fogMode, FogMode());
    glUniform4f(u.fogParams, RenderStateFloat(D3DRS_FOGSTART), RenderStateFloat(D3DRS_FOGEND),
                RenderStateFloat(D3DRS_FOGDENSITY), r[D3DRS_RANGEFOGENABLE] != 0 ? 1.0f : 0.0f);
    const D3DCOLORVALUE colour = ColourValue(r[D3DRS_FOGCOLOR]);
    glUniform3f(u.fogColour, colour.r, colour.g, colour.b);
}

void GLDevice::FlushPoints() {
    const ShaderUniforms& u = *uniforms_;
    glUniform4f(u.point, RenderStateFloat(D3DRS_POINTSIZE), RenderStateFloat(D3DRS_POINTSIZE_MIN),
                RenderStateFloat(D3DRS_POINTSIZE_MAX),
                renderStates_[D3DRS_POINTSCALEENABLE] != 0 ? 1.0f : 0.0f);
    glUniform3f(u.pointScale, RenderStateFloat(D3DRS_POINTSCALE_A), RenderStateFloat(D3DRS_POINTSCALE_B),
                RenderStateFloat(D3DRS_POINTSCALE_C));
}

void GLDevice::FlushStages() {
    const ShaderUniforms& u = *uniforms_;
    GLint colour[kShaderStages][4] = {}, alpha[kShaderStages][4] = {};
    const int count = EvaluatedStages(colour, alpha);
    glUniform1i(u.stageCount, count);
    glUniform4iv(u.stageColour, kShaderStages, &colour[0][0]);
    glUniform4iv(u.stageAlpha, kShaderStages, &alpha[0][0]);
    const D3DCOLORVALUE factor = ColourValue(renderStates_[D3DRS_TEXTUREFACTOR]);
    glUniform4fv(u.textureFactor, 1, &factor.r);
    for (int s = 0; s < kShaderStages; ++s) {
        const auto* texture = static_cast<const GLTexture*>(textures_[s]);
        const unsigned name = texture ? texture->Name() : 0;
        if (boundTextures_[s] != name) {
            glActiveTexture(GL_TEXTURE0 + static_cast<GLenum>(s));
            glBindTexture(GL_TEXTURE_2D, name);
            boundTextures_[s] = name;
        }
    }
}

void GLDevice::FlushSampler(int stage) {
    const auto& st = stageStates_[stage];
    const GLuint sampler = samplers_[stage];
    const bool linearMin = st[D3DTSS_MINFILTER] >= D3DTEXF_LINEAR;
    GLenum minFilter = linearMin ? GL_LINEAR : GL_NEAREST;
    // Without a mip filter only the top level is sampled, even when a chain exists.
    if (st[D3DTSS_MIPFILTER] == D3DTEXF_POINT) minFilter = linearMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
    if (st[D3DTSS_MIPFILTER] >= D3DTEXF_LINEAR) minFilter = linearMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
    glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
    glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, st[D3DTSS_MAGFILTER] >= D3DTEXF_LINEAR ? GL_LINEAR : GL_NEAREST);
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(st[D3DTSS_ADDRESSU])));
    glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(st[D3DTSS_ADDRESSV])));
}

void GLDevice::FlushAlphaTest() {
    DWORD func = D3DCMP_ALWAYS, reference = 0;
    AlphaTest(func, reference);
    glUniform2i(uniforms_->alphaTest, static_cast<GLint>(func), static_cast<GLint>(reference));
}

void GLDevice::FlushScreen() {
    glUniform4f(uniforms_->screen, static_cast<float>(config_.width), static_cast<float>(config_.height),
                renderStates_[D3DRS_ZENABLE] != 0 ? 1.0f : 0.0f, clipControl_ ? 1.0f : 0.0f);
    glUniform3f(uniforms_->picture, static_cast<float>(picture_.width), static_cast<float>(picture_.height),
                maxPointSize_);
}
