// A real GL device off screen for rendering tests: a hidden SDL window (SDL's
// offscreen driver unless another is chosen), the device on it, and the frame
// read back at every Present; with helpers to check pixels and draw quads.
#pragma once

#include <SDL.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/capture/FrameCapture.h"
#include "platform/device/GLDevice.h"

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};
inline std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << '(' << c.r << ',' << c.g << ',' << c.b << ')';
}

// Pre-transformed, lit vertex (XYZRHW | DIFFUSE | SPECULAR | TEX1).
struct ScreenVertex {
    float x, y, z, rhw;
    D3DCOLOR diffuse;
    D3DCOLOR specular;
    float u, v;
};
constexpr DWORD kScreenVertexFvf = 0x1C4;

// Keeps the last presented frame for reading pixels back.
class FrameKeeper : public PresentListener {
public:
    int presents = 0;
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        ++presents;
        if (rgba == nullptr) return;
        width_ = width;
        frame_.assign(rgba, rgba + static_cast<size_t>(width) * height * 4);
    }
    bool WantsPixels() const override { return true; }
    Rgb Pixel(int x, int y) const {
        const uint8_t* p = &frame_.at((static_cast<size_t>(y) * width_ + static_cast<size_t>(x)) * 4);
        return {p[0], p[1], p[2]};
    }
    int Alpha(int x, int y) const {
        return frame_.at((static_cast<size_t>(y) * width_ + static_cast<size_t>(x)) * 4 + 3);
    }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return width_ ? static_cast<uint32_t>(frame_.size() / 4 / width_) : 0; }
    // With VELMORA_TEST_FRAMES set, writes the last frame to that folder as
    // NAME/frame_000000.png for a person to look at.
    void SaveIfAsked(const std::string& name) const {
        const char* folder = std::getenv("VELMORA_TEST_FRAMES");
        if (!folder || frame_.empty()) return;
        PngFrameWriter writer(std::string(folder) + "/" + name);
        writer.OnPresent(frame_.data(), width_, Height());
    }

private:
    std::vector<uint8_t> frame_;
    uint32_t width_ = 0;
};

inline void ExpectPixel(const FrameKeeper& f, int x, int y, Rgb want, int tolerance = 0, const char* what = "") {
    const Rgb got = f.Pixel(x, y);
    EXPECT_TRUE(std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
                std::abs(got.b - want.b) <= tolerance)
        << what << " at " << x << "," << y << ": " << got << ", want " << want << " within " << tolerance;
}

// How many pixels of (x0, y0)-(x1, y1) satisfy `match`, and their bounds (inclusive).
struct Found {
    int count = 0;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
};
template <class Match>
Found Find(const FrameKeeper& frame, int x0, int y0, int x1, int y1, Match match) {
    Found f;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (!match(frame.Pixel(x, y))) continue;
            ++f.count;
            f.left = std::min(f.left, x);
            f.right = std::max(f.right, x);
            f.top = std::min(f.top, y);
            f.bottom = std::max(f.bottom, y);
        }
    }
    return f;
}

class DeviceHarness final : public FrameKeeper {
public:
    // The device only reads back unless `presentToWindow` also shows frames in
    // the (hidden) window.
    explicit DeviceHarness(GLDeviceConfig config = {}, bool presentToWindow = false) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) throw std::runtime_error(SDL_GetError());
        window_ = SDL_CreateWindow("device test", 0, 0, static_cast<int>(config.width),
                                   static_cast<int>(config.height), SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window_) throw std::runtime_error(SDL_GetError());
        config.window = window_;
        config.presentToWindow = presentToWindow;
        config.vsync = false;
        device_ = std::make_unique<GLDevice>(config);
        device_->SetPresentListener(this);
    }
    ~DeviceHarness() override {
        device_.reset();
        SDL_DestroyWindow(window_);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
    DeviceHarness(const DeviceHarness&) = delete;
    DeviceHarness& operator=(const DeviceHarness&) = delete;

    GLDevice& device() { return *device_; }

    // Clears and begins a scene.
    void Begin(D3DCOLOR clear = 0xFF000000u, DWORD flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER) {
        if (FAILED(device_->Clear(0, nullptr, flags, clear, 1.0f, 0)) || FAILED(device_->BeginScene()))
            throw std::runtime_error("Clear or BeginScene failed");
    }
    // Ends the scene and presents, keeping the frame for Pixel().
    void End() {
        if (FAILED(device_->EndScene())) throw std::runtime_error("EndScene failed");
        Present();
    }
    void Present() {
        if (FAILED(device_->Present(nullptr, nullptr, nullptr, nullptr))) throw std::runtime_error("Present failed");
    }

private:
    SDL_Window* window_ = nullptr;
    std::unique_ptr<GLDevice> device_;
};

// SRCALPHA / INVSRCALPHA blending, as the demo's overlays and sprites use.
inline void EnableAlphaBlending(Direct3DDevice8& device) {
    device.SetRenderState(D3DRS_ALPHABLENDENABLE, 1);
    device.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
}

// Two triangles covering (x0, y0)-(x1, y1) on screen, clockwise (drawn under
// the default culling), textured 0..1 across.
inline void DrawScreenQuad(Direct3DDevice8& device, float x0, float y0, float x1, float y1, D3DCOLOR diffuse,
                           float z = 0.0f, D3DCOLOR specular = 0xFF000000u) {
    const ScreenVertex v[6] = {
        {x0, y0, z, 1, diffuse, specular, 0, 0}, {x1, y0, z, 1, diffuse, specular, 1, 0},
        {x0, y1, z, 1, diffuse, specular, 0, 1}, {x1, y0, z, 1, diffuse, specular, 1, 0},
        {x1, y1, z, 1, diffuse, specular, 1, 1}, {x0, y1, z, 1, diffuse, specular, 0, 1},
    };
    device.SetVertexShader(kScreenVertexFvf);
    if (FAILED(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ScreenVertex))))
        throw std::runtime_error("DrawPrimitiveUP failed");
}

// A texture of one level from ARGB colours, row 0 = top.
inline std::shared_ptr<Direct3DTexture8> MakeTexture(Direct3DDevice8& device, uint32_t width, uint32_t height,
                                                     const std::vector<D3DCOLOR>& argb) {
    TextureImage image;
    image.levels.resize(1);
    image.levels[0].width = width;
    image.levels[0].height = height;
    for (D3DCOLOR c : argb) {
        image.levels[0].rgba.push_back(static_cast<uint8_t>(c >> 16));
        image.levels[0].rgba.push_back(static_cast<uint8_t>(c >> 8));
        image.levels[0].rgba.push_back(static_cast<uint8_t>(c));
        image.levels[0].rgba.push_back(static_cast<uint8_t>(c >> 24));
    }
    std::shared_ptr<Direct3DTexture8> texture;
    if (FAILED(device.CreateTexture(image, D3DPOOL_MANAGED, texture))) throw std::runtime_error("CreateTexture failed");
    return texture;
}
