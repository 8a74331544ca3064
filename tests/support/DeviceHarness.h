// Real GL devices off screen for rendering tests, each frame read back at
// Present for checking pixels.
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

#include "common/Variables.h"
#include "loading/m_InitGraphicsMode.h"
#include "platform/capture/FrameCapture.h"
#include "platform/device/GLDevice.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
#include "support/TestSupport.h"

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

// One read-back frame, top row first.
struct Frame {
    std::vector<uint8_t> rgba;
    uint32_t width = 0;
    Rgb Pixel(int x, int y) const {
        const uint8_t* p = &rgba.at((static_cast<size_t>(y) * width + static_cast<size_t>(x)) * 4);
        return {p[0], p[1], p[2]};
    }
    uint32_t Height() const { return width ? static_cast<uint32_t>(rgba.size() / 4 / width) : 0; }
};

// Keeps the last presented frame.
class FrameKeeper : public PresentListener, public Frame {
public:
    void OnPresent(const uint8_t* pixels, uint32_t w, uint32_t h) override {
        if (pixels == nullptr) return;
        width = w;
        rgba.assign(pixels, pixels + static_cast<size_t>(w) * h * 4);
    }
    bool WantsPixels() const override { return true; }
};

inline void ExpectPixel(const Frame& f, int x, int y, Rgb want, int tolerance = 0, const char* what = "") {
    const Rgb got = f.Pixel(x, y);
    EXPECT_TRUE(std::abs(got.r - want.r) <= tolerance && std::abs(got.g - want.g) <= tolerance &&
                std::abs(got.b - want.b) <= tolerance)
        << what << " at " << x << "," << y << ": " << got << ", want " << want << " within " << tolerance;
}

// How many pixels of (x0, y0)-(x1, y1) satisfy `match(x, y)`, and their bounds (inclusive).
struct Found {
    int count = 0;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;
    int Width() const { return right - left + 1; }
};
template <class Match>
Found FindWhere(int x0, int y0, int x1, int y1, Match match) {
    Found f;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (!match(x, y)) continue;
            ++f.count;
            f.left = std::min(f.left, x);
            f.right = std::max(f.right, x);
            f.top = std::min(f.top, y);
            f.bottom = std::max(f.bottom, y);
        }
    }
    return f;
}
// The same for pixels of `frame` whose colour satisfies `match(colour)`.
template <class Match>
Found Find(const Frame& frame, int x0, int y0, int x1, int y1, Match match) {
    return FindWhere(x0, y0, x1, y1, [&](int x, int y) { return match(frame.Pixel(x, y)); });
}

// Clears and begins a scene; ends it and presents, keeping the frame.
inline void Begin(Direct3DDevice8& d, D3DCOLOR clear = 0xFF000000u, DWORD flags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER) {
    if (FAILED(d.Clear(0, nullptr, flags, clear, 1.0f, 0)) || FAILED(d.BeginScene())) throw std::runtime_error("Begin");
}
inline void End(Direct3DDevice8& d) {
    if (FAILED(d.EndScene()) || FAILED(d.Present(nullptr, nullptr, nullptr, nullptr))) throw std::runtime_error("End");
}

// A bare device on a hidden window of its own, reading every frame back.
class DeviceHarness final : public FrameKeeper {
public:
    explicit DeviceHarness(GLDeviceConfig config = {}) {
        setenv("SDL_VIDEODRIVER", "offscreen", 0);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) throw std::runtime_error(SDL_GetError());
        window_ = SDL_CreateWindow("device test", 0, 0, static_cast<int>(config.width),
                                   static_cast<int>(config.height), SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        if (!window_) throw std::runtime_error(SDL_GetError());
        config.window = window_;
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

private:
    SDL_Window* window_ = nullptr;
    std::unique_ptr<GLDevice> device_;
};

// The demo's device, made by its graphics-mode set-up on an off-screen
// 1024 x 768 frmMain, as the demo's D3DDevice; the frames land in `frame`.
class DemoDevice : public ::testing::Test {
protected:
    void SetUp() override {
        window_ = std::make_unique<Window>(WindowOptions{false, true});
        window_->SetPresentListener(&frame);
        frmMain = window_.get();
        D3D = std::make_unique<Direct3D8>();
        D3DX = std::make_unique<D3DX8>();
        ASSERT_TRUE(m_InitGraphicsMode(3, D3DFMT_D24S8, false));
    }
    void TearDown() override {
        ResetDemoGlobals();
        window_.reset();
    }
    FrameKeeper frame;

private:
    std::unique_ptr<Window> window_;
};

// Two triangles covering (x0, y0)-(x1, y1) on screen, clockwise (drawn under
// the default culling), textured 0..1 across.
inline void DrawScreenQuad(Direct3DDevice8& device, float x0, float y0, float x1, float y1, D3DCOLOR diffuse,
                           float z = 0.0f) {
    const D3DCOLOR s = 0xFF000000u;
    const ScreenVertex v[6] = {{x0, y0, z, 1, diffuse, s, 0, 0}, {x1, y0, z, 1, diffuse, s, 1, 0},
                               {x0, y1, z, 1, diffuse, s, 0, 1}, {x1, y0, z, 1, diffuse, s, 1, 0},
                               {x1, y1, z, 1, diffuse, s, 1, 1}, {x0, y1, z, 1, diffuse, s, 0, 1}};
    device.SetVertexShader(kScreenVertexFvf);
    if (FAILED(device.DrawPrimitiveUP(D3DPT_TRIANGLELIST, 2, v, sizeof(ScreenVertex))))
        throw std::runtime_error("DrawPrimitiveUP failed");
}

// A texture of one level from ARGB colours, row 0 = top.
inline std::shared_ptr<Direct3DTexture8> MakeTexture(Direct3DDevice8& device, uint32_t width, uint32_t height,
                                                     const std::vector<D3DCOLOR>& argb) {
    TextureImage image;
    image.levels.push_back({width, height, {}});
    for (D3DCOLOR c : argb)
        for (int shift : {16, 8, 0, 24}) image.levels[0].rgba.push_back(static_cast<uint8_t>(c >> shift));
    std::shared_ptr<Direct3DTexture8> texture;
    if (FAILED(device.CreateTexture(image, D3DPOOL_MANAGED, texture))) throw std::runtime_error("CreateTexture failed");
    return texture;
}
