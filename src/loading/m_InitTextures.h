#pragma once
// Loads the six stand-alone textures.
void m_InitTextures();
