// Text for the loading screen and the overlays. MakeFont runs once at
// start-up (it makes FontSmall); DrawTextRect runs whenever a frame draws
// text. Both go through D3DX and D3DDevice; neither writes other globals.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "common/TypeDef.h"
#include "platform/font/Font.h"

// Makes a device font from a face name, a point size given as text and style flags.
void MakeFont(std::unique_ptr<D3DXFont>& result, const std::string& name, const std::string& size,
              Bool16 bold, Bool16 italic, Bool16 underline);

// Draws `text` into the rectangle given as top, left, bottom, right.
void DrawTextRect(D3DXFont& font, int16_t top, int16_t left, int16_t bottom, int16_t right,
                  std::string_view text, DWORD format, D3DCOLOR color);
