// Fixed values shared by several modules.
#pragma once

#include <cstdint>

#include "platform/device/D3D8Types.h"

constexpr D3DCOLOR LoadingClearColor = 0xFF00003A;  // the first frame and the loading screen
constexpr D3DCOLOR FogColor = 0xFF10101A;           // also the clear colour of every scene frame
constexpr float FogStart = 300.0f;                   // camera distance where the fog begins
constexpr float FogEnd = 1200.0f;                    // and where it hides everything
constexpr D3DCOLOR EndScreenClearColor = 0xFFFF0000;
constexpr D3DCOLOR OpaqueWhite = 0xFFFFFFFF;

constexpr int32_t EndScreenMilliseconds = 7000;
constexpr int32_t EscKeyCode = 27;

constexpr int32_t ParticleCount = 400;

// Where the music file lies, relative to the content folder.
constexpr const char* MusicFileName = "\\velmora5.mp3";
