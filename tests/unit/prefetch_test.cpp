// Files prefetched on worker threads load exactly as without the prefetch:
// the same meshes and textures, the same sharing, and every error thrown by the
// call that meets it, with the same message.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/Errors.h"
#include "platform/d3dx/D3DX8.h"
#include "support/Bytes.h"
#include "support/TestSupport.h"

namespace {

// An uncompressed 24-bit TGA of one grey level.
std::string Tga(uint16_t w, uint16_t h, char grey) {
    return TgaHeader(2, w, h, 24) + std::string(size_t(w) * h * 3, grey);
}

// A one-triangle mesh with two materials, each naming a texture.
std::string MeshNaming(const std::string& first, const std::string& second) {
    return "xof 0303txt 0032\nMesh { 3; 0;0;0;, 1;0;0;, 0;1;0;; 1; 3;0,1,2;;\n"
           " MeshMaterialList { 2; 1; 0;;\n"
           "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" +
           first +
           "\"; } }\n"
           "  Material { 1;1;1;1;; 0; 0;0;0;; 0;0;0;; TextureFilename { \"" +
           second + "\"; } }\n }\n}\n";
}

TextureRequest Texture(const std::string& path, UINT size = 8) {
    return TextureRequest{path, size, size, D3DX_DEFAULT, D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_POINT, 0};
}

class Prefetch : public ::testing::Test {
protected:
    std::shared_ptr<Direct3DTexture8> Load(D3DX8& d3dx, const TextureRequest& r) {
        std::shared_ptr<Direct3DTexture8> texture;
        EXPECT_EQ(d3dx.CreateTextureFromFileEx(device, r.path, r.width, r.height, r.mipLevels, 0, D3DFMT_UNKNOWN, r.pool,
                                               r.filter, r.mipFilter, r.colorKey, texture),
                  D3D_OK);
        return texture;
    }

    // Loads the mesh and then its materials' textures, as the start-up does.
    std::vector<std::shared_ptr<Direct3DTexture8>> LoadMesh(D3DX8& d3dx, const std::string& folder) {
        std::shared_ptr<D3DXMesh> mesh;
        std::vector<D3DXMATERIAL> materials;
        DWORD count = 0;
        EXPECT_EQ(d3dx.LoadMeshFromX(folder + "/house.x", 0, device, mesh, materials, count), D3D_OK);
        EXPECT_EQ(mesh->GetNumFaces(), 1u);
        std::vector<std::shared_ptr<Direct3DTexture8>> textures;
        for (const D3DXMATERIAL& m : materials) textures.push_back(Load(d3dx, Texture(folder + "\\" + m.TextureFilename)));
        return textures;
    }

    std::string Message(D3DX8& d3dx, const TextureRequest& r) {
        try {
            Load(d3dx, r);
        } catch (const ContentError& e) {
            return e.what();
        }
        return "no error";
    }

    TempDir dir;
    RecordingDevice device;
};

TEST_F(Prefetch, MeshesAndTexturesLoadAsWithoutItAndStillShare) {
    const std::string a = (dir.path() / "a").string(), b = (dir.path() / "b").string();
    dir.Write("a/house.x", MeshNaming("wall.tga", "roof.tga"));
    dir.Write("a/wall.tga", Tga(4, 4, 'w'));
    dir.Write("a/roof.tga", Tga(2, 2, 'r'));
    dir.Write("b/house.x", MeshNaming("wall.tga", "wall.tga"));
    dir.Write("b/wall.tga", Tga(4, 4, 'w'));  // the same bytes as a's wall
    dir.Write("logo.tga", Tga(16, 16, 'l'));

    D3DX8 plain;
    const auto logo = Load(plain, Texture((dir.path() / "logo.tga").string(), 32));
    const auto first = LoadMesh(plain, a);
    const auto second = LoadMesh(plain, b);

    D3DX8 ahead;
    const TextureRequest materials = Texture("");
    ahead.Prefetch({Texture((dir.path() / "logo.tga").string(), 32), MeshRequest{a + "/house.x", a, materials},
                    MeshRequest{b + "/house.x", b, materials}});
    const auto logoAhead = Load(ahead, Texture((dir.path() / "logo.tga").string(), 32));
    const auto firstAhead = LoadMesh(ahead, a);
    const auto secondAhead = LoadMesh(ahead, b);

    EXPECT_EQ(logoAhead->Width(), logo->Width());
    EXPECT_EQ(logoAhead->LevelCount(), logo->LevelCount());
    ASSERT_EQ(firstAhead.size(), 2u);
    ASSERT_EQ(secondAhead.size(), 2u);
    EXPECT_NE(firstAhead[0], firstAhead[1]);
    EXPECT_EQ(secondAhead[0], firstAhead[0]) << "another folder's copy of the same file is shared";
    EXPECT_EQ(secondAhead[1], firstAhead[0]) << "the same file twice in one mesh is shared";
    EXPECT_EQ(second[0], first[0]);
    EXPECT_EQ(second[1], first[0]);
    EXPECT_EQ(firstAhead[1]->Width(), first[1]->Width());
}

TEST_F(Prefetch, ErrorsComeFromTheCallThatMeetsThem) {
    dir.Write("good.tga", Tga(4, 4, 'g'));
    dir.Write("bad.tga", "not an image at all");
    const TextureRequest good = Texture((dir.path() / "good.tga").string());
    const TextureRequest bad = Texture((dir.path() / "bad.tga").string());
    const TextureRequest missing = Texture((dir.path() / "missing.tga").string());

    D3DX8 plain;
    const std::string badMessage = Message(plain, bad), missingMessage = Message(plain, missing);
    ASSERT_NE(badMessage, "no error");
    ASSERT_NE(missingMessage, "no error");

    D3DX8 ahead;
    ahead.Prefetch({good, bad, missing, MeshRequest{(dir.path() / "none.x").string(), dir.path().string(), good}});
    EXPECT_NE(Load(ahead, good), nullptr) << "the files before a bad one load";
    EXPECT_EQ(Message(ahead, bad), badMessage);
    EXPECT_EQ(Message(ahead, missing), missingMessage);
    std::shared_ptr<D3DXMesh> mesh;
    std::vector<D3DXMATERIAL> materials;
    DWORD count = 0;
    EXPECT_THROW(ahead.LoadMeshFromX((dir.path() / "none.x").string(), 0, device, mesh, materials, count), ContentError);
    // Once taken, a request is not prepared any more: asking again does the work itself.
    EXPECT_EQ(Message(ahead, bad), badMessage);
}

}  // namespace
