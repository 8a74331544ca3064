// The fixed-function graphics device: the whole interface the demo's modules
// draw through. Method names and meanings follow the Direct3D 8 device; every
// call returns a 32-bit result code (negative = failure).
//
// The device is abstract so that tests can record the calls a module makes;
// the real one renders with OpenGL 3.3 core (see GLDevice.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/device/D3D8Types.h"

// One mip level of a texture: RGBA8, not premultiplied, row 0 = top of the image.
struct TextureLevel {
    uint32_t width = 0;
    uint32_t height = 0;
    std::vector<uint8_t> rgba;  // width * height * 4 bytes
};

// A texture's full image as the loader made it: level 0 first, then the mips.
struct TextureImage {
    std::vector<TextureLevel> levels;
};

// A texture that lives on the device.
class Direct3DTexture8 {
public:
    virtual ~Direct3DTexture8() = default;
    virtual uint32_t Width() const = 0;   // level 0
    virtual uint32_t Height() const = 0;  // level 0
    virtual uint32_t LevelCount() const = 0;
    virtual D3DPOOL Pool() const = 0;
};

// CPU-side mesh geometry as the .x loader produces it. Every vertex carries all
// components; `fvf` says which of them the file provided (D3DFVF_XYZ always,
// plus D3DFVF_NORMAL, D3DFVF_DIFFUSE and D3DFVF_TEX1 when present).
struct MeshVertex {
    float position[3];
    float normal[3];
    D3DCOLOR diffuse;
    float uv[2];
};

struct IndexRange {
    uint32_t firstIndex;
    uint32_t indexCount;
};

struct MeshGeometry {
    DWORD fvf = D3DFVF_XYZ;
    std::vector<MeshVertex> vertices;
    std::vector<uint32_t> indices;  // triangle list
    // subsets[i] lists the index ranges of the triangles with attribute id i.
    std::vector<std::vector<IndexRange>> subsets;
};

// A mesh in static device buffers.
class D3DXMesh {
public:
    virtual ~D3DXMesh() = default;
    // Draws exactly the triangles of attribute id `attribId` with the state in force.
    virtual HRESULT DrawSubset(DWORD attribId) = 0;
    virtual DWORD GetFVF() const = 0;
    virtual uint32_t GetNumVertices() const = 0;
    virtual uint32_t GetNumFaces() const = 0;
};

struct PixelScale {
    float x = 1.0f, y = 1.0f;
};

// Called after each Present with the finished frame; lets capture and the
// fixed-step clock follow the frames without the device knowing about them.
class PresentListener {
public:
    virtual ~PresentListener() = default;
    // Called when Present begins, before any of its work.
    virtual void OnPresentStart() {}
    // rgba: width * height * 4 bytes, top row first; null when nobody asked for pixels.
    virtual void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) = 0;
    virtual bool WantsPixels() const = 0;
    // True for a listener that can take each frame's pixels one present late,
    // so that reading them back never waits for the frame being drawn. It then
    // gets null in OnPresent and every frame's pixels, in order, through
    // OnFramePixels; the last frame's come at the device's FlushFrames.
    virtual bool TakesPixelsLate() const { return false; }
    virtual void OnFramePixels(const uint8_t* /*rgba*/, uint32_t /*width*/, uint32_t /*height*/) {}
};

class Direct3DDevice8 {
public:
    virtual ~Direct3DDevice8() = default;

    virtual HRESULT SetVertexShader(DWORD fvf) = 0;
    virtual HRESULT SetRenderState(D3DRENDERSTATETYPE state, DWORD value) = 0;
    virtual HRESULT SetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD value) = 0;
    virtual HRESULT SetTransform(D3DTRANSFORMSTATETYPE state, const D3DMATRIX& matrix) = 0;
    virtual HRESULT SetTexture(DWORD stage, Direct3DTexture8* texture) = 0;
    virtual HRESULT SetMaterial(const D3DMATERIAL8& material) = 0;
    virtual HRESULT SetLight(DWORD index, const D3DLIGHT8& light) = 0;
    virtual HRESULT LightEnable(DWORD index, BOOL enable) = 0;
    virtual HRESULT Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z,
                          DWORD stencil) = 0;
    virtual HRESULT BeginScene() = 0;
    virtual HRESULT EndScene() = 0;
    virtual HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE type, UINT primitiveCount, const void* vertexData,
                                    UINT stride) = 0;
    virtual HRESULT Present(const RECT* source, const RECT* dest, void* overrideWindow,
                            const void* dirtyRegion) = 0;

    // State reads, as the device's Get* methods.
    virtual HRESULT GetRenderState(D3DRENDERSTATETYPE state, DWORD* value) const = 0;
    virtual HRESULT GetTextureStageState(DWORD stage, D3DTEXTURESTAGESTATETYPE type, DWORD* value) const = 0;
    virtual HRESULT GetTransform(D3DTRANSFORMSTATETYPE state, D3DMATRIX* matrix) const = 0;
    virtual HRESULT GetTexture(DWORD stage, Direct3DTexture8** texture) const = 0;
    virtual HRESULT GetVertexShader(DWORD* fvf) const = 0;
    virtual uint32_t BackBufferWidth() const = 0;
    virtual uint32_t BackBufferHeight() const = 0;
    // Output pixels per back-buffer pixel: the picture may be drawn larger than
    // the frame it is laid out in. Text is rasterised at this scale.
    virtual PixelScale PictureScale() const { return {}; }
    // What draws the pictures, and with how many samples per pixel (0: none).
    virtual std::string RendererName() const { return {}; }
    virtual int SampleCount() const { return 0; }

    // Resource creation, used by the loaders.
    virtual HRESULT CreateTexture(const TextureImage& image, D3DPOOL pool,
                                  std::shared_ptr<Direct3DTexture8>& texture) = 0;
    virtual HRESULT CreateMesh(const MeshGeometry& geometry, std::shared_ptr<D3DXMesh>& mesh) = 0;

    virtual void SetPresentListener(PresentListener* listener) = 0;
    // Hands the present listener any frame still being read back.
    virtual void FlushFrames() {}
};
