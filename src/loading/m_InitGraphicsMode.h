// Runs once, first at start-up: creates D3D, D3DDevice and Sprite on frmMain,
// sets the device's base state and writes matWorld, matView and matProj.
#pragma once
#include <cstdint>
#include <string>

#include "platform/device/D3D8Types.h"

class Window;

// Creates the device with its base state, transforms and sprite and shows one
// blank frame; on failure shows the error box and returns false.
bool m_InitGraphicsMode(int32_t DisplayMode, int32_t DepthFormat, bool Antialias);

// The presentation parameters of a display mode (1 to 4; any other leaves the
// size at 0 x 0) on `window`.
D3DPRESENT_PARAMETERS GraphicsModeParameters(int32_t DisplayMode, int32_t DepthFormat, bool Antialias,
                                             Window* window);

// The error box's text for a failed result code and its description.
std::string GraphicsModeErrorText(int32_t code, const std::string& description);
