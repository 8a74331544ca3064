#include "loading/m_InitTextures.h"

#include <string>

#include "common/Errors.h"
#include "common/Variables.h"

namespace {

void LoadTexture(std::shared_ptr<Direct3DTexture8>& texture, const char* file, UINT size, D3DCOLOR colorKey) {
    std::shared_ptr<Direct3DTexture8> loaded;
    Check(D3DX->CreateTextureFromFileEx(*D3DDevice, AppPath + file, size, size, D3DX_DEFAULT, 0, D3DFMT_UNKNOWN,
                                        D3DPOOL_MANAGED, D3DX_FILTER_POINT, D3DX_FILTER_POINT, colorKey, loaded),
          "D3DXCreateTextureFromFileEx");
    texture = std::move(loaded);
}

}  // namespace

void m_InitTextures() {
    LoadTexture(TexWhite, "\\white.tga", 1, 0xFFFFFFFE);
    LoadTexture(TexLogoDds, "\\data\\screens\\logo.dds", 256, 0xFFFFFFFE);
    LoadTexture(TexDot, "\\data\\misc\\fountain\\dot.dds", 32, 0xFFFFFFFF);
    LoadTexture(TexLogoJpg, "\\logo.jpg", 512, 0xFFFFFFFF);
    LoadTexture(TexBajs, "\\data\\bajs.dds", 512, 0xFFFFFFFF);
    LoadTexture(TexTextEfter, "\\text_efter.jpg", 512, 0xFFFFFFFF);
}
