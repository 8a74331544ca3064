#pragma once
#include <cstdint>
// Creates the device with its base state, transforms and sprite and shows one
// blank frame; on failure shows the error box and returns false.
bool m_InitGraphicsMode(int32_t DisplayMode, int32_t DepthFormat, bool Antialias);
