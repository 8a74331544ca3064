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
    std::string bytes = ReadWholeFile(file);
    TextureKey key{&device, std::move(bytes), width, height, mipLevels, pool, filter, mipFilter, colorKey};
    auto found = textures_.find(key);
    if (found != textures_.end()) {
        if (std::shared_ptr<Direct3DTexture8> shared = found->second.lock()) {
            texture = std::move(shared);
            return D3D_OK;
        }
    }
    const TextureImage image = BuildTexture(DecodeImage(std::get<1>(key), file), options, file);
    std::shared_ptr<Direct3DTexture8> created;
    const HRESULT hr = device.CreateTexture(image, pool, created);
    if (FAILED(hr)) return hr;
    textures_[std::move(key)] = created;
    texture = std::move(created);
    return D3D_OK;
}
