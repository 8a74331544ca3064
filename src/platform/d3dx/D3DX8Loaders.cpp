// The mesh and texture loading methods of the helper library.
#include <string>

#include "platform/d3dx/D3DX8.h"
#include "platform/files/Files.h"
#include "platform/texture/TextureLoader.h"
#include "platform/xfile/XFile.h"

HRESULT D3DX8::LoadMeshFromX(const std::string& path, DWORD, Direct3DDevice8& device,
                             std::shared_ptr<D3DXMesh>& mesh, std::vector<D3DXMATERIAL>& materials,
                             DWORD& materialCount) {
    const std::string file = ResolvePath(path);
    const XMesh loaded = ParseXFile(ReadWholeFile(file), file);
    std::shared_ptr<D3DXMesh> created;
    const HRESULT hr = device.CreateMesh(loaded.geometry, created);
    if (FAILED(hr)) return hr;
    mesh = std::move(created);
    materials.clear();
    materials.reserve(loaded.materials.size());
    for (const XMaterial& m : loaded.materials) materials.push_back(D3DXMATERIAL{m.material, m.textureFilename});
    materialCount = DWORD(materials.size());
    return D3D_OK;
}

HRESULT D3DX8::CreateTextureFromFileEx(Direct3DDevice8& device, const std::string& path, UINT width, UINT height,
                                       UINT mipLevels, DWORD, DWORD, D3DPOOL pool, DWORD filter, DWORD mipFilter,
                                       D3DCOLOR colorKey, std::shared_ptr<Direct3DTexture8>& texture) {
    const std::string file = ResolvePath(path);
    TextureOptions options;
    options.width = width;
    options.height = height;
    options.mipLevels = mipLevels;
    options.filter = filter;
    options.mipFilter = mipFilter;
    options.colorKey = colorKey;
    const TextureImage image = BuildTexture(DecodeImage(ReadWholeFile(file), file), options, file);
    std::shared_ptr<Direct3DTexture8> created;
    const HRESULT hr = device.CreateTexture(image, pool, created);
    if (FAILED(hr)) return hr;
    texture = std::move(created);
    return D3D_OK;
}
