// The fixed-function device on OpenGL 3.3 core. Renders into an offscreen
// target of the output's size (the window's drawable, or the frames' size off
// screen) and shows it in the window at Present. The back buffer's frame, in
// which the demo lays out its picture, maps onto the largest rectangle of its
// aspect centred in the output; the rest stays black.
//
// Conventions (one recipe, chosen together):
// - Back-buffer rows are stored top row first: clip-space y is negated in the
//   vertex shader, so read-back needs no flip and Present blits upside down.
// - With that flip GL sees Direct3D's on-screen winding unchanged, so
//   D3DCULL_CCW culls GL's counter-clockwise (back) faces with glFrontFace(GL_CCW),
//   and point-sprite coordinates use GL_LOWER_LEFT to start at the top-left.
// - Every vertex, pre-transformed ones included, moves 63/128 pixel right and
//   down so that Direct3D's integer pixel centres and texel mapping hold.
// - Depth: glClipControl(GL_ZERO_TO_ONE) where available, else z' = 2z - w.
//
// Where it lives: GLDevice.cpp makes the context, targets and programs and
// clears; GLDeviceState.cpp keeps the Direct3D state and its defaults;
// GLDeviceFlush.cpp mirrors that state into GL before a draw; GLDeviceDraw.cpp
// streams vertices, batches points and draws meshes; GLDevicePresent.cpp shows
// and reads back frames; GLDeviceResources.cpp makes textures and meshes.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "platform/device/Device.h"
#include "platform/device/GLShaders.h"
#include "platform/device/VertexFormat.h"

struct SDL_Window;
class GLTexture;
class GLMesh;
struct GLDeviceShared;

struct GLDeviceConfig {
    SDL_Window* window = nullptr;  // created with SDL_WINDOW_OPENGL
    uint32_t width = 1024;         // back buffer: the frame the demo lays its picture out in
    uint32_t height = 768;
    uint32_t outputWidth = 0;      // what is rendered and read back; 0: the back buffer's size
    uint32_t outputHeight = 0;
    // Asked after each Present; a new size takes effect from the next frame.
    std::function<void(uint32_t& width, uint32_t& height)> outputSize;
    DWORD depthFormat = D3DFMT_D24S8;  // D3DFMT_UNKNOWN: no depth buffer
    int samples = 0;                   // multisampling; 0 or 1: none; kRendererSamples: the renderer's default
    bool presentToWindow = true;       // false off screen: Present only reads back
    bool vsync = true;
    bool allowClipControl = true;      // false forces the shader depth fix (tests)

    // 4 samples on a GPU, none on a software renderer, where they cost too much.
    static constexpr int kRendererSamples = -1;
};

class GLDevice final : public Direct3DDevice8 {
public:
    // Creates the GL context on the window and every GL object the device needs.
    // Throws ResultError when the context or the objects cannot be made.
    explicit GLDevice(const GLDeviceConfig& config);
    ~GLDevice() override;
    GLDevice(const GLDevice&) = delete;
    GLDevice& operator=(const GLDevice&) = delete;

    HRESULT SetVertexShader(DWORD fvf) override;
    HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) override;
    HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) override;
    HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) override;
    HRESULT SetTexture(DWORD stage, Direct3DTexture8* texture) override;
    HRESULT SetMaterial(const D3DMATERIAL8& material) override;
    HRESULT SetLight(DWORD index, const D3DLIGHT8& light) override;
    HRESULT LightEnable(DWORD index, BOOL enable) override;
    HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                  DWORD stencil) override;
    HRESULT BeginScene() override;
    HRESULT EndScene() override;
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                            UINT stride) override;
    HRESULT Present(const RECT* source, const RECT* dest, void* overrideWindow,
                    const void* dirtyRegion) override;

    HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const override;
    HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const override;
    HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const override;
    HRESULT GetTexture(DWORD stage, Direct3DTexture8** texture) const override;
    HRESULT GetVertexShader(DWORD* fvf) const override;
    uint32_t BackBufferWidth() const override { return config_.width; }
    uint32_t BackBufferHeight() const override { return config_.height; }
    PixelScale PictureScale() const override;
    std::string RendererName() const override;
    int SampleCount() const override { return samples_; }
    // The multisampling the device renders with (0: none).
    int Samples() const { return samples_; }

    HRESULT CreateTexture(const TextureImage& image, D3DPOOL pool,
                          std::shared_ptr<Direct3DTexture8>& texture) override;
    HRESULT CreateMesh(const MeshGeometry& geometry, std::shared_ptr<D3DXMesh>& mesh) override;
    void SetPresentListener(PresentListener* listener) override { listener_ = listener; }
    void FlushFrames() override;

    // Builds with GL checks (VELMORA_GL_DEBUG): throws ResultError with the
    // first error the driver reported since the last check, in its words,
    // which name the GL call. Present checks after every frame. Other builds
    // do nothing.
    void CheckGLErrors();

    // GLMesh::DrawSubset draws through the device.
    HRESULT DrawMeshSubset(const GLMesh& mesh, DWORD attribId);
    // Used by GLMesh and GLTexture as they are released: the device drops its
    // links to them and makes its context current for their GL deletion.
    void ForgetTexture(const GLTexture* texture);
    void ForgetVertexArray(unsigned name);

private:
    static constexpr int kRenderStateCount = 256;
    static constexpr int kStageCount = 8;
    static constexpr int kStageStateCount = 32;
    static constexpr unsigned kNoName = 0xFFFFFFFFu;

    // What GL has to be told again before the next draw: one row a dirty bit,
    // with the function that flushes it and whether that sets uniforms (which
    // each program holds for itself, so a change of program makes them dirty).
    // FlushState runs the flushes in the order of the rows; a new state is
    // one row here and its Flush function.
#define VELMORA_DEVICE_FLUSHES(X)                       \
    X(Blend, FlushBlend, false)                         \
    X(Depth, FlushDepth, false)                         \
    X(Cull, FlushCull, false)                           \
    X(ColorMask, FlushColorMask, false)                 \
    X(Fill, FlushFillMode, false)                       \
    X(Transforms, FlushTransforms, true)                \
    X(Lights, FlushLights, true)                        \
    X(LightingSwitches, FlushLightingSwitches, true)    \
    X(Material, FlushMaterial, true)                    \
    X(Fog, FlushFog, true)                              \
    X(Points, FlushPoints, true)                        \
    X(Stages, FlushStages, true)                        \
    X(Sampler0, FlushSampler0, false)                   \
    X(Sampler1, FlushSampler1, false)                   \
    X(AlphaTest, FlushAlphaTest, true)                  \
    X(Screen, FlushScreen, true)

    enum DirtyIndex : uint32_t {
#define VELMORA_DIRTY_INDEX(name, flush, uniforms) kDirtyIndex##name,
        VELMORA_DEVICE_FLUSHES(VELMORA_DIRTY_INDEX)
#undef VELMORA_DIRTY_INDEX
        kDirtyCount
    };
    static_assert(kDirtyCount <= 32, "the dirty bits are one 32-bit word");
    enum DirtyBit : uint32_t {
#define VELMORA_DIRTY_BIT(name, flush, uniforms) kDirty##name = 1u << kDirtyIndex##name,
        VELMORA_DEVICE_FLUSHES(VELMORA_DIRTY_BIT)
#undef VELMORA_DIRTY_BIT
    };
    // The bits whose flushes set uniforms.
    static constexpr uint32_t kDirtyUniforms = 0
#define VELMORA_DIRTY_UNIFORM(name, flush, uniforms) | (uniforms ? uint32_t(kDirty##name) : 0u)
        VELMORA_DEVICE_FLUSHES(VELMORA_DIRTY_UNIFORM)
#undef VELMORA_DIRTY_UNIFORM
        ;

    // A render state the device starts with a value other than 0 or mirrors
    // into GL: its initial value and what a change to it makes dirty. Any
    // other state is only stored.
    struct RenderStateRow {
        D3DRENDERSTATETYPE state;
        DWORD initial;
        uint32_t dirty;
    };
    static const RenderStateRow kRenderStateRows[];

    struct Light {
        D3DLIGHT8 record{};
        bool defined = false;
        bool enabled = false;
    };

    struct Program {
        unsigned name = 0;
        ShaderVariant variant;
        ShaderUniforms uniforms;
    };

    void Release();
    void CreateContext();
    int ChooseSamples() const;
    void CreateTargets();
    void DeleteTargets();
    void FollowOutputSize();
    void ResizeTargets(uint32_t width, uint32_t height);
    void CreatePrograms();
    Program CreateProgram(const ShaderVariant* variant);
    void CreateStream();
    void ApplyDefaultState();
    void MarkRenderStateDirty(DWORD state);
    float RenderStateFloat(DWORD state) const;

    // The vertex-flag word the shaders branch on (kVertex* bits).
    int32_t VertexFlags() const;
    ShaderVariant CurrentVariant(bool points) const;
    int EvaluatedStages(int colour[][4], int alpha[][4]) const;
    int FogMode() const;
    void AlphaTest(DWORD& func, DWORD& reference) const;
    void SelectProgram(bool points);
    void FlushState(bool points);
    void FlushBlend();
    void FlushDepth();
    void FlushCull();
    void FlushColorMask();
    void FlushFillMode();
    void FlushTransforms();
    void FlushLights();
    void FlushLightingSwitches();
    void FlushMaterial();
    void FlushFog();
    void FlushPoints();
    void FlushStages();
    void FlushSampler(int stage);
    void FlushSampler0() { FlushSampler(0); }
    void FlushSampler1() { FlushSampler(1); }
    void FlushAlphaTest();
    void FlushScreen();

    void BindStreamLayout(DWORD fvf, UINT stride);
    HRESULT StreamDraw(unsigned mode, const void* data, size_t bytes, size_t tail, UINT stride, uint32_t vertices);
    void FlushPointBatch();

    void ThrottleFrames();
    void ReadBackLate(unsigned readFramebuffer);
    size_t FrameBytes() const { return static_cast<size_t>(outputWidth_) * outputHeight_ * 4; }
    void HandOverPacked(int buffer);

    GLDeviceConfig config_;
    std::shared_ptr<GLDeviceShared> shared_;
    void* context_ = nullptr;  // SDL_GLContext
    bool clipControl_ = false;
    bool hasStencil_ = false;
    bool textureStorage_ = false;  // immutable texture storage is available
    float maxPointSize_ = 64.0f;

    // The render target: the output, with the picture centred in it. The
    // back buffer's frame maps onto the picture.
    uint32_t outputWidth_ = 0, outputHeight_ = 0;
    ViewRect picture_{};
    int samples_ = 0;

    // GL checks: the driver's first error report since the last check.
    std::string glErrors_;

    // GL objects.
    unsigned framebuffer_ = 0, colorBuffer_ = 0, depthBuffer_ = 0;
    unsigned resolveFramebuffer_ = 0, resolveColorBuffer_ = 0;
    std::vector<Program> programs_;  // [0]: the general program
    size_t program_ = 0;
    ShaderVariant variant_{};
    bool variantKnown_ = false;
    unsigned streamArray_ = 0, streamBuffer_ = 0;
    size_t streamSize_ = 0, streamOffset_ = 0;
    DWORD streamFvf_ = 0xFFFFFFFFu;
    UINT streamStride_ = 0;
    std::array<unsigned, 2> samplers_{};
    const ShaderUniforms* uniforms_ = nullptr;  // the current program's

    // Direct3D state.
    std::array<DWORD, kRenderStateCount> renderStates_{};
    std::array<std::array<DWORD, kStageStateCount>, kStageCount> stageStates_{};
    std::array<Direct3DTexture8*, kStageCount> textures_{};
    D3DMATRIX world_{}, view_{}, projection_{};
    D3DMATERIAL8 material_{};
    std::vector<Light> lights_;
    DWORD fvf_ = 0;
    bool inScene_ = false;

    // What GL currently has, to send only changes.
    uint32_t dirty_ = ~0u;
    int shaderFvf_ = -1;
    int boundPointSprite_ = -1;
    unsigned boundArray_ = 0;
    std::array<unsigned, 2> boundTextures_{};

    // Point draws gathered into one: the caller's vertices, each followed by its size.
    std::vector<uint8_t> pointBatch_;
    UINT pointBatchStride_ = 0;
    uint32_t pointBatchCount_ = 0;
    bool batchingPoints_ = false;

    PresentListener* listener_ = nullptr;
    std::vector<uint8_t> pixels_;
    // The fence of the frame last presented: the next Present waits for it, so
    // the GL holds one frame of work while the next is recorded (a software
    // driver keeps each queued frame's binned scene, several megabytes).
    void* frameFence_ = nullptr;  // GLsync
    // Late read-back: frames are read into two pixel-pack buffers in turn and
    // handed over one present later; `pendingPack_` is the buffer holding a
    // frame not yet handed over (-1: none).
    unsigned packBuffers_[2] = {0, 0};
    int pendingPack_ = -1;
};
