// The root objects: DirectX8 hands out the Direct3D8 object, which creates the
// device on the demo's window.
#pragma once

#include <memory>
#include <string>

#include "platform/device/Device.h"

class Window;

class Direct3D8 {
public:
    // Creates the OpenGL-backed device on `focusWindow`. Fails with a result
    // code (and no device) when the window has no usable GL 3.3 context or the
    // parameters cannot be honoured.
    HRESULT CreateDevice(UINT adapter, DWORD deviceType, Window* focusWindow, DWORD behaviorFlags,
                         D3DPRESENT_PARAMETERS* parameters, std::unique_ptr<Direct3DDevice8>& device);
    // Why the last CreateDevice failed in the driver's own words (SDL's error,
    // the shader log, ...); empty when it succeeded or the code says it all.
    const std::string& FailureReason() const { return failureReason_; }

    // Test hook: the next CreateDevice fails with `code`.
    void FailNextCreateDevice(HRESULT code) { failNext_ = code; }
    // Test hook: the next CreateDevice hands out `device` (a recording double)
    // instead of making one; the window and parameters are not looked at.
    void SubstituteNextDevice(std::unique_ptr<Direct3DDevice8> device) { substitute_ = std::move(device); }

private:
    HRESULT failNext_ = D3D_OK;
    std::string failureReason_;
    std::unique_ptr<Direct3DDevice8> substitute_;
};

class DirectX8 {
public:
    std::unique_ptr<Direct3D8> Direct3DCreate8() { return std::make_unique<Direct3D8>(); }
};
