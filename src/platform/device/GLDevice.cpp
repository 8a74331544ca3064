#include "platform/device/GLDevice.h"

#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string>

#include "common/Errors.h"
#include "platform/device/GLResources.h"
#include "platform/device/GLShaders.h"
#include "platform/device/VertexFormat.h"
#include "platform/system/HeapCount.h"

namespace {

enum DirtyBits : uint32_t {
    kDirtyBlend = 1u << 0,
    kDirtyDepth = 1u << 1,
    kDirtyCull = 1u << 2,
    kDirtyColorMask = 1u << 3,
    kDirtyFill = 1u << 4,
    kDirtyTransforms = 1u << 5,
    kDirtyLights = 1u << 6,
    kDirtyMaterial = 1u << 7,
    kDirtyFog = 1u << 8,
    kDirtyPoints = 1u << 9,
    kDirtyStages = 1u << 10,
    kDirtySampler0 = 1u << 11,
    kDirtySampler1 = 1u << 12,
    kDirtyAlphaTest = 1u << 13,
    kDirtyScreen = 1u << 14,
};

constexpr D3DMATRIX kIdentity = {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}};
constexpr DWORD kMaxLights = 1024;
constexpr size_t kInitialStreamBytes = 256u << 10;
constexpr size_t kMaxDrawBytes = 256u << 20;
constexpr unsigned kNoName = 0xFFFFFFFFu;
constexpr uint32_t kMaxBatchedPoints = 4096;
constexpr UINT kMaxBatchedStride = 252;

// Render and stage state numbers this file uses beyond D3D8Types.h.
constexpr DWORD kRsLastPixel = 16, kRsClipping = 136, kRsStencilFail = 53, kRsStencilZFail = 54,
                kRsStencilPass = 55, kRsStencilFunc = 56, kRsStencilMask = 58, kRsStencilWriteMask = 59,
                kRsMultisampleAntialias = 161, kRsMultisampleMask = 162, kRsPatchSegments = 164;
constexpr DWORD kTssAddressW = 25, kTssMaxAnisotropy = 21, kTssColorArg0 = 26, kTssAlphaArg0 = 27,
                kTssResultArg = 28;

DWORD FloatBits(float f) {
    DWORD d;
    std::memcpy(&d, &f, sizeof d);
    return d;
}

GLenum BlendFactor(DWORD value) {
    switch (value) {
        case 1: return GL_ZERO;
        case 2: return GL_ONE;
        case 3: return GL_SRC_COLOR;
        case 4: return GL_ONE_MINUS_SRC_COLOR;
        case 5: return GL_SRC_ALPHA;
        case 6: return GL_ONE_MINUS_SRC_ALPHA;
        case 7: return GL_DST_ALPHA;
        case 8: return GL_ONE_MINUS_DST_ALPHA;
        case 9: return GL_DST_COLOR;
        case 10: return GL_ONE_MINUS_DST_COLOR;
        case 11: return GL_SRC_ALPHA_SATURATE;
    }
    return GL_ONE;
}

GLenum BlendOperation(DWORD value) {
    switch (value) {
        case 2: return GL_FUNC_SUBTRACT;
        case 3: return GL_FUNC_REVERSE_SUBTRACT;
        case 4: return GL_MIN;
        case 5: return GL_MAX;
    }
    return GL_FUNC_ADD;
}

GLenum CompareFunction(DWORD value) {
    switch (value) {
        case 1: return GL_NEVER;
        case 2: return GL_LESS;
        case 3: return GL_EQUAL;
        case 4: return GL_LEQUAL;
        case 5: return GL_GREATER;
        case 6: return GL_NOTEQUAL;
        case 7: return GL_GEQUAL;
    }
    return GL_ALWAYS;
}

GLenum AddressMode(DWORD value) {
    switch (value) {
        case 2: return GL_MIRRORED_REPEAT;
        case 3: return GL_CLAMP_TO_EDGE;
        case 4: return GL_CLAMP_TO_BORDER;
        case 5: return GL_CLAMP_TO_EDGE;
    }
    return GL_REPEAT;
}

GLenum PrimitiveMode(D3DPRIMITIVETYPE type) {
    switch (type) {
        case D3DPT_POINTLIST: return GL_POINTS;
        case D3DPT_LINELIST: return GL_LINES;
        case D3DPT_LINESTRIP: return GL_LINE_STRIP;
        case D3DPT_TRIANGLELIST: return GL_TRIANGLES;
        case D3DPT_TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case D3DPT_TRIANGLEFAN: return GL_TRIANGLE_FAN;
    }
    return GL_TRIANGLES;
}

// Whether a stage's colour operation reads its texture through an argument it uses.
bool StageReadsTexture(DWORD op, DWORD arg1, DWORD arg2) {
    const bool usesArg1 = op != D3DTOP_SELECTARG2;
    const bool usesArg2 = op != D3DTOP_SELECTARG1;
    return (usesArg1 && (arg1 & 0xF) == D3DTA_TEXTURE) || (usesArg2 && (arg2 & 0xF) == D3DTA_TEXTURE);
}

void ColourValue(D3DCOLOR c, float out[4]) {
    out[0] = static_cast<float>((c >> 16) & 0xFF) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 0xFF) / 255.0f;
    out[2] = static_cast<float>(c & 0xFF) / 255.0f;
    out[3] = static_cast<float>((c >> 24) & 0xFF) / 255.0f;
}

D3DVECTOR TransformVector(const D3DVECTOR& v, const D3DMATRIX& m, float w) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + w * m.m[3][0],
            v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + w * m.m[3][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + w * m.m[3][2]};
}

D3DMATRIX Multiply(const D3DMATRIX& a, const D3DMATRIX& b) {
    D3DMATRIX r{};
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] + a.m[i][3] * b.m[3][j];
    return r;
}

GLuint CompileShader(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    GLint ok = 0;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(shader, sizeof log, nullptr, log);
        glDeleteShader(shader);
        throw ResultError(D3DERR_DRIVERINTERNALERROR, std::string("fixed-function shader does not compile: ") + log);
    }
    return shader;
}

}  // namespace

struct GLDevice::Uniforms {
    GLint worldView, proj, normalMatrix, fvf, lightFlags, materialSource, material, materialPower, globalAmbient,
        lightCount, lightDiffuse, lightSpecular, lightAmbient, lightPosition, lightDirection, lightAttenuation,
        lightSpot, fogMode, fogParams, point, pointScale, screen, stageCount, stageColour, stageAlpha,
        textureFactor, pointSprite, alphaTest, fogColour, specularAdd;
};

struct GLDevice::Program {
    GLuint name = 0;
    bool general = false;
    ShaderVariant variant;
    Uniforms uniforms{};
};

// ---------------------------------------------------------------------------
// Creation and destruction

GLDevice::GLDevice(const GLDeviceConfig& config)
    : config_(config), shared_(std::make_shared<GLDeviceShared>()) {
    shared_->device = this;
    try {
        CreateContext();
        CreateTargets();
        CreatePrograms();
        CreateStream();
        ApplyDefaultState();
    } catch (...) {
        Release();
        throw;
    }
}

GLDevice::~GLDevice() { Release(); }

void GLDevice::ThrottleFrames() {
    if (frameFence_ != nullptr) {
        const auto fence = static_cast<GLsync>(frameFence_);
        while (glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(fence);
    }
    frameFence_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}

void GLDevice::Release() {
    shared_->device = nullptr;
    if (!context_) return;
    SDL_GL_MakeCurrent(config_.window, static_cast<SDL_GLContext>(context_));
    if (frameFence_ != nullptr) glDeleteSync(static_cast<GLsync>(frameFence_));
    glDeleteSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
    glDeleteBuffers(1, &streamBuffer_);
    if (packBuffers_[0] != 0) glDeleteBuffers(2, packBuffers_);
    glDeleteVertexArrays(1, &streamArray_);
    for (const Program& program : programs_) glDeleteProgram(program.name);
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteFramebuffers(1, &resolveFramebuffer_);
    glDeleteRenderbuffers(1, &colorBuffer_);
    glDeleteRenderbuffers(1, &depthBuffer_);
    glDeleteRenderbuffers(1, &resolveColorBuffer_);
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
    context_ = nullptr;
}

void GLDevice::CreateContext() {
    if (!config_.window) throw ResultError(D3DERR_INVALIDCALL, "no window to create the device on");
    if (config_.width == 0 || config_.height == 0 || config_.width > 16384 || config_.height > 16384)
        throw ResultError(D3DERR_INVALIDCALL, "back buffer size out of range");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(config_.window);
    if (!context)
        throw ResultError(D3DERR_NOTAVAILABLE, std::string("cannot create an OpenGL 3.3 core context: ") + SDL_GetError());
    context_ = context;
    if (SDL_GL_MakeCurrent(config_.window, context) != 0)
        throw ResultError(D3DERR_NOTAVAILABLE, std::string("cannot make the OpenGL context current: ") + SDL_GetError());
    if (epoxy_gl_version() < 33) throw ResultError(D3DERR_NOTAVAILABLE, "OpenGL 3.3 is not available");
    // A failing swap interval only means no vertical sync; drawing still works.
    SDL_GL_SetSwapInterval(config_.vsync ? 1 : 0);
    clipControl_ = config_.allowClipControl &&
                   (epoxy_gl_version() >= 45 || epoxy_has_gl_extension("GL_ARB_clip_control"));
    if (clipControl_) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    textureStorage_ = epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_texture_storage");
    GLfloat range[2] = {1.0f, 64.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    maxPointSize_ = range[1];
}

void GLDevice::CreateTargets() {
    GLenum depthFormat = GL_NONE;
    switch (config_.depthFormat) {
        case 0: break;
        case D3DFMT_D24S8: depthFormat = GL_DEPTH24_STENCIL8; hasStencil_ = true; break;
        case 77: depthFormat = GL_DEPTH_COMPONENT24; break;  // D24X8
        case 80: depthFormat = GL_DEPTH_COMPONENT16; break;  // D16
        case 71: depthFormat = GL_DEPTH_COMPONENT32; break;  // D32
        default: throw ResultError(D3DERR_NOTAVAILABLE, "depth format not supported");
    }
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    const GLsizei samples = config_.samples > 1 ? std::min<GLsizei>(config_.samples, maxSamples) : 0;
    const auto width = static_cast<GLsizei>(config_.width), height = static_cast<GLsizei>(config_.height);

    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glGenRenderbuffers(1, &colorBuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, GL_RGBA8, width, height);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    if (depthFormat != GL_NONE) {
        glGenRenderbuffers(1, &depthBuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, depthBuffer_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, samples, depthFormat, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, hasStencil_ ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
                                  GL_RENDERBUFFER, depthBuffer_);
    }
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
        throw ResultError(D3DERR_OUTOFVIDEOMEMORY, "cannot create the back buffer");
    if (samples > 0) {
        glGenFramebuffers(1, &resolveFramebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer_);
        glGenRenderbuffers(1, &resolveColorBuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, resolveColorBuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolveColorBuffer_);
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            throw ResultError(D3DERR_OUTOFVIDEOMEMORY, "cannot create the resolve buffer");
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glViewport(0, 0, width, height);
    glScissor(0, 0, width, height);
    glEnable(GL_SCISSOR_TEST);
    glDisable(GL_DITHER);
    glEnable(GL_PROGRAM_POINT_SIZE);
    glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    // The back buffer starts opaque black with depth 1, as after a clear.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | (depthFormat != GL_NONE ? GL_DEPTH_BUFFER_BIT : 0u) |
            (hasStencil_ ? GL_STENCIL_BUFFER_BIT : 0u));
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    pointBatch_.resize(size_t{kMaxBatchedPoints} * (kMaxBatchedStride + sizeof(float)));
}

void GLDevice::CreatePrograms() {
    programs_.push_back(CreateProgram(nullptr));
    for (const ShaderVariant& variant : kPrecompiledVariants) programs_.push_back(CreateProgram(&variant));
    program_ = 0;
    glUseProgram(programs_[0].name);
    uniforms_ = &programs_[0].uniforms;
}

GLDevice::Program GLDevice::CreateProgram(const ShaderVariant* variant) {
    const std::string vertexSource = ShaderSource(kFixedFunctionVertexShader, variant);
    const std::string fragmentSource = ShaderSource(kFixedFunctionFragmentShader, variant);
    const GLuint vs = CompileShader(GL_VERTEX_SHADER, vertexSource.c_str());
    GLuint fs = 0;
    try {
        fs = CompileShader(GL_FRAGMENT_SHADER, fragmentSource.c_str());
    } catch (...) {
        glDeleteShader(vs);
        throw;
    }
    Program program;
    program.general = variant == nullptr;
    if (variant) program.variant = *variant;
    program.name = glCreateProgram();
    const GLuint name = program.name;
    glAttachShader(name, vs);
    glAttachShader(name, fs);
    glBindFragDataLocation(name, 0, "fragColour");
    glLinkProgram(name);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint ok = 0;
    glGetProgramiv(name, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(name, sizeof log, nullptr, log);
        glDeleteProgram(name);
        throw ResultError(D3DERR_DRIVERINTERNALERROR, std::string("fixed-function program does not link: ") + log);
    }
    glUseProgram(name);
    Uniforms& u = program.uniforms;
    auto at = [name](const char* uniform) { return glGetUniformLocation(name, uniform); };
    u.worldView = at("uWorldView");
    u.proj = at("uProj");
    u.normalMatrix = at("uNormalMatrix");
    u.fvf = at("uFvf");
    u.lightFlags = at("uLightFlags");
    u.materialSource = at("uMaterialSource");
    u.material = at("uMaterial");
    u.materialPower = at("uMaterialPower");
    u.globalAmbient = at("uGlobalAmbient");
    u.lightCount = at("uLightCount");
    u.lightDiffuse = at("uLightDiffuse");
    u.lightSpecular = at("uLightSpecular");
    u.lightAmbient = at("uLightAmbient");
    u.lightPosition = at("uLightPosition");
    u.lightDirection = at("uLightDirection");
    u.lightAttenuation = at("uLightAttenuation");
    u.lightSpot = at("uLightSpot");
    u.fogMode = at("uFogMode");
    u.fogParams = at("uFogParams");
    u.point = at("uPoint");
    u.pointScale = at("uPointScale");
    u.screen = at("uScreen");
    u.stageCount = at("uStageCount");
    u.stageColour = at("uStageColour");
    u.stageAlpha = at("uStageAlpha");
    u.textureFactor = at("uTextureFactor");
    u.pointSprite = at("uPointSprite");
    u.alphaTest = at("uAlphaTest");
    u.fogColour = at("uFogColour");
    u.specularAdd = at("uSpecularAdd");
    glUniform1i(at("uTexture0"), 0);
    glUniform1i(at("uTexture1"), 1);
    return program;
}

void GLDevice::CreateStream() {
    glGenVertexArrays(1, &streamArray_);
    glBindVertexArray(streamArray_);
    boundArray_ = streamArray_;
    glGenBuffers(1, &streamBuffer_);
    glBindBuffer(GL_ARRAY_BUFFER, streamBuffer_);
    streamSize_ = kInitialStreamBytes;
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(streamSize_), nullptr, GL_STREAM_DRAW);
    // Components a vertex format lacks read these constants: white diffuse,
    // black specular and a zero normal, which lights nothing.
    glVertexAttrib3f(kAttribNormal, 0.0f, 0.0f, 0.0f);
    glVertexAttrib4f(kAttribDiffuse, 1.0f, 1.0f, 1.0f, 1.0f);
    glVertexAttrib4f(kAttribSpecular, 0.0f, 0.0f, 0.0f, 0.0f);
    glVertexAttrib4f(kAttribTex0, 0.0f, 0.0f, 0.0f, 1.0f);
    glVertexAttrib4f(kAttribTex1, 0.0f, 0.0f, 0.0f, 1.0f);
    glVertexAttrib1f(kAttribPointSize, 1.0f);
    glGenSamplers(static_cast<GLsizei>(samplers_.size()), samplers_.data());
    for (size_t i = 0; i < samplers_.size(); ++i) glBindSampler(static_cast<GLuint>(i), samplers_[i]);
    boundTextures_.fill(kNoName);
}

void GLDevice::ApplyDefaultState() {
    renderStates_.fill(0);
    auto rs = [this](DWORD state, DWORD value) { renderStates_[state] = value; };
    rs(D3DRS_ZENABLE, config_.depthFormat != 0 ? D3DZB_TRUE : D3DZB_FALSE);
    rs(D3DRS_FILLMODE, 3);
    rs(D3DRS_SHADEMODE, 2);
    rs(D3DRS_ZWRITEENABLE, 1);
    rs(kRsLastPixel, 1);
    rs(D3DRS_SRCBLEND, D3DBLEND_ONE);
    rs(D3DRS_DESTBLEND, D3DBLEND_ZERO);
    rs(D3DRS_CULLMODE, D3DCULL_CCW);
    rs(D3DRS_ZFUNC, 4);
    rs(D3DRS_ALPHAFUNC, 8);
    rs(D3DRS_FOGEND, FloatBits(1.0f));
    rs(D3DRS_FOGDENSITY, FloatBits(1.0f));
    rs(kRsStencilFail, 1);
    rs(kRsStencilZFail, 1);
    rs(kRsStencilPass, 1);
    rs(kRsStencilFunc, 8);
    rs(kRsStencilMask, 0xFFFFFFFFu);
    rs(kRsStencilWriteMask, 0xFFFFFFFFu);
    rs(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
    rs(kRsClipping, 1);
    rs(D3DRS_LIGHTING, 1);
    rs(D3DRS_COLORVERTEX, 1);
    rs(D3DRS_LOCALVIEWER, 1);
    rs(D3DRS_DIFFUSEMATERIALSOURCE, 1);
    rs(D3DRS_SPECULARMATERIALSOURCE, 2);
    rs(D3DRS_POINTSIZE, FloatBits(1.0f));
    rs(D3DRS_POINTSIZE_MIN, FloatBits(0.0f));
    rs(D3DRS_POINTSCALE_A, FloatBits(1.0f));
    rs(kRsMultisampleAntialias, 1);
    rs(kRsMultisampleMask, 0xFFFFFFFFu);
    rs(kRsPatchSegments, FloatBits(1.0f));
    rs(D3DRS_POINTSIZE_MAX, FloatBits(maxPointSize_));
    rs(D3DRS_COLORWRITEENABLE, 0xF);
    rs(D3DRS_BLENDOP, 1);

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
        st[kTssAddressW] = D3DTADDRESS_WRAP;
        st[D3DTSS_MAGFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MINFILTER] = D3DTEXF_POINT;
        st[D3DTSS_MIPFILTER] = D3DTEXF_NONE;
        st[kTssMaxAnisotropy] = 1;
        st[kTssColorArg0] = D3DTA_CURRENT;
        st[kTssAlphaArg0] = D3DTA_CURRENT;
        st[kTssResultArg] = D3DTA_CURRENT;
    }
    world_ = view_ = projection_ = kIdentity;
    material_ = D3DMATERIAL8{};
    dirty_ = ~0u;
}

// ---------------------------------------------------------------------------
// State

void GLDevice::MarkRenderStateDirty(DWORD state) {
    switch (state) {
        case D3DRS_ZENABLE: dirty_ |= kDirtyDepth | kDirtyScreen; break;
        case D3DRS_ZWRITEENABLE:
        case D3DRS_ZFUNC: dirty_ |= kDirtyDepth; break;
        case D3DRS_ALPHABLENDENABLE:
        case D3DRS_SRCBLEND:
        case D3DRS_DESTBLEND:
        case D3DRS_BLENDOP: dirty_ |= kDirtyBlend | kDirtyAlphaTest; break;
        case D3DRS_CULLMODE: dirty_ |= kDirtyCull; break;
        case D3DRS_COLORWRITEENABLE: dirty_ |= kDirtyColorMask; break;
        case D3DRS_FILLMODE: dirty_ |= kDirtyFill; break;
        case D3DRS_ALPHATESTENABLE:
        case D3DRS_ALPHAREF:
        case D3DRS_ALPHAFUNC: dirty_ |= kDirtyAlphaTest; break;
        case D3DRS_LIGHTING:
        case D3DRS_AMBIENT:
        case D3DRS_COLORVERTEX:
        case D3DRS_LOCALVIEWER:
        case D3DRS_NORMALIZENORMALS:
        case D3DRS_DIFFUSEMATERIALSOURCE:
        case D3DRS_SPECULARMATERIALSOURCE:
        case D3DRS_AMBIENTMATERIALSOURCE:
        case D3DRS_EMISSIVEMATERIALSOURCE:
        case D3DRS_SPECULARENABLE: dirty_ |= kDirtyMaterial; break;
        case D3DRS_FOGENABLE:
        case D3DRS_FOGCOLOR:
        case D3DRS_FOGTABLEMODE:
        case D3DRS_FOGVERTEXMODE:
        case D3DRS_FOGSTART:
        case D3DRS_FOGEND:
        case D3DRS_FOGDENSITY:
        case D3DRS_RANGEFOGENABLE: dirty_ |= kDirtyFog; break;
        case D3DRS_POINTSIZE:
        case D3DRS_POINTSIZE_MIN:
        case D3DRS_POINTSIZE_MAX:
        case D3DRS_POINTSCALEENABLE:
        case D3DRS_POINTSCALE_A:
        case D3DRS_POINTSCALE_B:
        case D3DRS_POINTSCALE_C: dirty_ |= kDirtyPoints; break;
        case D3DRS_TEXTUREFACTOR: dirty_ |= kDirtyStages; break;
        default: break;  // kept for GetRenderState only
    }
}

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
    }
    // Texture transforms and further world matrices are accepted and unused.
    if ((state >= 16 && state <= 23) || (state > 256 && state < 512)) return D3D_OK;
    return D3DERR_INVALIDCALL;
}

HRESULT GLDevice::GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const {
    if (!matrix) return D3DERR_INVALIDCALL;
    switch (state) {
        case D3DTS_WORLD: *matrix = world_; return D3D_OK;
        case D3DTS_VIEW: *matrix = view_; return D3D_OK;
        case D3DTS_PROJECTION: *matrix = projection_; return D3D_OK;
    }
    if ((state >= 16 && state <= 23) || (state > 256 && state < 512)) {
        *matrix = kIdentity;
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

void GLDevice::ForgetTexture(const GLTexture* texture) {
    // Resources may be released while another device's context is current (tests).
    SDL_GL_MakeCurrent(config_.window, static_cast<SDL_GLContext>(context_));
    for (auto& bound : textures_) {
        if (bound == texture) {
            bound = nullptr;
            dirty_ |= kDirtyStages;
        }
    }
    // GL unbinds a deleted texture; its name may come back for a new one.
    for (auto& name : boundTextures_)
        if (name == texture->Name()) name = kNoName;
}

void GLDevice::ForgetVertexArray(unsigned name) {
    SDL_GL_MakeCurrent(config_.window, static_cast<SDL_GLContext>(context_));
    if (boundArray_ == name) boundArray_ = 0;
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

float GLDevice::RenderStateFloat(DWORD state) const {
    float f;
    std::memcpy(&f, &renderStates_[state], sizeof f);
    return f;
}

// ---------------------------------------------------------------------------
// Mirroring state into GL

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
        colour[s][3] = static_cast<int>(st[D3DTSS_TEXCOORDINDEX] & 0xFFFF);
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
    return fog == 1 ? kFogExp : fog == 2 ? kFogExp2 : fog == D3DFOG_LINEAR ? kFogLinear : kFogFromSpecularAlpha;
}

void GLDevice::AlphaTest(DWORD& func, DWORD& reference) const {
    const auto& r = renderStates_;
    func = r[D3DRS_ALPHATESTENABLE] ? r[D3DRS_ALPHAFUNC] : 8;
    reference = r[D3DRS_ALPHAREF] & 0xFF;
    // Under SRCALPHA/INVSRCALPHA blending a texel of alpha 0 leaves the colour
    // as it was; dropping it keeps it from writing depth too, so the keyed-out
    // parts of cut-out cards do not hide what is drawn behind them later.
    if (!r[D3DRS_ALPHATESTENABLE] && r[D3DRS_ALPHABLENDENABLE] && r[D3DRS_SRCBLEND] == D3DBLEND_SRCALPHA &&
        r[D3DRS_DESTBLEND] == D3DBLEND_INVSRCALPHA && r[D3DRS_BLENDOP] == 1) {
        func = 5;  // greater than
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
    DWORD func = 8, reference = 0;
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
    dirty_ |= kDirtyTransforms | kDirtyLights | kDirtyMaterial | kDirtyFog | kDirtyPoints | kDirtyStages |
              kDirtyAlphaTest | kDirtyScreen;
    shaderFvf_ = -1;
    boundPointSprite_ = -1;
}

void GLDevice::FlushState(bool points) {
    SelectProgram(points);
    const Uniforms& u = *uniforms_;
    if (dirty_ & (kDirtyBlend | kDirtyDepth | kDirtyCull | kDirtyColorMask | kDirtyFill)) FlushRenderTargetsState();
    if (dirty_ & kDirtyTransforms) FlushTransforms();
    if (dirty_ & kDirtyLights) FlushLighting();
    if (dirty_ & kDirtyMaterial) {
        const auto& r = renderStates_;
        glUniform4i(u.lightFlags, r[D3DRS_LIGHTING] != 0, r[D3DRS_NORMALIZENORMALS] != 0, r[D3DRS_LOCALVIEWER] != 0,
                    r[D3DRS_SPECULARENABLE] != 0);
        const bool vertexColour = r[D3DRS_COLORVERTEX] != 0;
        auto source = [&](DWORD state) { return vertexColour ? static_cast<GLint>(std::min<DWORD>(r[state], 3)) : 0; };
        glUniform4i(u.materialSource, source(D3DRS_DIFFUSEMATERIALSOURCE), source(D3DRS_SPECULARMATERIALSOURCE),
                    source(D3DRS_AMBIENTMATERIALSOURCE), source(D3DRS_EMISSIVEMATERIALSOURCE));
        const D3DCOLORVALUE colours[4] = {material_.Diffuse, material_.Ambient, material_.Specular, material_.Emissive};
        glUniform4fv(u.material, 4, &colours[0].r);
        glUniform1f(u.materialPower, material_.Power);
        float ambient[4];
        ColourValue(r[D3DRS_AMBIENT], ambient);
        glUniform3f(u.globalAmbient, ambient[0], ambient[1], ambient[2]);
        glUniform1i(u.specularAdd, r[D3DRS_SPECULARENABLE] != 0);
    }
    if (dirty_ & kDirtyFog) FlushFog();
    if (dirty_ & kDirtyPoints) FlushPoints();
    if (dirty_ & kDirtyStages) FlushStages();
    if (dirty_ & kDirtySampler0) FlushSampler(0);
    if (dirty_ & kDirtySampler1) FlushSampler(1);
    if (dirty_ & kDirtyAlphaTest) {
        DWORD func = 8, reference = 0;
        AlphaTest(func, reference);
        glUniform2i(u.alphaTest, static_cast<GLint>(func), static_cast<GLint>(reference));
    }
    if (dirty_ & kDirtyScreen) {
        glUniform4f(u.screen, static_cast<float>(config_.width), static_cast<float>(config_.height),
                    renderStates_[D3DRS_ZENABLE] != 0 ? 1.0f : 0.0f, clipControl_ ? 1.0f : 0.0f);
    }
    dirty_ = 0;

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

void GLDevice::FlushRenderTargetsState() {
    const auto& r = renderStates_;
    if (dirty_ & kDirtyBlend) {
        if (r[D3DRS_ALPHABLENDENABLE]) {
            glEnable(GL_BLEND);
            GLenum src = BlendFactor(r[D3DRS_SRCBLEND]), dst = BlendFactor(r[D3DRS_DESTBLEND]);
            if (r[D3DRS_SRCBLEND] == 12) {  // BOTHSRCALPHA
                src = GL_SRC_ALPHA;
                dst = GL_ONE_MINUS_SRC_ALPHA;
            } else if (r[D3DRS_SRCBLEND] == 13) {  // BOTHINVSRCALPHA
                src = GL_ONE_MINUS_SRC_ALPHA;
                dst = GL_SRC_ALPHA;
            }
            glBlendFunc(src, dst);
            glBlendEquation(BlendOperation(r[D3DRS_BLENDOP]));
        } else {
            glDisable(GL_BLEND);
        }
    }
    if (dirty_ & kDirtyDepth) {
        if (r[D3DRS_ZENABLE] != D3DZB_FALSE && depthBuffer_ != 0) {
            glEnable(GL_DEPTH_TEST);
            glDepthFunc(CompareFunction(r[D3DRS_ZFUNC]));
            glDepthMask(r[D3DRS_ZWRITEENABLE] ? GL_TRUE : GL_FALSE);
        } else {
            glDisable(GL_DEPTH_TEST);
        }
    }
    if (dirty_ & kDirtyCull) {
        // Rows are stored top first, so GL's counter-clockwise is Direct3D's clockwise
        // on screen: D3DCULL_CCW keeps GL's CCW faces as front faces.
        switch (r[D3DRS_CULLMODE]) {
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
    if (dirty_ & kDirtyColorMask) {
        // The back buffer has no alpha (X8R8G8B8): its alpha stays 1.
        const DWORD mask = r[D3DRS_COLORWRITEENABLE];
        glColorMask((mask & 1) != 0, (mask & 2) != 0, (mask & 4) != 0, GL_FALSE);
    }
    if (dirty_ & kDirtyFill) {
        const DWORD fill = r[D3DRS_FILLMODE];
        glPolygonMode(GL_FRONT_AND_BACK, fill == 1 ? GL_POINT : fill == 2 ? GL_LINE : GL_FILL);
    }
}

void GLDevice::FlushTransforms() {
    const Uniforms& u = *uniforms_;
    const D3DMATRIX worldView = Multiply(world_, view_);
    glUniformMatrix4fv(u.worldView, 1, GL_FALSE, &worldView.m[0][0]);
    glUniformMatrix4fv(u.proj, 1, GL_FALSE, &projection_.m[0][0]);
    float normal[9];
    NormalMatrix(worldView, normal);
    glUniformMatrix3fv(u.normalMatrix, 1, GL_FALSE, normal);
}

void GLDevice::FlushLighting() {
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
        const D3DVECTOR p = TransformVector(l.Position, view_, 1.0f);
        D3DVECTOR d = TransformVector(l.Direction, view_, 0.0f);
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
    const Uniforms& u = *uniforms_;
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

void GLDevice::FlushFog() {
    const Uniforms& u = *uniforms_;
    const auto& r = renderStates_;
    const int mode = FogMode();
    glUniform1i(u.fogMode, mode);
    glUniform4f(u.fogParams, RenderStateFloat(D3DRS_FOGSTART), RenderStateFloat(D3DRS_FOGEND),
                RenderStateFloat(D3DRS_FOGDENSITY), r[D3DRS_RANGEFOGENABLE] != 0 ? 1.0f : 0.0f);
    float colour[4];
    ColourValue(r[D3DRS_FOGCOLOR], colour);
    glUniform3f(u.fogColour, colour[0], colour[1], colour[2]);
}

void GLDevice::FlushPoints() {
    const Uniforms& u = *uniforms_;
    const float maxSize = std::min(RenderStateFloat(D3DRS_POINTSIZE_MAX), maxPointSize_);
    glUniform4f(u.point, RenderStateFloat(D3DRS_POINTSIZE), RenderStateFloat(D3DRS_POINTSIZE_MIN), maxSize,
                renderStates_[D3DRS_POINTSCALEENABLE] != 0 ? 1.0f : 0.0f);
    glUniform3f(u.pointScale, RenderStateFloat(D3DRS_POINTSCALE_A), RenderStateFloat(D3DRS_POINTSCALE_B),
                RenderStateFloat(D3DRS_POINTSCALE_C));
}

void GLDevice::FlushStages() {
    const Uniforms& u = *uniforms_;
    GLint colour[kShaderStages][4] = {}, alpha[kShaderStages][4] = {};
    const int count = EvaluatedStages(colour, alpha);
    glUniform1i(u.stageCount, count);
    glUniform4iv(u.stageColour, kShaderStages, &colour[0][0]);
    glUniform4iv(u.stageAlpha, kShaderStages, &alpha[0][0]);
    float factor[4];
    ColourValue(renderStates_[D3DRS_TEXTUREFACTOR], factor);
    glUniform4fv(u.textureFactor, 1, factor);
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

// ---------------------------------------------------------------------------
// Frames

HRESULT GLDevice::BeginScene() {
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT GLDevice::EndScene() {
    FlushPointBatch();
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT GLDevice::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil) {
    FlushPointBatch();
    if (count > 0 && !rects) return D3DERR_INVALIDCALL;
    if ((flags & (D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL)) && depthBuffer_ == 0) return D3DERR_INVALIDCALL;
    if ((flags & D3DCLEAR_STENCIL) && !hasStencil_) return D3DERR_INVALIDCALL;
    GLbitfield bits = 0;
    if (flags & D3DCLEAR_TARGET) {
        float c[4];
        ColourValue(color, c);
        glClearColor(c[0], c[1], c[2], 1.0f);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        bits |= GL_COLOR_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_ZBUFFER) {
        glClearDepth(std::clamp(z, 0.0f, 1.0f));
        glDepthMask(GL_TRUE);
        bits |= GL_DEPTH_BUFFER_BIT;
    }
    if (flags & D3DCLEAR_STENCIL) {
        glClearStencil(static_cast<GLint>(stencil & 0xFF));
        glStencilMask(0xFFFFFFFFu);
        bits |= GL_STENCIL_BUFFER_BIT;
    }
    if (bits == 0) return D3D_OK;
    const int width = static_cast<int>(config_.width), height = static_cast<int>(config_.height);
    if (count == 0) {
        glClear(bits);
    } else {
        // Rectangles are clipped to the back buffer, which is the viewport.
        for (DWORD i = 0; i < count; ++i) {
            const int x1 = std::clamp(rects[i].x1, 0, width), x2 = std::clamp(rects[i].x2, 0, width);
            const int y1 = std::clamp(rects[i].y1, 0, height), y2 = std::clamp(rects[i].y2, 0, height);
            if (x2 <= x1 || y2 <= y1) continue;
            glScissor(x1, y1, x2 - x1, y2 - y1);
            glClear(bits);
        }
        glScissor(0, 0, width, height);
    }
    dirty_ |= kDirtyColorMask | kDirtyDepth;
    return D3D_OK;
}

void GLDevice::BindStreamLayout(DWORD fvf, UINT stride) {
    if (boundArray_ != streamArray_) {
        glBindVertexArray(streamArray_);
        boundArray_ = streamArray_;
    }
    if (fvf == streamFvf_ && stride == streamStride_) return;
    streamFvf_ = fvf;
    streamStride_ = stride;
    VertexLayout layout;
    DecodeVertexFormat(fvf, layout);
    const auto s = static_cast<GLsizei>(stride);
    auto at = [](int offset) { return reinterpret_cast<const void*>(static_cast<uintptr_t>(offset)); };
    auto attribute = [&](GLuint location, int offset, GLint size, GLenum type, GLboolean normalized) {
        if (offset < 0) {
            glDisableVertexAttribArray(location);
            return;
        }
        glEnableVertexAttribArray(location);
        glVertexAttribPointer(location, size, type, normalized, s, at(offset));
    };
    attribute(kAttribPosition, 0, layout.pretransformed ? 4 : 3, GL_FLOAT, GL_FALSE);
    attribute(kAttribNormal, layout.normal, 3, GL_FLOAT, GL_FALSE);
    attribute(kAttribPointSize, layout.pointSize, 1, GL_FLOAT, GL_FALSE);
    attribute(kAttribDiffuse, layout.diffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE);
    attribute(kAttribSpecular, layout.specular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE);
    attribute(kAttribTex0, layout.texCoord[0], layout.texCoordFloats[0], GL_FLOAT, GL_FALSE);
    attribute(kAttribTex1, layout.texCoord[1], layout.texCoordFloats[1], GL_FLOAT, GL_FALSE);
}

HRESULT GLDevice::DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData, UINT stride) {
    if (!inScene_ || !vertexData) return D3DERR_INVALIDCALL;
    if (primitiveCount == 0 || stride == 0) return D3D_OK;
    const uint32_t vertices = VertexCountForPrimitives(type, primitiveCount);
    if (vertices == 0) return D3DERR_INVALIDCALL;
    VertexLayout layout;
    if (!DecodeVertexFormat(fvf_, layout)) return D3DERR_INVALIDCALL;
    const size_t bytes = static_cast<size_t>(vertices) * stride;
    if (bytes > kMaxDrawBytes) return D3DERR_INVALIDCALL;

    // Points without their own size are gathered, each with the point size in
    // force when it was drawn, and drawn together when anything else happens.
    if (type == D3DPT_POINTLIST && layout.pointSize < 0 && !layout.pretransformed &&
        layout.size <= static_cast<int>(stride) && stride <= kMaxBatchedStride) {
        if (pointBatchCount_ > 0 && stride != pointBatchStride_) FlushPointBatch();
        pointBatchStride_ = stride;
        const float size = RenderStateFloat(D3DRS_POINTSIZE);
        const auto* source = static_cast<const uint8_t*>(vertexData);
        for (uint32_t i = 0; i < vertices; ++i) {
            if (pointBatchCount_ == kMaxBatchedPoints) FlushPointBatch();
            uint8_t* target = &pointBatch_[static_cast<size_t>(pointBatchCount_) * (stride + sizeof(float))];
            std::memcpy(target, source + static_cast<size_t>(i) * stride, stride);
            std::memcpy(target + stride, &size, sizeof size);
            ++pointBatchCount_;
        }
        return D3D_OK;
    }
    FlushPointBatch();
    // A stride shorter than the format reads past the caller's data; that tail
    // comes from the stream buffer, never from the caller's memory.
    const size_t tail = layout.size > static_cast<int>(stride) ? static_cast<size_t>(layout.size) - stride : 0;
    FlushState(type == D3DPT_POINTLIST);
    BindStreamLayout(fvf_, stride);
    return StreamDraw(PrimitiveMode(type), vertexData, bytes, tail, stride, vertices);
}

void GLDevice::FlushPointBatch() {
    if (pointBatchCount_ == 0) return;
    const uint32_t count = pointBatchCount_;
    pointBatchCount_ = 0;
    const UINT stride = pointBatchStride_ + static_cast<UINT>(sizeof(float));
    batchingPoints_ = true;
    FlushState(true);
    batchingPoints_ = false;
    BindStreamLayout(fvf_, stride);
    // The size follows each vertex; the next unbatched draw lays the stream out anew.
    glEnableVertexAttribArray(kAttribPointSize);
    glVertexAttribPointer(kAttribPointSize, 1, GL_FLOAT, GL_FALSE, static_cast<GLsizei>(stride),
                          reinterpret_cast<const void*>(static_cast<uintptr_t>(pointBatchStride_)));
    streamFvf_ = 0xFFFFFFFFu;
    StreamDraw(GL_POINTS, pointBatch_.data(), static_cast<size_t>(count) * stride, 0, stride, count);
}

HRESULT GLDevice::StreamDraw(unsigned mode, const void* data, size_t bytes, size_t tail, UINT stride,
                             uint32_t vertices) {
    const size_t needed = bytes + tail;
    size_t offset = (streamOffset_ + stride - 1) / stride * stride;
    if (offset + needed > streamSize_) {
        // Orphan the buffer: the GPU keeps reading the old storage while we fill new.
        if (needed > streamSize_) streamSize_ = std::max(needed, streamSize_ * 2);
        glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(streamSize_), nullptr, GL_STREAM_DRAW);
        offset = 0;
    }
    void* target = glMapBufferRange(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes),
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
    if (!target) return D3DERR_OUTOFVIDEOMEMORY;
    std::memcpy(target, data, bytes);
    glUnmapBuffer(GL_ARRAY_BUFFER);
    streamOffset_ = offset + needed;
    const DriverCall draw;
    glDrawArrays(mode, static_cast<GLint>(offset / stride), static_cast<GLsizei>(vertices));
    return D3D_OK;
}

HRESULT GLDevice::DrawMeshSubset(const GLMesh& mesh, DWORD attribId) {
    FlushPointBatch();
    if (!inScene_) return D3DERR_INVALIDCALL;
    // Drawing a mesh selects its vertex format, which stays in force afterwards.
    fvf_ = mesh.GetFVF();
    if (attribId >= mesh.Subsets().size()) return D3D_OK;
    const auto& ranges = mesh.Subsets()[attribId];
    if (ranges.empty()) return D3D_OK;
    FlushState(false);
    if (boundArray_ != mesh.VertexArray()) {
        glBindVertexArray(mesh.VertexArray());
        boundArray_ = mesh.VertexArray();
    }
    const DriverCall draw;
    for (const IndexRange& range : ranges) {
        glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(range.indexCount), GL_UNSIGNED_INT,
                       reinterpret_cast<const void*>(static_cast<uintptr_t>(range.firstIndex) * sizeof(uint32_t)));
    }
    return D3D_OK;
}

HRESULT GLDevice::Present(const RECT*, const RECT*, void*, const void*) {
    FlushPointBatch();
    if (listener_) listener_->OnPresentStart();
    const auto width = static_cast<GLsizei>(config_.width), height = static_cast<GLsizei>(config_.height);
    GLuint readFramebuffer = framebuffer_;
    if (resolveFramebuffer_ != 0) {
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer_);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        dirty_ |= kDirtyColorMask;
        glBlitFramebuffer(0, 0, width, height, 0, 0, width, height, GL_COLOR_BUFFER_BIT, GL_NEAREST);
        glEnable(GL_SCISSOR_TEST);
        readFramebuffer = resolveFramebuffer_;
    }
    const bool late = listener_ && listener_->WantsPixels() && listener_->TakesPixelsLate();
    const bool wantsPixels = listener_ && listener_->WantsPixels() && !late;
    if (late) ReadBackLate(readFramebuffer);
    if (wantsPixels) {
        pixels_.resize(FrameBytes());
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer);
        glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels_.data());
    }
    if (config_.presentToWindow) {
        int windowWidth = 0, windowHeight = 0;
        SDL_GL_GetDrawableSize(config_.window, &windowWidth, &windowHeight);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer);
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        glDisable(GL_SCISSOR_TEST);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        const ViewRect r = FitPicture(width, height, windowWidth, windowHeight);
        const bool sameSize = r.width == width && r.height == height;
        // Back-buffer row 0 is the top of the picture: blit it upside down.
        glBlitFramebuffer(0, 0, width, height, r.x, r.y + r.height, r.x + r.width, r.y, GL_COLOR_BUFFER_BIT,
                          sameSize ? GL_NEAREST : GL_LINEAR);
        SDL_GL_SwapWindow(config_.window);
        glEnable(GL_SCISSOR_TEST);
        dirty_ |= kDirtyColorMask;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    ThrottleFrames();
    if (listener_) listener_->OnPresent(wantsPixels ? pixels_.data() : nullptr, config_.width, config_.height);
    return D3D_OK;
}

void GLDevice::ReadBackLate(unsigned readFramebuffer) {
    const auto width = static_cast<GLsizei>(config_.width), height = static_cast<GLsizei>(config_.height);
    if (packBuffers_[0] == 0) {
        glGenBuffers(2, packBuffers_);
        for (GLuint buffer : packBuffers_) {
            glBindBuffer(GL_PIXEL_PACK_BUFFER, buffer);
            glBufferData(GL_PIXEL_PACK_BUFFER, static_cast<GLsizeiptr>(FrameBytes()), nullptr, GL_STREAM_READ);
        }
    }
    // This frame goes into the buffer that is free; the driver fills it while
    // the next frame is drawn, and the frame before is handed over now.
    const int previous = pendingPack_;
    const int buffer = previous == 0 ? 1 : 0;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, packBuffers_[buffer]);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    pendingPack_ = buffer;
    if (previous >= 0) HandOverPacked(previous);
}

void GLDevice::HandOverPacked(int buffer) {
    glBindBuffer(GL_PIXEL_PACK_BUFFER, packBuffers_[buffer]);
    const void* mapped = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, static_cast<GLsizeiptr>(FrameBytes()), GL_MAP_READ_BIT);
    struct Unmap {
        ~Unmap() {
            glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
            glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
        }
    } unmap;
    if (mapped == nullptr) throw ResultError(D3DERR_DRIVERINTERNALERROR, "cannot map the read-back buffer");
    if (listener_) listener_->OnFramePixels(static_cast<const uint8_t*>(mapped), config_.width, config_.height);
}

void GLDevice::FlushFrames() {
    if (pendingPack_ < 0) return;
    const int buffer = pendingPack_;
    pendingPack_ = -1;
    HandOverPacked(buffer);
}

// ---------------------------------------------------------------------------
// Resources

HRESULT GLDevice::CreateTexture(const TextureImage& image, D3DPOOL pool, std::shared_ptr<Direct3DTexture8>& texture) {
    FlushPointBatch();
    if (image.levels.empty()) return D3DERR_INVALIDCALL;
    for (const TextureLevel& level : image.levels) {
        if (level.width == 0 || level.height == 0 || level.width > 16384 || level.height > 16384 ||
            level.rgba.size() != static_cast<size_t>(level.width) * level.height * 4)
            return D3DERR_INVALIDCALL;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, name);
    boundTextures_[0] = kNoName;
    dirty_ |= kDirtyStages;
    const auto levelCount = static_cast<GLsizei>(image.levels.size());
    if (textureStorage_) {
        // One allocation for the whole chain: level-by-level definition makes
        // the driver hold each level twice until the texture is first drawn.
        glTexStorage2D(GL_TEXTURE_2D, levelCount, GL_RGBA8, static_cast<GLsizei>(image.levels[0].width),
                       static_cast<GLsizei>(image.levels[0].height));
    }
    for (GLsizei i = 0; i < levelCount; ++i) {
        const TextureLevel& level = image.levels[static_cast<size_t>(i)];
        const auto w = static_cast<GLsizei>(level.width), h = static_cast<GLsizei>(level.height);
        if (textureStorage_) {
            glTexSubImage2D(GL_TEXTURE_2D, i, 0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, level.rgba.data());
        } else {
            glTexImage2D(GL_TEXTURE_2D, i, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, level.rgba.data());
        }
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(image.levels.size() - 1));
    texture = std::make_shared<GLTexture>(shared_, name, image.levels[0].width, image.levels[0].height,
                                          static_cast<uint32_t>(image.levels.size()), pool);
    return D3D_OK;
}

HRESULT GLDevice::CreateMesh(const MeshGeometry& geometry, std::shared_ptr<D3DXMesh>& mesh) {
    FlushPointBatch();
    VertexLayout layout;
    if (!DecodeVertexFormat(geometry.fvf, layout) || layout.pretransformed) return D3DERR_INVALIDCALL;
    if (geometry.indices.size() % 3 != 0) return D3DERR_INVALIDCALL;
    for (uint32_t index : geometry.indices)
        if (index >= geometry.vertices.size()) return D3DXERR_INVALIDDATA;
    for (const auto& subset : geometry.subsets)
        for (const IndexRange& range : subset)
            if (range.firstIndex > geometry.indices.size() ||
                range.indexCount > geometry.indices.size() - range.firstIndex)
                return D3DXERR_INVALIDDATA;

    GLuint array = 0, buffers[2] = {0, 0};
    glGenVertexArrays(1, &array);
    glBindVertexArray(array);
    glGenBuffers(2, buffers);
    glBindBuffer(GL_ARRAY_BUFFER, buffers[0]);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(geometry.vertices.size() * sizeof(MeshVertex)),
                 geometry.vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, buffers[1]);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(geometry.indices.size() * sizeof(uint32_t)),
                 geometry.indices.data(), GL_STATIC_DRAW);
    const auto stride = static_cast<GLsizei>(sizeof(MeshVertex));
    auto at = [](size_t offset) { return reinterpret_cast<const void*>(offset); };
    glEnableVertexAttribArray(kAttribPosition);
    glVertexAttribPointer(kAttribPosition, 3, GL_FLOAT, GL_FALSE, stride, at(offsetof(MeshVertex, position)));
    if (geometry.fvf & D3DFVF_NORMAL) {
        glEnableVertexAttribArray(kAttribNormal);
        glVertexAttribPointer(kAttribNormal, 3, GL_FLOAT, GL_FALSE, stride, at(offsetof(MeshVertex, normal)));
    }
    if (geometry.fvf & D3DFVF_DIFFUSE) {
        glEnableVertexAttribArray(kAttribDiffuse);
        glVertexAttribPointer(kAttribDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, stride,
                              at(offsetof(MeshVertex, diffuse)));
    }
    if (layout.texCoordCount > 0) {
        glEnableVertexAttribArray(kAttribTex0);
        glVertexAttribPointer(kAttribTex0, 2, GL_FLOAT, GL_FALSE, stride, at(offsetof(MeshVertex, uv)));
    }
    glBindVertexArray(boundArray_);
    glBindBuffer(GL_ARRAY_BUFFER, streamBuffer_);
    mesh = std::make_shared<GLMesh>(shared_, geometry.fvf, array, buffers[0], buffers[1],
                                    static_cast<uint32_t>(geometry.vertices.size()),
                                    static_cast<uint32_t>(geometry.indices.size() / 3), geometry.subsets);
    return D3D_OK;
}

GLTexture::~GLTexture() {
    if (!shared_->device) return;
    shared_->device->ForgetTexture(this);
    glDeleteTextures(1, &name_);
}

GLMesh::~GLMesh() {
    if (!shared_->device) return;
    shared_->device->ForgetVertexArray(vertexArray_);
    glDeleteVertexArrays(1, &vertexArray_);
    const GLuint buffers[2] = {vertexBuffer_, indexBuffer_};
    glDeleteBuffers(2, buffers);
}

HRESULT GLMesh::DrawSubset(DWORD attribId) {
    if (!shared_->device) return D3DERR_DEVICELOST;
    return shared_->device->DrawMeshSubset(*this, attribId);
}
