// The device font: a system font face rasterised once into a glyph atlas and
// drawn into rectangles on the back buffer.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/d3dx/D3DX8.h"

class D3DXFont {
public:
    virtual ~D3DXFont() = default;
    // Draws `text` (UTF-8; `count` -1 for all of it) into `rect` with the DT_*
    // format flags in an ARGB colour. Returns the height of the drawn text in
    // pixels, 0 on failure.
    virtual int DrawTextW(std::string_view text, int count, const RECT* rect, DWORD format,
                          D3DCOLOR color) = 0;
};

// Finds the face through fontconfig (a face that is not installed gives
// fontconfig's substitute), rasterises it with FreeType at the point size at
// 96 dpi, hinted and aliased (one-bit coverage, as small system fonts were
// drawn), and uploads its glyphs once as one texture.
//
// Text is laid out as the system's DrawText does without extra flags: lines
// break only at line feeds, nothing wraps, each line is left-aligned, centred
// (DT_CENTER) or right-aligned (DT_RIGHT) in the rectangle, the first line's
// top is the rectangle's top, and every pixel outside the rectangle is
// clipped. A glyph pixel is the colour with its alpha times the coverage.
//
// Throws DemoError when no face can be found or read; a failing texture upload
// comes back as its result code.
HRESULT CreateSystemFont(Direct3DDevice8& device, const FontDescription& description,
                         std::unique_ptr<D3DXFont>& font);

// The file a face name and style resolve to, and whether that face is bold
// or italic itself (when not, FreeType makes it so). On the desktop
// fontconfig finds it, substitutes included; in the browser it is the face
// shipped with the site. Throws DemoError when there is none.
struct FaceFile {
    std::string file;
    int index = 0;
    bool bold = false;
    bool italic = false;
};
FaceFile FindFaceFile(const std::string& faceName, bool bold, bool italic);

// One line of text rasterised on the CPU, anti-aliased: 0 to 255 coverage,
// width * height bytes, top row first; the baseline `ascent` rows down.
struct TextBitmap {
    int width = 0, height = 0, ascent = 0;
    std::vector<uint8_t> coverage;
};
// Each of `lines` (UTF-8) in the face fontconfig picks for `description`,
// `pixels` high. Throws DemoError when no face can be read.
std::vector<TextBitmap> RasteriseText(const FontDescription& description, int pixels,
                                      const std::vector<std::string>& lines);
