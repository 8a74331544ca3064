#include "loading/m_InitTextures.h"

#include <string>

#include "base/Errors.h"
#include "common/Variables.h"
#include "loading/Loading.h"

const std::array<InitTextureRow, 6> InitTextures = {{
    {&TexWhite, "\\white.tga", 1, 0xFFFFFFFE},
    {&TexLogoDds, "\\data\\screens\\logo.dds", 256, 0xFFFFFFFE},
    {&TexDot, "\\data\\misc\\fountain\\dot.dds", 32, 0xFFFFFFFF},
    {&TexLogoJpg, "\\logo.jpg", 512, 0xFFFFFFFF},
    {&TexBajs, "\\data\\bajs.dds", 512, 0xFFFFFFFF},
    {&TexTextEfter, "\\text_efter.jpg", 512, 0xFFFFFFFF},
}};

TextureRequest InitTexture(const InitTextureRow& row) {
    return TextureRequest{AppPath + row.File, row.Size, row.Size, D3DX_DEFAULT, D3DPOOL_MANAGED,
                          D3DX_FILTER_POINT, D3DX_FILTER_POINT, row.ColorKey};
}

void m_InitTextures() {
    for (const InitTextureRow& row : InitTextures) CreateTexture(InitTexture(row), *row.Texture);
}
