// The bare-GL replay: the ceiling velmora's renderer is measured against.
//
// First it runs the demo's own loading and frame logic (the same loaders,
// timeline, camera, fountain and overlays, on the same fixed-step clock)
// against a device that only writes down, per frame, what is drawn: which
// mesh subset with which world matrix, texture, material and blending, the
// fountain's points and the overlay quads. Then it draws those frames with the
// simplest OpenGL that gives the same pictures: static buffers, three small
// programs without branches on state, the state set directly per draw, at
// the output size into an offscreen frame buffer (the 4:3 picture centred in
// it, multisampled and resolved each frame when asked), one frame in flight.
// Only the drawing is timed.
//
//   velmora-replay [--data DIR] [--fps N] [--seconds S] [--seed N] [--size WxH] [--msaa N]
//
// prints one line of JSON: frames, wall_s, fps (of the timeline's frames, as
// the benchmark counts them), decode_ms (the time the loaders took to read and
// decode every file, with nothing uploaded) and the GL renderer.
#include <SDL.h>
#include <epoxy/gl.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "loading/m_InitGraphicsMode.h"
#include "platform/d3dx/D3DX8.h"
#include "platform/device/Direct3D8.h"
#include "platform/device/VertexFormat.h"
#include "platform/files/Files.h"
#include "platform/music/MusicPlayer.h"
#include "platform/sprite/Sprite.h"
#include "platform/system/Clock.h"
#include "platform/system/Random.h"
#include "platform/window/Window.h"
#include "shell/FrameLoop.h"
#include "shell/Main.h"

namespace {

constexpr int kWidth = 1024, kHeight = 768;

// What the replay draws into: the output's size and its samples per pixel.
struct Output {
    int width = kWidth, height = kHeight;
    int samples = 0;
};

void ParseSize(const std::string& text, Output& output) {
    const size_t x = text.find('x');
    if (x == std::string::npos) throw DemoError("--size needs WIDTHxHEIGHT");
    output.width = std::stoi(text.substr(0, x));
    output.height = std::stoi(text.substr(x + 1));
    if (output.width <= 0 || output.height <= 0) throw DemoError("--size needs WIDTHxHEIGHT");
}

// ---------------------------------------------------------------------------
// What a frame draws

struct MeshDraw {
    uint32_t mesh, subset, matrix;
    int32_t texture;  // -1: none
    D3DCOLORVALUE diffuse, emissive;
    uint32_t lit : 1, fog : 1, blend : 1, zwrite : 1, ztest : 1, cull : 2;
    uint32_t srcBlend : 4, dstBlend : 4;
};

struct Point {
    float position[3];
    D3DCOLOR colour;
    float size;
};

struct OverlayDraw {
    int32_t texture;
    uint32_t first, count;  // vertices of the frame's overlay list
};

struct Light {
    float type;
    D3DCOLORVALUE diffuse;
    D3DVECTOR position, direction;
    float range, attenuation[3];
};

struct Frame {
    D3DCOLOR clear = 0;
    bool clearDepth = false;
    D3DMATRIX view{}, projection{};
    D3DCOLOR ambient = 0, fogColour = 0;
    float fogStart = 0, fogEnd = 1;
    float pointScale[3] = {1, 0, 0};
    std::vector<Light> lights;
    std::vector<D3DMATRIX> matrices;
    std::vector<MeshDraw> meshes;
    int32_t pointTexture = -1;
    bool pointFog = false;
    std::vector<Point> points;
    std::vector<SpriteVertex> overlayVertices;
    std::vector<OverlayDraw> overlays;
};

// ---------------------------------------------------------------------------
// The device that writes frames down

class TraceDevice;

class TraceTexture final : public Direct3DTexture8 {
public:
    TraceTexture(int32_t index, const TextureImage& image) : index_(index), image_(image) {}
    uint32_t Width() const override { return image_.levels[0].width; }
    uint32_t Height() const override { return image_.levels[0].height; }
    uint32_t LevelCount() const override { return static_cast<uint32_t>(image_.levels.size()); }
    D3DPOOL Pool() const override { return D3DPOOL_MANAGED; }
    int32_t Index() const { return index_; }

private:
    int32_t index_;
    const TextureImage& image_;
};

class TraceMesh final : public D3DXMesh {
public:
    TraceMesh(TraceDevice& device, uint32_t index, const MeshGeometry& geometry)
        : device_(device), index_(index), geometry_(geometry) {}
    HRESULT DrawSubset(DWORD attribId) override;
    DWORD GetFVF() const override { return geometry_.fvf; }
    uint32_t GetNumVertices() const override { return static_cast<uint32_t>(geometry_.vertices.size()); }
    uint32_t GetNumFaces() const override { return static_cast<uint32_t>(geometry_.indices.size() / 3); }

private:
    TraceDevice& device_;
    uint32_t index_;
    const MeshGeometry& geometry_;
};

struct StopRecording {};

class TraceDevice final : public Direct3DDevice8 {
public:
    TraceDevice(Clock& clock, uint64_t lastFrame) : clock_(clock), lastFrame_(lastFrame) {
        renderStates_.fill(0);
        renderStates_[D3DRS_ZENABLE] = 1;
        renderStates_[D3DRS_ZWRITEENABLE] = 1;
        renderStates_[D3DRS_SRCBLEND] = D3DBLEND_ONE;
        renderStates_[D3DRS_DESTBLEND] = D3DBLEND_ZERO;
        renderStates_[D3DRS_CULLMODE] = D3DCULL_CCW;
        renderStates_[D3DRS_LIGHTING] = 1;
        renderStates_[D3DRS_FOGEND] = FloatToDWord(1.0f);
        renderStates_[D3DRS_POINTSIZE] = FloatToDWord(1.0f);
        renderStates_[D3DRS_POINTSCALE_A] = FloatToDWord(1.0f);
        for (auto& stage : stageStates_) stage.fill(0);
        frames.emplace_back();
    }

    HRESULT SetVertexShader(DWORD fvf) override {
        fvf_ = fvf;
        return D3D_OK;
    }
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override {
        if (state >= renderStates_.size()) return D3DERR_INVALIDCALL;
        renderStates_[state] = value;
        return D3D_OK;
    }
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override {
        if (stage >= 8 || type >= 32) return D3DERR_INVALIDCALL;
        stageStates_[stage][type] = value;
        return D3D_OK;
    }
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) override {
        if (state == D3DTS_WORLD) world_ = matrix, worldIndex_ = -1;
        if (state == D3DTS_VIEW) view_ = matrix;
        if (state == D3DTS_PROJECTION) projection_ = matrix;
        return D3D_OK;
    }
    HRESULT SetTexture(DWORD stage, Direct3DTexture8* texture) override {
        if (stage == 0) texture_ = texture;
        return D3D_OK;
    }
    HRESULT SetMaterial(const D3DMATERIAL8& material) override {
        material_ = material;
        return D3D_OK;
    }
    HRESULT SetLight(DWORD index, const D3DLIGHT8& light) override {
        if (index >= 8) return D3DERR_INVALIDCALL;
        lights_[index] = light;
        return D3D_OK;
    }
    HRESULT LightEnable(DWORD index, BOOL enable) override {
        if (index >= 8) return D3DERR_INVALIDCALL;
        lightOn_[index] = enable != 0;
        return D3D_OK;
    }
    HRESULT Clear(DWORD, const D3DRECT*, DWORD flags, D3DCOLOR color, float, DWORD) override {
        Frame& f = frames.back();
        f.clear = color;
        f.clearDepth = (flags & D3DCLEAR_ZBUFFER) != 0;
        return D3D_OK;
    }
    HRESULT BeginScene() override { return D3D_OK; }
    HRESULT EndScene() override { return D3D_OK; }

    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT count, const void* data, UINT stride) override {
        Frame& f = frames.back();
        if (type == D3DPT_POINTLIST) {
            // The fountain: position, colour, texture coordinates per drop.
            f.pointTexture = TextureIndex();
            f.pointFog = renderStates_[D3DRS_FOGENABLE] != 0;
            SetFrameState(f);
            const auto* bytes = static_cast<const uint8_t*>(data);
            for (UINT i = 0; i < count; ++i) {
                Point p{};
                std::memcpy(p.position, bytes + i * stride, 12);
                std::memcpy(&p.colour, bytes + i * stride + 12, 4);
                p.size = DWordToFloat(renderStates_[D3DRS_POINTSIZE]);
                f.points.push_back(p);
            }
            return D3D_OK;
        }
        if (type != D3DPT_TRIANGLELIST || fvf_ != kSpriteFVF || stride != sizeof(SpriteVertex)) {
            return D3DERR_INVALIDCALL;
        }
        const auto* vertices = static_cast<const SpriteVertex*>(data);
        const auto first = static_cast<uint32_t>(f.overlayVertices.size());
        f.overlayVertices.insert(f.overlayVertices.end(), vertices, vertices + count * 3);
        f.overlays.push_back(OverlayDraw{TextureIndex(), first, count * 3});
        return D3D_OK;
    }

    HRESULT Present(const RECT*, const RECT*, void*, const void*) override {
        clock_.OnFramePresented();
        if (++presented_ >= lastFrame_) throw StopRecording{};
        frames.emplace_back();
        return D3D_OK;
    }

    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const override {
        if (state >= renderStates_.size() || !value) return D3DERR_INVALIDCALL;
        *value = renderStates_[state];
        return D3D_OK;
    }
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const override {
        if (stage >= 8 || type >= 32 || !value) return D3DERR_INVALIDCALL;
        *value = stageStates_[stage][type];
        return D3D_OK;
    }
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const override {
        *matrix = state == D3DTS_VIEW ? view_ : state == D3DTS_PROJECTION ? projection_ : world_;
        return D3D_OK;
    }
    HRESULT GetTexture(DWORD, Direct3DTexture8** texture) const override {
        *texture = texture_;
        return D3D_OK;
    }
    HRESULT GetVertexShader(DWORD* fvf) const override {
        *fvf = fvf_;
        return D3D_OK;
    }
    uint32_t BackBufferWidth() const override { return kWidth; }
    uint32_t BackBufferHeight() const override { return kHeight; }

    HRESULT CreateTexture(const TextureImage& image, D3DPOOL, std::shared_ptr<Direct3DTexture8>& texture) override {
        textures.push_back(std::make_unique<TextureImage>(image));
        texture = std::make_shared<TraceTexture>(static_cast<int32_t>(textures.size() - 1), *textures.back());
        return D3D_OK;
    }
    HRESULT CreateMesh(const MeshGeometry& geometry, std::shared_ptr<D3DXMesh>& mesh) override {
        meshes.push_back(std::make_unique<MeshGeometry>(geometry));
        mesh = std::make_shared<TraceMesh>(*this, static_cast<uint32_t>(meshes.size() - 1), *meshes.back());
        return D3D_OK;
    }
    void SetPresentListener(PresentListener*) override {}

    void DrawMesh(uint32_t mesh, DWORD subset) {
        Frame& f = frames.back();
        SetFrameState(f);
        if (worldIndex_ < 0) {
            f.matrices.push_back(world_);
            worldIndex_ = static_cast<int32_t>(f.matrices.size() - 1);
        }
        const auto& r = renderStates_;
        MeshDraw d{};
        d.mesh = mesh;
        d.subset = subset;
        d.matrix = static_cast<uint32_t>(worldIndex_);
        d.texture = TextureIndex();
        d.diffuse = material_.Diffuse;
        d.emissive = material_.Emissive;
        d.lit = r[D3DRS_LIGHTING] != 0;
        d.fog = r[D3DRS_FOGENABLE] != 0;
        d.blend = r[D3DRS_ALPHABLENDENABLE] != 0;
        d.zwrite = r[D3DRS_ZWRITEENABLE] != 0;
        d.ztest = r[D3DRS_ZENABLE] != 0;
        d.cull = r[D3DRS_CULLMODE] & 3;
        d.srcBlend = r[D3DRS_SRCBLEND] & 15;
        d.dstBlend = r[D3DRS_DESTBLEND] & 15;
        f.meshes.push_back(d);
    }

    std::vector<Frame> frames;
    std::vector<std::unique_ptr<TextureImage>> textures;
    std::vector<std::unique_ptr<MeshGeometry>> meshes;

private:
    int32_t TextureIndex() const {
        return texture_ ? static_cast<const TraceTexture*>(texture_)->Index() : -1;
    }
    // The per-frame state, taken at the frame's first 3D draw.
    void SetFrameState(Frame& f) {
        if (f.meshes.empty() && f.points.empty()) {
            f.view = view_;
            f.projection = projection_;
            f.ambient = renderStates_[D3DRS_AMBIENT];
            f.fogColour = renderStates_[D3DRS_FOGCOLOR];
            f.fogStart = DWordToFloat(renderStates_[D3DRS_FOGSTART]);
            f.fogEnd = DWordToFloat(renderStates_[D3DRS_FOGEND]);
            f.pointScale[0] = DWordToFloat(renderStates_[D3DRS_POINTSCALE_A]);
            f.pointScale[1] = DWordToFloat(renderStates_[D3DRS_POINTSCALE_B]);
            f.pointScale[2] = DWordToFloat(renderStates_[D3DRS_POINTSCALE_C]);
            f.lights.clear();
            for (int i = 0; i < 8; ++i) {
                if (!lightOn_[i] || lights_[i].Type < 1) continue;
                const D3DLIGHT8& l = lights_[i];
                f.lights.push_back(Light{static_cast<float>(l.Type), l.Diffuse, l.Position, l.Direction, l.Range,
                                         {l.Attenuation0, l.Attenuation1, l.Attenuation2}});
            }
        }
    }

    Clock& clock_;
    uint64_t lastFrame_;
    uint64_t presented_ = 0;
    std::array<DWORD, 256> renderStates_{};
    std::array<std::array<DWORD, 32>, 8> stageStates_{};
    D3DMATRIX world_{}, view_{}, projection_{};
    int32_t worldIndex_ = -1;
    D3DMATERIAL8 material_{};
    D3DLIGHT8 lights_[8]{};
    bool lightOn_[8]{};
    Direct3DTexture8* texture_ = nullptr;
    DWORD fvf_ = 0;
};

HRESULT TraceMesh::DrawSubset(DWORD attribId) {
    device_.DrawMesh(index_, attribId);
    return D3D_OK;
}

// ---------------------------------------------------------------------------
// The GL side

const char* const kMeshVertex = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec3 aNormal;
layout(location = 2) in vec2 aUv;
uniform mat4 uWorldView, uProj;
uniform vec4 uDiffuse, uEmissive;
uniform vec3 uAmbient;
uniform float uLit;
uniform int uLightCount;
uniform vec4 uLightPosition[8];   // view space; w: 1 point, 0 directional
uniform vec4 uLightDirection[8];  // view space, towards the light
uniform vec4 uLightColour[8];
uniform vec4 uLightAttenuation[8];  // a0, a1, a2, range
uniform vec2 uFog;  // start, end; end <= start: no fog
out vec4 vColour;
out vec2 vUv;
out float vFog;
void main() {
    vec4 P = uWorldView * vec4(aPosition, 1.0);
    gl_Position = uProj * P;
    gl_Position.y = -gl_Position.y;
    vec3 N = normalize(mat3(uWorldView) * aNormal);
    vec3 light = uAmbient;
    for (int i = 0; i < uLightCount; ++i) {
        vec3 toLight = uLightPosition[i].xyz - P.xyz;
        float d = length(toLight);
        vec3 L = mix(uLightDirection[i].xyz, toLight / max(d, 1e-6), uLightPosition[i].w);
        vec3 a = uLightAttenuation[i].xyz;
        float att = mix(1.0, (d <= uLightAttenuation[i].w ? 1.0 : 0.0) / max(a.x + a.y * d + a.z * d * d, 1e-6),
                        uLightPosition[i].w);
        light += uLightColour[i].rgb * max(dot(N, L), 0.0) * att;
    }
    vColour = vec4(mix(vec3(1.0), uEmissive.rgb + uDiffuse.rgb * light, uLit), uDiffuse.a);
    vColour = clamp(vColour, 0.0, 1.0);
    vFog = clamp((uFog.y - abs(P.z)) / max(uFog.y - uFog.x, 1e-6), 0.0, 1.0);
    vFog = uFog.y > uFog.x ? vFog : 1.0;
    vUv = aUv;
}
)";

const char* const kPointVertex = R"(#version 330 core
layout(location = 0) in vec3 aPosition;
layout(location = 1) in vec4 aColour;
layout(location = 2) in float aSize;
uniform mat4 uWorldView, uProj;
uniform vec3 uScale;
uniform float uPictureScale;  // picture height / 768
uniform vec2 uFog;
out vec4 vColour;
out vec2 vUv;
out float vFog;
void main() {
    vec4 P = uWorldView * vec4(aPosition, 1.0);
    gl_Position = uProj * P;
    gl_Position.y = -gl_Position.y;
    float De = length(P.xyz);
    gl_PointSize = clamp(768.0 * aSize * inversesqrt(uScale.x + uScale.y * De + uScale.z * De * De), 0.0, 64.0) *
                   uPictureScale;
    vColour = aColour.bgra;
    vFog = uFog.y > uFog.x ? clamp((uFog.y - abs(P.z)) / (uFog.y - uFog.x), 0.0, 1.0) : 1.0;
    vUv = vec2(0.0);
}
)";

const char* const kOverlayVertex = R"(#version 330 core
layout(location = 0) in vec4 aPosition;
layout(location = 1) in vec4 aColour;
layout(location = 2) in vec2 aUv;
out vec4 vColour;
out vec2 vUv;
out float vFog;
void main() {
    gl_Position = vec4(2.0 * (aPosition.x + 0.5) / 1024.0 - 1.0, 1.0 - 2.0 * (aPosition.y + 0.5) / 768.0, 0.0, 1.0);
    gl_Position.y = -gl_Position.y;
    vColour = aColour.bgra;
    vFog = 1.0;
    vUv = aUv;
}
)";

// One fragment shader for all three: texture times colour, fog, and texels of
// alpha 0 dropped (they would leave the colour as it is but write depth).
const char* const kFragment = R"(#version 330 core
in vec4 vColour;
in vec2 vUv;
in float vFog;
uniform sampler2D uTexture;
uniform vec3 uFogColour;
uniform float uPointSprite;
out vec4 fragColour;
void main() {
    vec4 c = texture(uTexture, mix(vUv, gl_PointCoord, uPointSprite)) * vColour;
    if (c.a <= 0.0) discard;
    fragColour = vec4(mix(uFogColour, c.rgb, vFog), c.a);
}
)";

GLuint Program(const char* vertexSource) {
    auto compile = [](GLenum type, const char* source) {
        const GLuint s = glCreateShader(type);
        glShaderSource(s, 1, &source, nullptr);
        glCompileShader(s);
        GLint ok = 0;
        glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
        if (!ok) {
            char log[2048] = {};
            glGetShaderInfoLog(s, sizeof log, nullptr, log);
            throw DemoError(std::string("replay shader: ") + log);
        }
        return s;
    };
    const GLuint p = glCreateProgram();
    glAttachShader(p, compile(GL_VERTEX_SHADER, vertexSource));
    glAttachShader(p, compile(GL_FRAGMENT_SHADER, kFragment));
    glLinkProgram(p);
    GLint ok = 0;
    glGetProgramiv(p, GL_LINK_STATUS, &ok);
    if (!ok) throw DemoError("replay program does not link");
    glUseProgram(p);
    glUniform1i(glGetUniformLocation(p, "uTexture"), 0);
    return p;
}

void Colour(D3DCOLOR c, float out[3]) {
    out[0] = static_cast<float>((c >> 16) & 255) / 255.0f;
    out[1] = static_cast<float>((c >> 8) & 255) / 255.0f;
    out[2] = static_cast<float>(c & 255) / 255.0f;
}

GLenum Blend(uint32_t factor) {
    switch (factor) {
        case 1: return GL_ZERO;
        case 3: return GL_SRC_COLOR;
        case 4: return GL_ONE_MINUS_SRC_COLOR;
        case 5: return GL_SRC_ALPHA;
        case 6: return GL_ONE_MINUS_SRC_ALPHA;
        case 9: return GL_DST_COLOR;
    }
    return GL_ONE;
}

D3DVECTOR Transform(const D3DVECTOR& v, const D3DMATRIX& m, float w) {
    return {v.x * m.m[0][0] + v.y * m.m[1][0] + v.z * m.m[2][0] + w * m.m[3][0],
            v.x * m.m[0][1] + v.y * m.m[1][1] + v.z * m.m[2][1] + w * m.m[3][1],
            v.x * m.m[0][2] + v.y * m.m[1][2] + v.z * m.m[2][2] + w * m.m[3][2]};
}

struct GpuMesh {
    GLuint array = 0;
    std::vector<std::vector<IndexRange>> subsets;
};

class Replayer {
public:
    Replayer(const TraceDevice& trace, const Output& output) : output_(output) {
        mesh_ = Program(kMeshVertex);
        point_ = Program(kPointVertex);
        overlay_ = Program(kOverlayVertex);
        auto at = [](GLuint p, const char* name) { return glGetUniformLocation(p, name); };
        for (GLuint p : {mesh_, point_}) glUniform1f(at(p, "uPointSprite"), p == point_ ? 1.0f : 0.0f);
        const ViewRect picture = FitPicture(kWidth, kHeight, output.width, output.height);
        glUseProgram(point_);
        glUniform1f(at(point_, "uPictureScale"), static_cast<float>(picture.height) / kHeight);

        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        GLuint buffers[2];
        glGenRenderbuffers(2, buffers);
        glBindRenderbuffer(GL_RENDERBUFFER, buffers[0]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, output.samples, GL_RGBA8, output.width, output.height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, buffers[0]);
        glBindRenderbuffer(GL_RENDERBUFFER, buffers[1]);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, output.samples, GL_DEPTH24_STENCIL8, output.width,
                                         output.height);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, buffers[1]);
        if (output.samples > 0) {
            glGenFramebuffers(1, &resolveFramebuffer_);
            glBindFramebuffer(GL_FRAMEBUFFER, resolveFramebuffer_);
            GLuint resolved = 0;
            glGenRenderbuffers(1, &resolved);
            glBindRenderbuffer(GL_RENDERBUFFER, resolved);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, output.width, output.height);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, resolved);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        }
        if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE)
            throw DemoError("cannot make a frame buffer of that size and sample count");
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glViewport(picture.x, picture.y, picture.width, picture.height);
        glScissor(picture.x, picture.y, picture.width, picture.height);
        glEnable(GL_SCISSOR_TEST);
        glEnable(GL_PROGRAM_POINT_SIZE);
        glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);

        // Textures with their mip chains, sampled linearly.
        for (const auto& image : trace.textures) {
            GLuint name = 0;
            glGenTextures(1, &name);
            glBindTexture(GL_TEXTURE_2D, name);
            for (size_t i = 0; i < image->levels.size(); ++i) {
                const TextureLevel& l = image->levels[i];
                glTexImage2D(GL_TEXTURE_2D, static_cast<GLint>(i), GL_RGBA8, static_cast<GLsizei>(l.width),
                             static_cast<GLsizei>(l.height), 0, GL_RGBA, GL_UNSIGNED_BYTE, l.rgba.data());
            }
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, static_cast<GLint>(image->levels.size() - 1));
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
            textures_.push_back(name);
        }
        const uint8_t white[4] = {255, 255, 255, 255};
        glGenTextures(1, &white_);
        glBindTexture(GL_TEXTURE_2D, white_);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, white);

        // Meshes in static buffers.
        for (const auto& geometry : trace.meshes) {
            GpuMesh m;
            m.subsets = geometry->subsets;
            GLuint b[2];
            glGenVertexArrays(1, &m.array);
            glBindVertexArray(m.array);
            glGenBuffers(2, b);
            glBindBuffer(GL_ARRAY_BUFFER, b[0]);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(geometry->vertices.size() * sizeof(MeshVertex)),
                         geometry->vertices.data(), GL_STATIC_DRAW);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b[1]);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(geometry->indices.size() * 4),
                         geometry->indices.data(), GL_STATIC_DRAW);
            const auto stride = static_cast<GLsizei>(sizeof(MeshVertex));
            glEnableVertexAttribArray(0);
            glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, position)));
            glEnableVertexAttribArray(1);
            glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, normal)));
            glEnableVertexAttribArray(2);
            glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(MeshVertex, uv)));
            meshes_.push_back(std::move(m));
        }

        // Two stream buffers: the fountain's points and the overlay quads.
        glGenVertexArrays(1, &pointArray_);
        glBindVertexArray(pointArray_);
        glGenBuffers(1, &pointBuffer_);
        glBindBuffer(GL_ARRAY_BUFFER, pointBuffer_);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Point), reinterpret_cast<void*>(offsetof(Point, position)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Point), reinterpret_cast<void*>(offsetof(Point, colour)));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, sizeof(Point), reinterpret_cast<void*>(offsetof(Point, size)));
        glGenVertexArrays(1, &overlayArray_);
        glBindVertexArray(overlayArray_);
        glGenBuffers(1, &overlayBuffer_);
        glBindBuffer(GL_ARRAY_BUFFER, overlayBuffer_);
        const auto s = static_cast<GLsizei>(sizeof(SpriteVertex));
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, s, reinterpret_cast<void*>(offsetof(SpriteVertex, x)));
        glEnableVertexAttribArray(1);
        glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, s, reinterpret_cast<void*>(offsetof(SpriteVertex, color)));
        glEnableVertexAttribArray(2);
        glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, s, reinterpret_cast<void*>(offsetof(SpriteVertex, u)));
        glFinish();
    }

    void Draw(const Frame& f) {
        float c[3];
        Colour(f.clear, c);
        glDepthMask(GL_TRUE);
        glClearColor(c[0], c[1], c[2], 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        float fogColour[3];
        Colour(f.fogColour, fogColour);
        auto at = [](GLuint p, const char* name) { return glGetUniformLocation(p, name); };

        if (!f.meshes.empty()) {
            glUseProgram(mesh_);
            glUniformMatrix4fv(at(mesh_, "uProj"), 1, GL_FALSE, &f.projection.m[0][0]);
            float ambient[3];
            Colour(f.ambient, ambient);
            glUniform3fv(at(mesh_, "uAmbient"), 1, ambient);
            glUniform3fv(at(mesh_, "uFogColour"), 1, fogColour);
            float position[8][4], direction[8][4], colour[8][4], attenuation[8][4];
            const int count = static_cast<int>(std::min<size_t>(f.lights.size(), 8));
            for (int i = 0; i < count; ++i) {
                const Light& l = f.lights[static_cast<size_t>(i)];
                const bool point = l.type != 3.0f;
                const D3DVECTOR p = Transform(l.position, f.view, 1.0f);
                D3DVECTOR d = Transform(l.direction, f.view, 0.0f);
                const float n = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
                if (n > 0) d = {-d.x / n, -d.y / n, -d.z / n};
                const float pv[4] = {p.x, p.y, p.z, point ? 1.0f : 0.0f}, dv[4] = {d.x, d.y, d.z, 0.0f};
                const float cv[4] = {l.diffuse.r, l.diffuse.g, l.diffuse.b, 1.0f};
                const float av[4] = {l.attenuation[0], l.attenuation[1], l.attenuation[2], l.range};
                std::memcpy(position[i], pv, 16);
                std::memcpy(direction[i], dv, 16);
                std::memcpy(colour[i], cv, 16);
                std::memcpy(attenuation[i], av, 16);
            }
            glUniform1i(at(mesh_, "uLightCount"), count);
            if (count > 0) {
                glUniform4fv(at(mesh_, "uLightPosition"), count, &position[0][0]);
                glUniform4fv(at(mesh_, "uLightDirection"), count, &direction[0][0]);
                glUniform4fv(at(mesh_, "uLightColour"), count, &colour[0][0]);
                glUniform4fv(at(mesh_, "uLightAttenuation"), count, &attenuation[0][0]);
            }
            const GLint worldView = at(mesh_, "uWorldView"), diffuse = at(mesh_, "uDiffuse"),
                        emissive = at(mesh_, "uEmissive"), lit = at(mesh_, "uLit"), fog = at(mesh_, "uFog");
            uint32_t matrix = ~0u;
            int fogOn = -1;
            for (const MeshDraw& d : f.meshes) {
                if (d.matrix != matrix) {
                    matrix = d.matrix;
                    D3DMATRIX wv;
                    D3DXMatrixMultiply(wv, f.matrices[matrix], f.view);
                    glUniformMatrix4fv(worldView, 1, GL_FALSE, &wv.m[0][0]);
                }
                if (static_cast<int>(d.fog) != fogOn) {
                    fogOn = d.fog;
                    glUniform2f(fog, f.fogStart, d.fog ? f.fogEnd : f.fogStart);
                }
                glUniform4fv(diffuse, 1, &d.diffuse.r);
                glUniform4fv(emissive, 1, &d.emissive.r);
                glUniform1f(lit, d.lit ? 1.0f : 0.0f);
                SetRaster(d.blend, d.srcBlend, d.dstBlend, d.ztest, d.zwrite, d.cull);
                BindTexture(d.texture);
                const GpuMesh& m = meshes_[d.mesh];
                if (d.subset >= m.subsets.size()) continue;
                glBindVertexArray(m.array);
                for (const IndexRange& r : m.subsets[d.subset]) {
                    glDrawElements(GL_TRIANGLES, static_cast<GLsizei>(r.indexCount), GL_UNSIGNED_INT,
                                   reinterpret_cast<void*>(static_cast<uintptr_t>(r.firstIndex) * 4));
                }
            }
        }

        if (!f.points.empty()) {
            glUseProgram(point_);
            glUniformMatrix4fv(at(point_, "uProj"), 1, GL_FALSE, &f.projection.m[0][0]);
            glUniformMatrix4fv(at(point_, "uWorldView"), 1, GL_FALSE, &f.view.m[0][0]);
            glUniform3fv(at(point_, "uScale"), 1, f.pointScale);
            glUniform2f(at(point_, "uFog"), f.fogStart, f.pointFog ? f.fogEnd : f.fogStart);
            glUniform3fv(at(point_, "uFogColour"), 1, fogColour);
            SetRaster(true, 5, 6, true, false, 1);
            BindTexture(f.pointTexture);
            glBindVertexArray(pointArray_);
            glBindBuffer(GL_ARRAY_BUFFER, pointBuffer_);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(f.points.size() * sizeof(Point)), f.points.data(),
                         GL_STREAM_DRAW);
            glDrawArrays(GL_POINTS, 0, static_cast<GLsizei>(f.points.size()));
        }

        if (!f.overlays.empty()) {
            glUseProgram(overlay_);
            SetRaster(true, 5, 6, false, false, 1);
            glBindVertexArray(overlayArray_);
            glBindBuffer(GL_ARRAY_BUFFER, overlayBuffer_);
            glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(f.overlayVertices.size() * sizeof(SpriteVertex)),
                         f.overlayVertices.data(), GL_STREAM_DRAW);
            for (const OverlayDraw& o : f.overlays) {
                BindTexture(o.texture);
                glDrawArrays(GL_TRIANGLES, static_cast<GLint>(o.first), static_cast<GLsizei>(o.count));
            }
        }

        if (resolveFramebuffer_ != 0) {
            glBindFramebuffer(GL_DRAW_FRAMEBUFFER, resolveFramebuffer_);
            glDisable(GL_SCISSOR_TEST);
            glBlitFramebuffer(0, 0, output_.width, output_.height, 0, 0, output_.width, output_.height,
                              GL_COLOR_BUFFER_BIT, GL_NEAREST);
            glEnable(GL_SCISSOR_TEST);
            glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        }
        // One frame in flight while the next is drawn, as the device keeps.
        if (fence_) {
            glClientWaitSync(fence_, GL_SYNC_FLUSH_COMMANDS_BIT, ~0ull);
            glDeleteSync(fence_);
        }
        fence_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    }

    void Finish() { glFinish(); }

private:
    void SetRaster(bool blend, uint32_t src, uint32_t dst, bool ztest, bool zwrite, uint32_t cull) {
        const uint32_t key = (blend ? 1u : 0u) | src << 1 | dst << 5 | (ztest ? 1u : 0u) << 9 |
                             (zwrite ? 1u : 0u) << 10 | cull << 11;
        if (key == raster_) return;
        raster_ = key;
        if (blend) {
            glEnable(GL_BLEND);
            glBlendFunc(Blend(src), Blend(dst));
        } else {
            glDisable(GL_BLEND);
        }
        if (ztest) glEnable(GL_DEPTH_TEST); else glDisable(GL_DEPTH_TEST);
        glDepthFunc(GL_LEQUAL);
        glDepthMask(zwrite ? GL_TRUE : GL_FALSE);
        if (cull == D3DCULL_NONE) {
            glDisable(GL_CULL_FACE);
        } else {
            glEnable(GL_CULL_FACE);
            glFrontFace(cull == D3DCULL_CW ? GL_CW : GL_CCW);
        }
    }
    void BindTexture(int32_t index) {
        const GLuint name = index >= 0 ? textures_[static_cast<size_t>(index)] : white_;
        if (name != boundTexture_) glBindTexture(GL_TEXTURE_2D, name);
        boundTexture_ = name;
    }

    GLuint mesh_ = 0, point_ = 0, overlay_ = 0, framebuffer_ = 0, white_ = 0;
    GLuint pointArray_ = 0, pointBuffer_ = 0, overlayArray_ = 0, overlayBuffer_ = 0;
    std::vector<GLuint> textures_;
    std::vector<GpuMesh> meshes_;
    uint32_t raster_ = ~0u;
    GLuint boundTexture_ = ~0u;
    GLsync fence_ = nullptr;
    Output output_;
    GLuint resolveFramebuffer_ = 0;
};

double Seconds(std::chrono::steady_clock::duration d) { return std::chrono::duration<double>(d).count(); }

int Replay(int argc, char** argv) {
    std::string data = ExecutableFolder();
    uint32_t fps = 60;
    double seconds = 1e9;
    std::optional<uint32_t> seed;
    Output output;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string option = argv[i], value = argv[i + 1];
        if (option == "--data") data = value;
        else if (option == "--fps") fps = static_cast<uint32_t>(std::stoul(value));
        else if (option == "--seconds") seconds = std::stod(value);
        else if (option == "--seed") seed = static_cast<uint32_t>(std::stoul(value));
        else if (option == "--size") ParseSize(value, output);
        else if (option == "--msaa") output.samples = std::stoi(value);
        else throw DemoError("unknown option " + option);
    }
    while (data.size() > 1 && data.back() == '/') data.pop_back();

    FixedStepClock clock(fps);
    Random random;
    if (seed) random.FixSeed(*seed);
    std::unique_ptr<MusicPlayer> player = CreateMusicPlayer(false);
    WindowOptions options;
    options.fullscreen = false;
    options.offscreen = true;
    Window window(options);
    AppPath = data;
    SystemClock = &clock;
    Rng = &random;
    mp3 = player.get();
    frmMain = &window;

    // Record: the demo's loading and frames against the tracing device.
    const auto lastFrame = static_cast<uint64_t>(std::llround(seconds * fps));
    auto owned = std::make_unique<TraceDevice>(clock, std::max<uint64_t>(lastFrame, 1));
    TraceDevice& trace = *owned;
    const auto loadStart = std::chrono::steady_clock::now();
    double decodeMs = 0;
    DX = std::make_unique<DirectX8>();
    D3D = DX->Direct3DCreate8();
    D3DX = std::make_unique<D3DX8>();
    D3D->SubstituteNextDevice(std::move(owned));
    size_t timelineFirst = 0, timelineEnd = 0;
    try {
        if (!m_InitGraphicsMode(3, D3DFMT_D24S8, false)) throw DemoError("no device");
        LoadEverything();
        decodeMs = Seconds(std::chrono::steady_clock::now() - loadStart) * 1000.0;
        StartTimeline();
        demoRunning = True16;
        timelineFirst = trace.frames.size() - 1;
        timelineEnd = SIZE_MAX;
        RunFrameLoop(DemoRoutines());
        timelineEnd = trace.frames.size() - 1;
        RunEndScreen(DrawEndScreen);
    } catch (const StopRecording&) {
        if (timelineEnd == SIZE_MAX) timelineEnd = trace.frames.size();
    }
    if (timelineEnd <= timelineFirst) throw DemoError("the run ends before the timeline starts");

    // Replay: only the drawing is timed.
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GLContext context = SDL_GL_CreateContext(window.Handle());
    if (!context) throw DemoError(std::string("no GL context: ") + SDL_GetError());
    SDL_GL_MakeCurrent(window.Handle(), context);
    Replayer replayer(trace, output);
    // The loading screens are drawn first, untimed, as the benchmark times
    // only the timeline's frames.
    for (size_t i = 0; i < timelineFirst; ++i) replayer.Draw(trace.frames[i]);
    replayer.Finish();
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = timelineFirst; i < timelineEnd; ++i) replayer.Draw(trace.frames[i]);
    replayer.Finish();
    const double wall = Seconds(std::chrono::steady_clock::now() - start);
    const size_t frames = timelineEnd - timelineFirst;
    std::printf("{\"frames\": %zu, \"wall_s\": %.3f, \"fps\": %.2f, \"decode_ms\": %.1f, \"renderer\": \"%s\"}\n",
                frames, wall, static_cast<double>(frames) / wall, decodeMs,
                reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::fflush(stdout);
    std::_Exit(0);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        return Replay(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "velmora-replay: " << error.what() << std::endl;
        return 1;
    }
}
