// The helper library the demo loads and draws through: mesh and texture
// loading, sprites, fonts and error texts. Each method keeps the role and the
// parameters of its D3DX 8 namesake; the work is done by the services in
// platform/xfile, platform/texture, platform/sprite and platform/font.
//
// Content errors (a missing, unreadable or malformed file) are thrown as
// ContentError with a message that names the file and the place in it; device
// failures come back as result codes.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "platform/device/Device.h"

class D3DXSprite;
class D3DXFont;

// One material of a loaded mesh, with the texture file name exactly as the file
// gives it (empty when the material names none).
struct D3DXMATERIAL {
    D3DMATERIAL8 MatD3D;
    std::string TextureFilename;
};

// A font as the platform's font object describes it.
struct FontDescription {
    std::string faceName;
    float pointSize = 8.0f;
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

// A texture file and the creation parameters it will be asked for with.
struct TextureRequest {
    std::string path;
    UINT width = D3DX_DEFAULT;
    UINT height = D3DX_DEFAULT;
    UINT mipLevels = D3DX_DEFAULT;
    D3DPOOL pool = D3DPOOL_MANAGED;
    DWORD filter = D3DX_DEFAULT;
    DWORD mipFilter = D3DX_DEFAULT;
    D3DCOLOR colorKey = 0;
};

// A .x file that will be loaded, and how the textures its materials name will
// be asked for: each at `textureFolder` + "\\" + its name, with `textures`'
// parameters (its path unused).
struct MeshRequest {
    std::string path;
    std::string textureFolder;
    TextureRequest textures;
};

class D3DX8 {
public:
    D3DX8();
    ~D3DX8();
    D3DX8(const D3DX8&) = delete;
    D3DX8& operator=(const D3DX8&) = delete;

    // Starts reading, parsing and decoding, on worker threads, the files that
    // the coming loads will ask for, in about the order given; no device call
    // is made. A later LoadMeshFromX or CreateTextureFromFileEx with the same
    // path (and parameters) takes the prepared result, or does the work itself
    // when it is not prepared; either way it returns or throws exactly as it
    // would have without the prefetch.
    void Prefetch(const std::vector<std::variant<TextureRequest, MeshRequest>>& requests);

    // Loads every mesh of a .x file merged into one, with its materials.
    HRESULT LoadMeshFromX(const std::string& path, DWORD options, Direct3DDevice8& device,
                          std::shared_ptr<D3DXMesh>& mesh, std::vector<D3DXMATERIAL>& materials,
                          DWORD& materialCount);

    // Loads an image file into a texture of the requested size, keying out colorKey.
    HRESULT CreateTextureFromFileEx(Direct3DDevice8& device, const std::string& path, UINT width,
                                    UINT height, UINT mipLevels, DWORD usage, DWORD format, D3DPOOL pool,
                                    DWORD filter, DWORD mipFilter, D3DCOLOR colorKey,
                                    std::shared_ptr<Direct3DTexture8>& texture);

    HRESULT CreateSprite(Direct3DDevice8& device, std::unique_ptr<D3DXSprite>& sprite);

    HRESULT CreateFont(Direct3DDevice8& device, const FontDescription& description,
                       std::unique_ptr<D3DXFont>& font);

    // A readable description of a result code.
    static std::string GetErrorString(HRESULT code);

private:
    class Prefetcher;

    // Textures made from files, by a hash of the file's bytes and the creation
    // parameters: the same image asked for again (content packs repeat the
    // same file in many folders) shares the texture already made rather than
    // being decoded and stored again. A hash match is confirmed by comparing
    // the bytes with the earlier file, so no file's bytes stay in memory.
    // Held weakly, so a texture still goes when its last user drops it.
    using TextureKey = std::tuple<const Direct3DDevice8*, size_t, size_t, UINT, UINT, UINT, D3DPOOL, DWORD, DWORD, D3DCOLOR>;
    struct MadeTexture {
        std::string file;
        std::weak_ptr<Direct3DTexture8> texture;
    };
    std::multimap<TextureKey, MadeTexture> textures_;

    std::shared_ptr<Direct3DTexture8> FindMadeTexture(const TextureKey& key, const std::string& bytes) const;
    std::unique_ptr<Prefetcher> prefetcher_;
};
