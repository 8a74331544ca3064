#include <SDL.h>

#include "base/Errors.h"
#include "platform/device/GLApi.h"
#include "platform/device/GLDevice.h"
#include "platform/device/VertexFormat.h"

HRESULT GLDevice::Present(const RECT*, const RECT*, void*, const void*) {
    FlushPointBatch();
    if (listener_) listener_->OnPresentStart();
    const auto width = static_cast<GLsizei>(outputWidth_), height = static_cast<GLsizei>(outputHeight_);
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
        // The output has the window's size except in the frame the window was
        // resized in: that one is scaled, and the next is drawn at the new size.
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
    CheckGLErrors();
    if (listener_) listener_->OnPresent(wantsPixels ? pixels_.data() : nullptr, outputWidth_, outputHeight_);
    FollowOutputSize();
    return D3D_OK;
}

void GLDevice::FollowOutputSize() {
    if (!config_.outputSize) return;
    uint32_t width = outputWidth_, height = outputHeight_;
    config_.outputSize(width, height);
    if (width == 0 || height == 0 || (width == outputWidth_ && height == outputHeight_)) return;
    ResizeTargets(width, height);
}

void GLDevice::ResizeTargets(uint32_t width, uint32_t height) {
    FlushFrames();
    if (packBuffers_[0] != 0) glDeleteBuffers(2, packBuffers_);
    packBuffers_[0] = packBuffers_[1] = 0;
    DeleteTargets();
    outputWidth_ = width;
    outputHeight_ = height;
    CreateTargets();
}

void GLDevice::ReadBackLate(unsigned readFramebuffer) {
    const auto width = static_cast<GLsizei>(outputWidth_), height = static_cast<GLsizei>(outputHeight_);
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
    if (listener_) listener_->OnFramePixels(static_cast<const uint8_t*>(mapped), outputWidth_, outputHeight_);
}

void GLDevice::FlushFrames() {
    if (pendingPack_ < 0) return;
    const int buffer = pendingPack_;
    pendingPack_ = -1;
    HandOverPacked(buffer);
}

void GLDevice::ThrottleFrames() {
    // A browser paces the frames itself and lets no one wait on a fence.
    if constexpr (kGLES) return;
    if (frameFence_ != nullptr) {
        const auto fence = static_cast<GLsync>(frameFence_);
        while (glClientWaitSync(fence, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
        }
        glDeleteSync(fence);
    }
    frameFence_ = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
}
