#include <cstdio>

#include "platform/d3dx/D3DX8.h"

namespace {

struct ErrorText {
    HRESULT code;
    const char* name;
    const char* description;
};

constexpr HRESULT D3dError(unsigned code) { return static_cast<HRESULT>(0x88760000u | code); }

constexpr ErrorText kErrors[] = {
    {D3D_OK, "D3D_OK", "No error occurred."},
    {E_FAIL, "E_FAIL", "An undetermined error occurred."},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY", "Not enough memory to complete the call."},
    {E_INVALIDARG, "E_INVALIDARG", "An invalid parameter was passed to the function."},
    {static_cast<HRESULT>(0x80004001u), "E_NOTIMPL", "The function is not implemented."},
    {static_cast<HRESULT>(0x80004002u), "E_NOINTERFACE", "No object interface is available."},
    {static_cast<HRESULT>(0x80004003u), "E_POINTER", "An invalid pointer was passed."},
    {D3dError(2072), "D3DERR_WRONGTEXTUREFORMAT", "The pixel format of the texture surface is not valid."},
    {D3dError(2073), "D3DERR_UNSUPPORTEDCOLOROPERATION", "The device does not support a specified texture-blending operation for color values."},
    {D3dError(2074), "D3DERR_UNSUPPORTEDCOLORARG", "The device does not support a specified texture-blending argument for color values."},
    {D3dError(2075), "D3DERR_UNSUPPORTEDALPHAOPERATION", "The device does not support a specified texture-blending operation for the alpha channel."},
    {D3dError(2076), "D3DERR_UNSUPPORTEDALPHAARG", "The device does not support a specified texture-blending argument for the alpha channel."},
    {D3dError(2077), "D3DERR_TOOMANYOPERATIONS", "The application is requesting more texture-filtering operations than the device supports."},
    {D3dError(2078), "D3DERR_CONFLICTINGTEXTUREFILTER", "The current texture filters cannot be used together."},
    {D3dError(2079), "D3DERR_UNSUPPORTEDFACTORVALUE", "The device does not support the specified texture factor value."},
    {D3dError(2081), "D3DERR_CONFLICTINGRENDERSTATE", "The currently set render states cannot be used together."},
    {D3dError(2082), "D3DERR_UNSUPPORTEDTEXTUREFILTER", "The device does not support the specified texture filter."},
    {D3dError(2086), "D3DERR_CONFLICTINGTEXTUREPALETTE", "The current textures cannot be used simultaneously."},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR", "Internal driver error."},
    {D3dError(2150), "D3DERR_NOTFOUND", "The requested item was not found."},
    {D3dError(2151), "D3DERR_MOREDATA", "There is more data available than the specified buffer size can hold."},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST", "The device is lost and cannot be restored at the current time."},
    {D3dError(2153), "D3DERR_DEVICENOTRESET", "The device cannot be reset."},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE", "This device does not support the queried technique."},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY", "Direct3D does not have enough display memory to perform the operation."},
    {D3dError(2155), "D3DERR_INVALIDDEVICE", "The requested device type is not valid."},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL", "The method call is invalid."},
    {D3dError(2157), "D3DERR_DRIVERINVALIDCALL", "The driver rejected the call."},
    {D3dError(2900), "D3DXERR_CANNOTMODIFYINDEXBUFFER", "The index buffer cannot be modified."},
    {D3dError(2901), "D3DXERR_INVALIDMESH", "The mesh is invalid."},
    {D3dError(2902), "D3DXERR_CANNOTATTRSORT", "Attribute sort is not supported as an optimization technique."},
    {D3dError(2903), "D3DXERR_SKINNINGNOTSUPPORTED", "Skinning is not supported."},
    {D3dError(2904), "D3DXERR_TOOMANYINFLUENCES", "Too many influences specified."},
    {D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA", "The data is invalid."},
    {D3dError(2906), "D3DXERR_LOADEDMESHASNODATA", "The mesh has no data."},
};

}  // namespace

std::string D3DX8::GetErrorString(HRESULT code) {
    for (const ErrorText& e : kErrors)
        if (e.code == code) return std::string(e.name) + ": " + e.description;
    char text[64];
    std::snprintf(text, sizeof text, "Unknown error 0x%08X.", static_cast<unsigned>(code));
    return text;
}
