// Runs once at start-up, before the loading screen: reads the stand-alone
// images (from AppPath) into TexWhite, TexLogoDds, TexDot, TexLogoJpg, TexBajs
// and TexTextEfter.
#pragma once

#include <array>
#include <memory>

#include "platform/d3dx/D3DX8.h"

// One stand-alone texture: where it goes, its file relative to AppPath, its
// size and colour key.
struct InitTextureRow {
    std::shared_ptr<Direct3DTexture8>* Texture;
    const char* File;
    UINT Size;
    D3DCOLOR ColorKey;
};

// The stand-alone textures in load order.
extern const std::array<InitTextureRow, 6> InitTextures;

// How m_InitTextures asks for one of them.
TextureRequest InitTexture(const InitTextureRow& row);
// Loads the six stand-alone textures.
void m_InitTextures();
