#include "platform/device/GLDevice.h"

#include <SDL.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/Errors.h"
#include "base/Maths.h"
#include "platform/device/GLApi.h"
#include "platform/device/GLResources.h"
#include "platform/device/GLShaders.h"

namespace {

// Throws with the driver's log when a shader did not compile or a program did
// not link; the failed object is deleted first.
template <typename GetStatus, typename GetLog, typename Delete>
void ThrowUnlessBuilt(GLuint name, GLenum status, GetStatus getStatus, GetLog getLog, Delete destroy,
                      const char* what) {
    GLint ok = 0;
    getStatus(name, status, &ok);
    if (ok) return;
    char log[2048] = {};
    getLog(name, sizeof log, nullptr, log);
    destroy(name);
    throw ResultError(D3DERR_DRIVERINTERNALERROR, std::string(what) + log);
}

GLuint CompileShader(GLenum type, const char* source) {
    const GLuint shader = glCreateShader(type);
    glShaderSource(shader, 1, &source, nullptr);
    glCompileShader(shader);
    ThrowUnlessBuilt(shader, GL_COMPILE_STATUS, glGetShaderiv, glGetShaderInfoLog, glDeleteShader,
                     "fixed-function shader does not compile: ");
    return shader;
}

#ifdef VELMORA_GL_DEBUG
constexpr bool kGLChecks = true;

// Keeps the driver's first error or undefined-behaviour report; called inside
// the failing GL call (synchronous output), so nothing may be thrown here.
void GLAPIENTRY KeepDebugMessage(GLenum, GLenum type, GLuint, GLenum, GLsizei length, const GLchar* message,
                                 const void* errors) {
    if (type != GL_DEBUG_TYPE_ERROR && type != GL_DEBUG_TYPE_UNDEFINED_BEHAVIOR) return;
    auto& kept = *static_cast<std::string*>(const_cast<void*>(errors));
    if (kept.empty()) kept.assign(message, length >= 0 ? static_cast<size_t>(length) : std::strlen(message));
}
#else
constexpr bool kGLChecks = false;
#endif

const char* GLErrorName(GLenum error) {
    switch (error) {
        case GL_INVALID_ENUM: return "GL_INVALID_ENUM";
        case GL_INVALID_VALUE: return "GL_INVALID_VALUE";
        case GL_INVALID_OPERATION: return "GL_INVALID_OPERATION";
        case GL_INVALID_FRAMEBUFFER_OPERATION: return "GL_INVALID_FRAMEBUFFER_OPERATION";
        case GL_OUT_OF_MEMORY: return "GL_OUT_OF_MEMORY";
        default: return "an unknown GL error";
    }
}

}  // namespace

GLDevice::GLDevice(const GLDeviceConfig& config)
    : config_(config),
      shared_(std::make_shared<GLDeviceShared>()),
      outputWidth_(config.outputWidth != 0 ? config.outputWidth : config.width),
      outputHeight_(config.outputHeight != 0 ? config.outputHeight : config.height) {
    shared_->device = this;
    try {
        CreateContext();
        CreateTargets();
        CreatePrograms();
        CreateStream();
        ApplyDefaultState();
        CheckGLErrors();
    } catch (...) {
        Release();
        throw;
    }
}

GLDevice::~GLDevice() { Release(); }

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
    DeleteTargets();
    SDL_GL_DeleteContext(static_cast<SDL_GLContext>(context_));
    context_ = nullptr;
}

void GLDevice::CreateContext() {
    if (!config_.window) throw ResultError(D3DERR_INVALIDCALL, "no window to create the device on");
    if (config_.width == 0 || config_.height == 0 || config_.width > 16384 || config_.height > 16384)
        throw ResultError(D3DERR_INVALIDCALL, "back buffer size out of range");
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, kGLES ? 0 : 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, kGLES ? SDL_GL_CONTEXT_PROFILE_ES : SDL_GL_CONTEXT_PROFILE_CORE);
    if (kGLChecks) SDL_GL_SetAttribute(SDL_GL_CONTEXT_FLAGS, SDL_GL_CONTEXT_DEBUG_FLAG);
    SDL_GLContext context = SDL_GL_CreateContext(config_.window);
    if (!context) {
        throw ResultError(D3DERR_NOTAVAILABLE, std::string("cannot create an ") +
                                                   (kGLES ? "OpenGL ES 3.0 (WebGL2)" : "OpenGL 3.3 core") +
                                                   " context: " + SDL_GetError());
    }
    context_ = context;
    if (SDL_GL_MakeCurrent(config_.window, context) != 0)
        throw ResultError(D3DERR_NOTAVAILABLE, std::string("cannot make the OpenGL context current: ") + SDL_GetError());
    if (!kGLES && GLVersion() < 33) throw ResultError(D3DERR_NOTAVAILABLE, "OpenGL 3.3 is not available");
#ifdef VELMORA_GL_DEBUG
    // Without KHR_debug the checks read glGetError alone, which names no call.
    if (GLVersion() >= 43 || GLHasExtension("GL_KHR_debug")) {
        glEnable(GL_DEBUG_OUTPUT);
        glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
        glDebugMessageCallback(KeepDebugMessage, &glErrors_);
        glDebugMessageControl(GL_DONT_CARE, GL_DONT_CARE, GL_DONT_CARE, 0, nullptr, GL_TRUE);
    }
#endif
    // A failing swap interval only means no vertical sync; drawing still works.
    SDL_GL_SetSwapInterval(config_.vsync ? 1 : 0);
    clipControl_ = config_.allowClipControl &&
                   (GLVersion() >= 45 || GLHasExtension("GL_ARB_clip_control"));
    if (clipControl_) glClipControl(GL_LOWER_LEFT, GL_ZERO_TO_ONE);
    textureStorage_ = GLVersion() >= 42 || GLHasExtension("GL_ARB_texture_storage");
    GLfloat range[2] = {1.0f, 64.0f};
    glGetFloatv(GL_POINT_SIZE_RANGE, range);
    maxPointSize_ = range[1];
    samples_ = ChooseSamples();
}

void GLDevice::CheckGLErrors() {
    if (!kGLChecks) return;
    for (GLenum error = glGetError(); error != GL_NO_ERROR; error = glGetError()) {
        if (glErrors_.empty()) glErrors_ = std::string(GLErrorName(error)) + " (glGetError after the frame)";
    }
    if (glErrors_.empty()) return;
    const std::string message = "OpenGL reported an error: " + glErrors_;
    glErrors_.clear();
    throw ResultError(D3DERR_DRIVERINTERNALERROR, message);
}

int GLDevice::ChooseSamples() const {
    int samples = config_.samples;
    if (samples == GLDeviceConfig::kRendererSamples) {
        const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
        const std::string name = renderer ? renderer : "";
        const bool software = name.find("llvmpipe") != std::string::npos ||
                              name.find("softpipe") != std::string::npos || name.find("swrast") != std::string::npos;
        samples = software ? 0 : 4;
    }
    if (samples <= 1) return 0;
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    if (samples > maxSamples) {
        throw OutputSettingsError("the renderer cannot draw " + std::to_string(samples) + " samples per pixel (at most " +
                        std::to_string(maxSamples) + ")");
    }
    return samples;
}

void GLDevice::CreateTargets() {
    GLenum depthFormat = GL_NONE;
    switch (config_.depthFormat) {
        case D3DFMT_UNKNOWN: break;
        case D3DFMT_D24S8: depthFormat = GL_DEPTH24_STENCIL8; hasStencil_ = true; break;
        case D3DFMT_D24X8: depthFormat = GL_DEPTH_COMPONENT24; break;
        case D3DFMT_D16: depthFormat = GL_DEPTH_COMPONENT16; break;
        case D3DFMT_D32: depthFormat = GL_DEPTH_COMPONENT32; break;
        default: throw ResultError(D3DERR_NOTAVAILABLE, "depth format not supported");
    }
    GLint maxSize = 0, maxViewport[2] = {0, 0};
    glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxSize);
    glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    maxSize = std::min({maxSize, maxViewport[0], maxViewport[1]});
    if (outputWidth_ > static_cast<uint32_t>(maxSize) || outputHeight_ > static_cast<uint32_t>(maxSize)) {
        throw OutputSettingsError("the renderer cannot draw " + std::to_string(outputWidth_) + " x " +
                        std::to_string(outputHeight_) + " pixels (at most " + std::to_string(maxSize) + " a side)");
    }
    const GLsizei samples = samples_;
    const auto width = static_cast<GLsizei>(outputWidth_), height = static_cast<GLsizei>(outputHeight_);
    picture_ = FitPicture(static_cast<int>(config_.width), static_cast<int>(config_.height), width, height);

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
    glViewport(picture_.x, picture_.y, picture_.width, picture_.height);
    glEnable(GL_SCISSOR_TEST);
    glDisable(GL_DITHER);
    glEnable(GL_PROGRAM_POINT_SIZE);
    glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
    glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
    // The back buffer starts opaque black with depth 1, as after a clear.
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClearDepth(1.0);
    glClearStencil(0);
    // Only the picture is ever drawn or cleared again, so the rest stays black.
    glScissor(0, 0, width, height);
    glClear(GL_COLOR_BUFFER_BIT | (depthFormat != GL_NONE ? GL_DEPTH_BUFFER_BIT : 0u) |
            (hasStencil_ ? GL_STENCIL_BUFFER_BIT : 0u));
    glScissor(picture_.x, picture_.y, picture_.width, picture_.height);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    dirty_ |= kDirtyScreen;
}

void GLDevice::DeleteTargets() {
    glDeleteFramebuffers(1, &framebuffer_);
    glDeleteFramebuffers(1, &resolveFramebuffer_);
    glDeleteRenderbuffers(1, &colorBuffer_);
    glDeleteRenderbuffers(1, &depthBuffer_);
    glDeleteRenderbuffers(1, &resolveColorBuffer_);
    framebuffer_ = resolveFramebuffer_ = colorBuffer_ = depthBuffer_ = resolveColorBuffer_ = 0;
}

PixelScale GLDevice::PictureScale() const {
    return {static_cast<float>(picture_.width) / static_cast<float>(config_.width),
            static_cast<float>(picture_.height) / static_cast<float>(config_.height)};
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
    if (variant) program.variant = *variant;
    program.name = glCreateProgram();
    const GLuint name = program.name;
    glAttachShader(name, vs);
    glAttachShader(name, fs);
    glBindFragDataLocation(name, 0, "fragColour");
    glLinkProgram(name);
    glDeleteShader(vs);
    glDeleteShader(fs);
    ThrowUnlessBuilt(name, GL_LINK_STATUS, glGetProgramiv, glGetProgramInfoLog, glDeleteProgram,
                     "fixed-function program does not link: ");
    glUseProgram(name);
    ShaderUniforms& u = program.uniforms;
    for (const ShaderUniformName& uniform : kShaderUniformNames)
        u.*uniform.member = glGetUniformLocation(name, uniform.name);
    glUniform1i(u.texture0, 0);
    glUniform1i(u.texture1, 1);
    return program;
}

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
        const D3DCOLORVALUE c = ColourValue(color);
        glClearColor(c.r, c.g, c.b, 1.0f);
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
        // Rectangles are in the back buffer's frame, clipped to it (it is the
        // viewport), then carried onto the picture.
        auto toPictureX = [&](int x) {
            return picture_.x + static_cast<int>(static_cast<int64_t>(x) * picture_.width / width);
        };
        auto toPictureY = [&](int y) {
            return picture_.y + static_cast<int>(static_cast<int64_t>(y) * picture_.height / height);
        };
        for (DWORD i = 0; i < count; ++i) {
            const int x1 = std::clamp(rects[i].x1, 0, width), x2 = std::clamp(rects[i].x2, 0, width);
            const int y1 = std::clamp(rects[i].y1, 0, height), y2 = std::clamp(rects[i].y2, 0, height);
            if (x2 <= x1 || y2 <= y1) continue;
            const int left = toPictureX(x1), top = toPictureY(y1);
            glScissor(left, top, toPictureX(x2) - left, toPictureY(y2) - top);
            glClear(bits);
        }
        glScissor(picture_.x, picture_.y, picture_.width, picture_.height);
    }
    dirty_ |= kDirtyColorMask | kDirtyDepth;
    return D3D_OK;
}

std::string GLDevice::RendererName() const {
    const auto* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    return renderer ? renderer : "";
}
