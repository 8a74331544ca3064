#include "platform/device/Direct3D8.h"

#include <SDL.h>

#include "base/Errors.h"
#include "platform/device/GLDevice.h"
#include "platform/window/Window.h"

namespace {

bool SupportedBackBufferFormat(DWORD format, bool windowed) {
    if (format == D3DFMT_UNKNOWN) return windowed;
    // The 16- and 32-bit colour formats, all kept as 8 bits per channel.
    return format >= D3DFMT_A8R8G8B8 && format <= D3DFMT_A1R5G5B5;
}

}  // namespace

HRESULT Direct3D8::CreateDevice(UINT adapter, DWORD deviceType, Window* focusWindow, DWORD,
                                D3DPRESENT_PARAMETERS* parameters, std::unique_ptr<Direct3DDevice8>& device) {
    failureReason_.clear();
    if (failNext_ != D3D_OK) {
        const HRESULT code = failNext_;
        failNext_ = D3D_OK;
        return code;
    }
    if (substitute_) {
        device = std::move(substitute_);
        return D3D_OK;
    }
    if (!parameters || !focusWindow || !focusWindow->Handle()) return D3DERR_INVALIDCALL;
    if (adapter != D3DADAPTER_DEFAULT) return D3DERR_INVALIDCALL;
    if (deviceType != D3DDEVTYPE_HAL && deviceType != D3DDEVTYPE_REF) return D3DERR_INVALIDCALL;
    D3DPRESENT_PARAMETERS& pp = *parameters;
    const bool windowed = pp.Windowed != 0;
    if (windowed) {
        if (pp.BackBufferWidth == 0) pp.BackBufferWidth = static_cast<UINT>(focusWindow->ClientWidth());
        if (pp.BackBufferHeight == 0) pp.BackBufferHeight = static_cast<UINT>(focusWindow->ClientHeight());
    }
    if (pp.BackBufferWidth == 0 || pp.BackBufferHeight == 0) return D3DERR_INVALIDCALL;
    if (!SupportedBackBufferFormat(pp.BackBufferFormat, windowed)) return D3DERR_NOTAVAILABLE;
    if (pp.BackBufferCount > 3) return D3DERR_INVALIDCALL;
    if (pp.BackBufferCount == 0) pp.BackBufferCount = 1;
    if (pp.SwapEffect < D3DSWAPEFFECT_DISCARD || pp.SwapEffect > D3DSWAPEFFECT_COPY_VSYNC) return D3DERR_INVALIDCALL;
    // One sample is not a multisample type.
    if (pp.MultiSampleType == 1 || pp.MultiSampleType > D3DMULTISAMPLE_16_SAMPLES) return D3DERR_INVALIDCALL;
    // Multisampled back buffers can only be discarded at Present.
    if (pp.MultiSampleType != D3DMULTISAMPLE_NONE && pp.SwapEffect != D3DSWAPEFFECT_DISCARD)
        return D3DERR_INVALIDCALL;

    GLDeviceConfig config;
    config.window = focusWindow->Handle();
    config.width = pp.BackBufferWidth;
    config.height = pp.BackBufferHeight;
    config.depthFormat = pp.EnableAutoDepthStencil ? pp.AutoDepthStencilFormat : D3DFMT_UNKNOWN;
    focusWindow->OutputSize(config.outputWidth, config.outputHeight);
    config.outputSize = [focusWindow](uint32_t& width, uint32_t& height) { focusWindow->OutputSize(width, height); };
    // The display's anti-aliasing setting, when one was chosen, overrides
    // what the present parameters ask for.
    const int chosen = focusWindow->Antialiasing();
    config.samples = chosen != WindowOptions::kRendererAntialiasing ? chosen
                     : pp.MultiSampleType != D3DMULTISAMPLE_NONE    ? static_cast<int>(pp.MultiSampleType)
                                                                    : GLDeviceConfig::kRendererSamples;
    config.presentToWindow = !focusWindow->IsOffscreen();
    config.vsync = !focusWindow->IsOffscreen() && pp.FullScreen_PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE;
    try {
        // The window has already taken the display mode (full screen or not).
        device = std::make_unique<GLDevice>(config);
        device->SetPresentListener(focusWindow->GetPresentListener());
        return D3D_OK;
    } catch (const ResultError& e) {
        // The caller reports the failure by its code, once, with this reason.
        failureReason_ = e.what();
        return e.code();
    }
}
