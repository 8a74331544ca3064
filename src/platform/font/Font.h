// The device font: a system font face rasterised once into a glyph atlas and
// drawn into rectangles on the back buffer.
#pragma once

#include <memory>
#include <string>

#include "platform/d3dx/D3DX8.h"

class D3DXFont {
public:
    virtual ~D3DXFont() = default;
    // Draws `text` (UTF-8; `count` -1 for all of it) into `rect` with the DT_*
    // format flags in an ARGB colour. Returns the height of the drawn text in
    // pixels, 0 on failure.
    virtual int DrawTextW(const std::string& text, int count, const RECT* rect, DWORD format,
                          D3DCOLOR color) = 0;
};
