#include "loading/m_InitGraphicsMode.h"

#include <exception>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/msgbox/MessageBox.h"
#include "platform/sprite/Sprite.h"

D3DPRESENT_PARAMETERS GraphicsModeParameters(int32_t DisplayMode, int32_t DepthFormat, bool Antialias,
                                             Window* window) {
    D3DPRESENT_PARAMETERS pp{};
    switch (DisplayMode) {
        case 1: pp.BackBufferWidth = 640; pp.BackBufferHeight = 480; break;
        case 2: pp.BackBufferWidth = 800; pp.BackBufferHeight = 600; break;
        case 3: pp.BackBufferWidth = 1024; pp.BackBufferHeight = 768; break;
        case 4: pp.BackBufferWidth = 1280; pp.BackBufferHeight = 1024; break;
        default: break;
    }
    pp.BackBufferFormat = D3DFMT_X8R8G8B8;
    pp.BackBufferCount = 1;
    pp.MultiSampleType = Antialias ? D3DMULTISAMPLE_2_SAMPLES : D3DMULTISAMPLE_NONE;
    pp.SwapEffect = Antialias ? D3DSWAPEFFECT_DISCARD : D3DSWAPEFFECT_FLIP;
    pp.hDeviceWindow = window;
    pp.Windowed = 0;
    pp.EnableAutoDepthStencil = 1;
    pp.AutoDepthStencilFormat = static_cast<DWORD>(DepthFormat);
    pp.Flags = 0;
    pp.FullScreen_RefreshRateInHz = 60;
    pp.FullScreen_PresentationInterval = D3DPRESENT_INTERVAL_DEFAULT;
    return pp;
}

std::string GraphicsModeErrorText(int32_t code, const std::string& description) {
    return "An error has occured: \r\n\r\n" + std::to_string(code) + "\r\n" + description;
}

bool m_InitGraphicsMode(int32_t DisplayMode, int32_t DepthFormat, bool Antialias) {
    try {
        if (!D3D || !D3DX) throw DemoError("the Direct3D objects do not exist");
        D3DPRESENT_PARAMETERS pp = GraphicsModeParameters(DisplayMode, DepthFormat, Antialias, frmMain);
        Check(D3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, frmMain, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp,
                                D3DDevice),
              "CreateDevice");
        Direct3DDevice8& device = *D3DDevice;
        Check(device.SetVertexShader(D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_TEX1), "SetVertexShader");
        Check(device.SetRenderState(D3DRS_LIGHTING, 0), "SetRenderState(LIGHTING)");
        Check(device.SetRenderState(D3DRS_CULLMODE, D3DCULL_CCW), "SetRenderState(CULLMODE)");
        Check(device.SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE), "SetRenderState(ZENABLE)");
        Check(device.SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA), "SetRenderState(SRCBLEND)");
        Check(device.SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA), "SetRenderState(DESTBLEND)");
        Check(device.SetRenderState(D3DRS_ALPHABLENDENABLE, 1), "SetRenderState(ALPHABLENDENABLE)");
        Check(device.SetRenderState(D3DRS_POINTSPRITEENABLE, 1), "SetRenderState(POINTSPRITEENABLE)");
        Check(device.SetRenderState(D3DRS_POINTSCALEENABLE, 1), "SetRenderState(POINTSCALEENABLE)");
        Check(device.SetRenderState(D3DRS_POINTSIZE, FloatToDWord(0.1f)), "SetRenderState(POINTSIZE)");
        Check(device.SetTextureStageState(0, D3DTSS_MAGFILTER, D3DTEXF_LINEAR), "SetTextureStageState(MAGFILTER)");
        Check(device.SetTextureStageState(0, D3DTSS_MINFILTER, D3DTEXF_LINEAR), "SetTextureStageState(MINFILTER)");

        D3DXMatrixIdentity(matWorld);
        Check(device.SetTransform(D3DTS_WORLD, matWorld), "SetTransform(WORLD)");
        const float pi = 3.1415927f;
        D3DXMatrixPerspectiveFovLH(matProj, pi / 4.0f, 1.0f, 0.1f, 1400.0f);
        Check(device.SetTransform(D3DTS_PROJECTION, matProj), "SetTransform(PROJECTION)");
        D3DXMatrixLookAtLH(matView, MakeVector(0, 0, 0), MakeVector(0, 0, 1), MakeVector(0, 1, 0));
        Check(device.SetTransform(D3DTS_VIEW, matView), "SetTransform(VIEW)");

        Check(D3DX->CreateSprite(device, Sprite), "CreateSprite");

        Check(device.Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF00003Au, 1.0f, 0),
              "Clear");
        Check(device.BeginScene(), "BeginScene");
        Check(device.EndScene(), "EndScene");
        Check(device.Present(nullptr, nullptr, nullptr, nullptr), "Present");
        return true;
    } catch (const OutputSettingsError&) {
        throw;
    } catch (const ResultError& e) {
        std::string description = D3DX8::GetErrorString(e.code());
        if (D3D && !D3D->FailureReason().empty()) description += "\r\n" + D3D->FailureReason();
        ShowMessageBox(frmMain, "Error!", GraphicsModeErrorText(e.code(), description));
    } catch (const std::exception& e) {
        // Anything else that fails on the way is reported as an undetermined failure.
        ShowMessageBox(frmMain, "Error!", GraphicsModeErrorText(E_FAIL, e.what()));
    }
    return false;
}
