#include "text/m_DrawText.h"

#include <cerrno>
#include <cstdlib>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"

namespace {

// The point size from its text form, as the font object converts it.
float ParsePointSize(const std::string& size) {
    const char* begin = size.c_str();
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(begin, &end);
    while (end != nullptr && (*end == ' ' || *end == '\t')) ++end;
    if (end == begin || *end != '\0' || errno != 0 || !(value > 0.0) || value > 1000.0) {
        throw DemoError("MakeFont: the size \"" + size + "\" is not a point size");
    }
    return static_cast<float>(value);
}

}  // namespace

void MakeFont(std::unique_ptr<D3DXFont>& result, const std::string& name, const std::string& size, Bool16 bold,
              Bool16 italic, Bool16 underline) {
    if (!D3DX || !D3DDevice) throw DemoError("MakeFont: the device is not set up");
    FontDescription description;
    description.faceName = name;
    description.pointSize = ParsePointSize(size);
    description.bold = bold != 0;
    description.italic = italic != 0;
    description.underline = underline != 0;
    std::unique_ptr<D3DXFont> font;
    Check(D3DX->CreateFont(*D3DDevice, description, font), "CreateFont");
    result = std::move(font);
}

void DrawTextRect(D3DXFont& font, int16_t top, int16_t left, int16_t bottom, int16_t right, std::string_view text,
                  DWORD format, D3DCOLOR color) {
    const RECT rect{left, top, right, bottom};
    font.DrawTextW(text, -1, &rect, format, color);
}
