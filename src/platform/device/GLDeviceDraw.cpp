#include <algorithm>
#include <cstring>

#include "platform/device/GLApi.h"
#include "platform/device/GLDevice.h"
#include "platform/device/GLResources.h"
#include "platform/device/VertexFormat.h"
#include "platform/system/HeapCount.h"

namespace {

constexpr size_t kInitialStreamBytes = 256u << 10;
constexpr size_t kMaxDrawBytes = 256u << 20;
constexpr uint32_t kMaxBatchedPoints = 4096;
constexpr UINT kMaxBatchedStride = 252;

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

}  // namespace

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
    pointBatch_.resize(size_t{kMaxBatchedPoints} * (kMaxBatchedStride + sizeof(float)));
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
    if constexpr (kGLES) {
        // WebGL maps no buffers: the data is copied in.
        glBufferSubData(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes), data);
    } else {
        void* target = glMapBufferRange(GL_ARRAY_BUFFER, static_cast<GLintptr>(offset), static_cast<GLsizeiptr>(bytes),
                                        GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_RANGE_BIT | GL_MAP_UNSYNCHRONIZED_BIT);
        if (!target) return D3DERR_OUTOFVIDEOMEMORY;
        std::memcpy(target, data, bytes);
        glUnmapBuffer(GL_ARRAY_BUFFER);
    }
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
