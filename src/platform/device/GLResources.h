// Textures and meshes that live in the GL device's context. They hold a link
// to the device that goes null when the device (and its context) is gone, so
// releasing them afterwards frees nothing twice and calls no GL.
#pragma once

#include <memory>
#include <utility>
#include <vector>

#include "platform/device/Device.h"

class GLDevice;

struct GLDeviceShared {
    GLDevice* device = nullptr;
};

class GLTexture final : public Direct3DTexture8 {
public:
    GLTexture(std::shared_ptr<GLDeviceShared> shared, unsigned name, uint32_t width, uint32_t height,
              uint32_t levels, D3DPOOL pool)
        : shared_(std::move(shared)), name_(name), width_(width), height_(height), levels_(levels), pool_(pool) {}
    ~GLTexture() override;
    GLTexture(const GLTexture&) = delete;
    GLTexture& operator=(const GLTexture&) = delete;

    uint32_t Width() const override { return width_; }
    uint32_t Height() const override { return height_; }
    uint32_t LevelCount() const override { return levels_; }
    D3DPOOL Pool() const override { return pool_; }
    unsigned Name() const { return name_; }
    const GLDeviceShared* Owner() const { return shared_.get(); }

private:
    std::shared_ptr<GLDeviceShared> shared_;
    unsigned name_;
    uint32_t width_, height_, levels_;
    D3DPOOL pool_;
};

class GLMesh final : public D3DXMesh {
public:
    GLMesh(std::shared_ptr<GLDeviceShared> shared, DWORD fvf, unsigned vertexArray, unsigned vertexBuffer,
           unsigned indexBuffer, uint32_t vertexCount, uint32_t faceCount,
           std::vector<std::vector<IndexRange>> subsets)
        : shared_(std::move(shared)), fvf_(fvf), vertexArray_(vertexArray), vertexBuffer_(vertexBuffer),
          indexBuffer_(indexBuffer), vertexCount_(vertexCount), faceCount_(faceCount),
          subsets_(std::move(subsets)) {}
    ~GLMesh() override;
    GLMesh(const GLMesh&) = delete;
    GLMesh& operator=(const GLMesh&) = delete;

    HRESULT DrawSubset(DWORD attribId) override;
    DWORD GetFVF() const override { return fvf_; }
    uint32_t GetNumVertices() const override { return vertexCount_; }
    uint32_t GetNumFaces() const override { return faceCount_; }

    unsigned VertexArray() const { return vertexArray_; }
    const std::vector<std::vector<IndexRange>>& Subsets() const { return subsets_; }

private:
    std::shared_ptr<GLDeviceShared> shared_;
    DWORD fvf_;
    unsigned vertexArray_, vertexBuffer_, indexBuffer_;
    uint32_t vertexCount_, faceCount_;
    std::vector<std::vector<IndexRange>> subsets_;
};
