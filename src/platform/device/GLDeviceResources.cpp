#include <SDL.h>

#include <cstddef>

#include "platform/device/GLApi.h"
#include "platform/device/GLDevice.h"
#include "platform/device/GLResources.h"
#include "platform/device/VertexFormat.h"

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
