#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H

#include <algorithm>
#include <cmath>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Errors.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"

namespace {

constexpr int kDpi = 96;
constexpr uint32_t kAtlasWidth = 256;
constexpr int kPadding = 1;  // empty texels around each glyph so linear sampling never bleeds
constexpr int kSolidSize = 3;  // an opaque block for underlines

// One rasterised glyph: its place in the atlas and how it sits on the pen.
struct Glyph {
    int atlasX = 0, atlasY = 0;
    int width = 0, height = 0;
    int left = 0;     // pen to the bitmap's left edge
    int top = 0;      // baseline to the bitmap's top edge, up positive
    int advance = 0;  // pen advance in whole pixels
};

struct Library {
    FT_Library handle = nullptr;
    Library() {
        if (FT_Init_FreeType(&handle) != 0) throw DemoError("FreeType could not be initialised");
    }
    ~Library() { FT_Done_FreeType(handle); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

struct Face {
    FT_Face handle = nullptr;
    Face(FT_Library library, const std::string& file, int index) {
        if (FT_New_Face(library, file.c_str(), index, &handle) != 0) {
            throw DemoError("FreeType could not read the font file " + file);
        }
    }
    ~Face() { FT_Done_Face(handle); }
    Face(const Face&) = delete;
    Face& operator=(const Face&) = delete;
};

int Round26Dot6(FT_Pos value) { return static_cast<int>((value + 32) >> 6); }

// Decodes UTF-8 into `out`; a malformed sequence gives U+FFFD.
void DecodeUtf8(std::string_view text, std::u32string& out) {
    out.clear();
    for (size_t i = 0; i < text.size();) {
        const auto b = static_cast<unsigned char>(text[i]);
        int length = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        char32_t cp = length == 1 ? b : length == 2 ? (b & 0x1F) : length == 3 ? (b & 0x0F) : (b & 0x07);
        bool valid = length > 0 && i + static_cast<size_t>(length) <= text.size();
        for (int k = 1; valid && k < length; ++k) {
            const auto c = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            valid = (c >> 6) == 2;
            cp = (cp << 6) | (c & 0x3F);
        }
        out.push_back(valid ? cp : U'\uFFFD');
        i += valid ? static_cast<size_t>(length) : 1;
    }
}

// The glyphs of one face at one pixel size, with their atlas.
struct GlyphSet {
    static constexpr char32_t kMissing = 0xFFFFFFFF;

    std::unordered_map<char32_t, Glyph> glyphs;
    int ascent = 0;
    int lineHeight = 0;
    int underlineOffset = 1;
    int underlineThickness = 1;
    uint32_t atlasWidth = kAtlasWidth;
    uint32_t atlasHeight = 0;
    TextureImage atlasImage;  // until uploaded
    std::shared_ptr<Direct3DTexture8> atlas;

    const Glyph& For(char32_t c) const {
        auto it = glyphs.find(c);
        return it != glyphs.end() ? it->second : glyphs.at(kMissing);
    }
};

using Bitmaps = std::vector<std::pair<char32_t, std::vector<uint8_t>>>;

void BuildAtlas(GlyphSet& set, const Bitmaps& bitmaps) {
    // Shelf packing, tallest first, after the solid block at the top left.
    std::vector<const std::pair<char32_t, std::vector<uint8_t>>*> order;
    for (const auto& b : bitmaps) order.push_back(&b);
    std::stable_sort(order.begin(), order.end(), [&](auto* a, auto* b) {
        return set.glyphs[a->first].height > set.glyphs[b->first].height;
    });
    const auto atlasWidth = static_cast<int>(set.atlasWidth);
    int x = kPadding + kSolidSize + kPadding, y = kPadding, shelf = kSolidSize;
    for (auto* b : order) {
        Glyph& g = set.glyphs[b->first];
        if (g.width == 0 || g.height == 0) continue;
        if (x + g.width + kPadding > atlasWidth) {
            x = kPadding;
            y += shelf + kPadding;
            shelf = 0;
        }
        g.atlasX = x;
        g.atlasY = y;
        x += g.width + kPadding;
        shelf = std::max(shelf, g.height);
    }
    uint32_t height = 1;
    while (height < static_cast<uint32_t>(y + shelf + kPadding)) height *= 2;

    TextureLevel level{set.atlasWidth, height, std::vector<uint8_t>(size_t{set.atlasWidth} * height * 4, 0)};
    auto put = [&](int px, int py, uint8_t alpha) {
        uint8_t* texel = &level.rgba[(static_cast<size_t>(py) * set.atlasWidth + static_cast<size_t>(px)) * 4];
        texel[0] = texel[1] = texel[2] = 255;
        texel[3] = alpha;
    };
    for (int py = 0; py < kSolidSize; ++py) {
        for (int px = 0; px < kSolidSize; ++px) put(kPadding + px, kPadding + py, 255);
    }
    for (const auto& [key, coverage] : bitmaps) {
        const Glyph& g = set.glyphs[key];
        for (int py = 0; py < g.height; ++py) {
            for (int px = 0; px < g.width; ++px) {
                put(g.atlasX + px, g.atlasY + py, coverage[static_cast<size_t>(py * g.width + px)]);
            }
        }
    }
    set.atlasHeight = height;
    set.atlasImage.levels.push_back(std::move(level));
}

// Rasterises the face at its point size times `scale`. The atlas grows with
// the scale so that large glyphs still fit its width.
GlyphSet RasteriseGlyphs(const FaceFile& match, const FontDescription& description, float scale) {
    Library library;
    Face face(library.handle, match.file, match.index);
    // Whole-pixel em height, as the system's point-to-pixel conversion rounds it.
    const auto pixels = static_cast<FT_UInt>(std::lround(description.pointSize * kDpi / 72.0f * scale));
    if (FT_Set_Pixel_Sizes(face.handle, 0, std::max<FT_UInt>(pixels, 1)) != 0) {
        throw DemoError("FreeType could not size the font " + match.file);
    }
    GlyphSet set;
    while (static_cast<float>(set.atlasWidth) < static_cast<float>(kAtlasWidth) * scale) set.atlasWidth *= 2;
    const FT_Size_Metrics& metrics = face.handle->size->metrics;
    set.ascent = Round26Dot6(metrics.ascender);
    set.lineHeight = set.ascent + Round26Dot6(-metrics.descender);
    set.underlineOffset = std::max(1, -Round26Dot6(FT_MulFix(face.handle->underline_position, metrics.y_scale)));
    set.underlineThickness = std::max(1, Round26Dot6(FT_MulFix(face.handle->underline_thickness, metrics.y_scale)));

    const bool emboldenSynthetically = description.bold && !match.bold;
    const bool slantSynthetically = description.italic && !match.italic;
    Bitmaps bitmaps;
    auto rasterise = [&](char32_t key, FT_UInt index) {
        if (FT_Load_Glyph(face.handle, index, FT_LOAD_TARGET_MONO) != 0) return;
        FT_GlyphSlot slot = face.handle->glyph;
        if (emboldenSynthetically) FT_GlyphSlot_Embolden(slot);
        if (slantSynthetically) FT_GlyphSlot_Oblique(slot);
        if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) != 0) return;
        Glyph g;
        g.width = static_cast<int>(slot->bitmap.width);
        g.height = static_cast<int>(slot->bitmap.rows);
        g.left = slot->bitmap_left;
        g.top = slot->bitmap_top;
        g.advance = Round26Dot6(slot->advance.x);
        std::vector<uint8_t> coverage(static_cast<size_t>(g.width) * static_cast<size_t>(g.height));
        for (int y = 0; y < g.height; ++y) {
            const unsigned char* row = slot->bitmap.buffer + static_cast<ptrdiff_t>(y) * slot->bitmap.pitch;
            for (int x = 0; x < g.width; ++x) {
                const bool on = slot->bitmap.pixel_mode == FT_PIXEL_MODE_MONO ? (row[x >> 3] >> (7 - (x & 7))) & 1
                                                                               : row[x] >= 128;
                coverage[static_cast<size_t>(y * g.width + x)] = on ? 255 : 0;
            }
        }
        if (std::all_of(coverage.begin(), coverage.end(), [](uint8_t c) { return c == 0; })) {
            g.width = g.height = 0;
            coverage.clear();
        }
        set.glyphs[key] = g;
        bitmaps.emplace_back(key, std::move(coverage));
    };
    rasterise(GlyphSet::kMissing, 0);
    for (char32_t cp = 32; cp < 256; ++cp) {
        if (cp >= 127 && cp < 160) continue;
        const FT_UInt index = FT_Get_Char_Index(face.handle, cp);
        if (index != 0) rasterise(cp, index);
    }
    if (set.glyphs.find(GlyphSet::kMissing) == set.glyphs.end()) {
        throw DemoError("FreeType could not draw " + match.file);
    }
    BuildAtlas(set, bitmaps);
    return set;
}

HRESULT UploadAtlas(Direct3DDevice8& device, GlyphSet& set) {
    const HRESULT hr = device.CreateTexture(set.atlasImage, D3DPOOL_MANAGED, set.atlas);
    set.atlasImage = {};
    return hr;
}

// Text is laid out with the glyphs at the font's own size, in the pixels of
// the frame the demo lays its picture out in. When the picture is drawn
// larger, each glyph is drawn from a second set rasterised at the picture's
// scale, at its laid-out place: the same layout, sharp at any size.
class SystemFont final : public D3DXFont {
public:
    SystemFont(Direct3DDevice8& device, const FontDescription& description)
        : device_(device), description_(description) {
        if (!(description.pointSize > 0.0f) || description.pointSize > 1000.0f) {
            throw DemoError("font size " + std::to_string(description.pointSize) + " is out of range");
        }
        match_ = FindFaceFile(description.faceName, description.bold, description.italic);
        layout_ = RasteriseGlyphs(match_, description, 1.0f);
    }

    HRESULT Upload() { return UploadAtlas(device_, layout_); }

    int DrawTextW(std::string_view text, int count, const RECT* rect, DWORD format, D3DCOLOR color) override {
        if (rect == nullptr || layout_.atlas == nullptr) return 0;
        const GlyphSet* drawn = DrawnGlyphs();
        if (drawn == nullptr) return 0;
        // The scratch buffers keep their capacity, so drawing the same text
        // again allocates nothing.
        std::u32string& chars = chars_;
        DecodeUtf8(text, chars);
        if (count >= 0 && static_cast<size_t>(count) < chars.size()) chars.resize(static_cast<size_t>(count));
        std::erase(chars, U'\r');

        const PixelScale scale = drawnScale_;
        auto toX = [&](int x) { return static_cast<int>(std::lround(static_cast<float>(x) * scale.x)); };
        auto toY = [&](int y) { return static_cast<int>(std::lround(static_cast<float>(y) * scale.y)); };
        const RECT clip{toX(rect->left), toY(rect->top), toX(rect->right), toY(rect->bottom)};
        vertices_.clear();
        int lines = 0;
        for (size_t begin = 0; begin <= chars.size(); ++lines) {
            size_t end = chars.find(U'\n', begin);
            if (end == std::u32string::npos) end = chars.size();
            const std::u32string_view line(chars.data() + begin, end - begin);
            begin = end + 1;
            int width = 0;
            for (char32_t c : line) width += layout_.For(c).advance;
            int x = rect->left;
            if (format & DT_CENTER) {
                x = (rect->left + rect->right - width) / 2;
            } else if (format & DT_RIGHT) {
                x = rect->right - width;
            }
            const int baseline = toY(rect->top + lines * layout_.lineHeight + layout_.ascent);
            const int lineLeft = toX(x);
            for (char32_t c : line) {
                const Glyph& g = drawn->For(c);
                AddQuad(*drawn, clip, toX(x) + g.left, baseline - g.top, g.width, g.height, g.atlasX, g.atlasY,
                        color);
                x += layout_.For(c).advance;
            }
            if (description_.underline) {
                AddQuad(*drawn, clip, lineLeft, baseline + drawn->underlineOffset, toX(x) - lineLeft,
                        drawn->underlineThickness, -1, -1, color);
            }
        }
        // A transparent colour leaves the target as it is.
        if ((color >> 24) != 0 && FAILED(DrawSpriteTriangles(device_, drawn->atlas.get(), vertices_))) return 0;
        return lines * layout_.lineHeight;
    }

private:
    // The glyphs for the device's present scale, rasterised again when the
    // scale changes (a resized window); null when their upload fails.
    const GlyphSet* DrawnGlyphs() {
        const PixelScale scale = device_.PictureScale();
        if (scale.x == 1.0f && scale.y == 1.0f) {
            drawnScale_ = scale;
            return &layout_;
        }
        if (scaled_.atlas == nullptr || scale.x != drawnScale_.x || scale.y != drawnScale_.y) {
            scaled_ = RasteriseGlyphs(match_, description_, scale.y);
            if (FAILED(UploadAtlas(device_, scaled_))) return nullptr;
        }
        drawnScale_ = scale;
        return &scaled_;
    }

    // Adds a w x h block at output pixel (x, y) clipped to `clip`, texel for
    // pixel from the atlas at (ax, ay); ax < 0 stretches the solid block's centre.
    void AddQuad(const GlyphSet& set, const RECT& clip, int x, int y, int w, int h, int ax, int ay,
                 D3DCOLOR color) {
        const int x0 = std::max(x, static_cast<int>(clip.left)), x1 = std::min(x + w, static_cast<int>(clip.right));
        const int y0 = std::max(y, static_cast<int>(clip.top)), y1 = std::min(y + h, static_cast<int>(clip.bottom));
        if (x0 >= x1 || y0 >= y1) return;
        const float aw = static_cast<float>(set.atlasWidth), ah = static_cast<float>(set.atlasHeight);
        const float centre = (kPadding + kSolidSize / 2 + 0.5f);
        auto u = [&](int px) { return ax < 0 ? centre / aw : static_cast<float>(ax + px - x) / aw; };
        auto v = [&](int py) { return ay < 0 ? centre / ah : static_cast<float>(ay + py - y) / ah; };
        // Pixel edges sit half a pixel before the pixel centres; the device
        // takes positions in the frame's pixels, whose edges it puts on
        // output pixel edges.
        auto corner = [&](int px, int py) {
            return SpriteVertex{static_cast<float>(px) / drawnScale_.x - 0.5f,
                                static_cast<float>(py) / drawnScale_.y - 0.5f, 0.0f, 1.0f, color, u(px), v(py)};
        };
        const SpriteVertex tl = corner(x0, y0), tr = corner(x1, y0), br = corner(x1, y1), bl = corner(x0, y1);
        vertices_.insert(vertices_.end(), {tl, tr, br, tl, br, bl});
    }

    Direct3DDevice8& device_;
    FontDescription description_;
    FaceFile match_;
    GlyphSet layout_;   // at the font's size: the layout, and the glyphs drawn at scale 1
    GlyphSet scaled_;   // at the picture's scale, when it is not 1
    PixelScale drawnScale_;
    std::u32string chars_;
    std::vector<SpriteVertex> vertices_;
};

}  // namespace

HRESULT CreateSystemFont(Direct3DDevice8& device, const FontDescription& description,
                         std::unique_ptr<D3DXFont>& font) {
    auto made = std::make_unique<SystemFont>(device, description);
    const HRESULT hr = made->Upload();
    if (FAILED(hr)) return hr;
    font = std::move(made);
    return D3D_OK;
}

std::vector<TextBitmap> RasteriseText(const FontDescription& description, int pixels,
                                      const std::vector<std::string>& lines) {
    const FaceFile match = FindFaceFile(description.faceName, description.bold, description.italic);
    Library library;
    Face face(library.handle, match.file, match.index);
    if (FT_Set_Pixel_Sizes(face.handle, 0, static_cast<FT_UInt>(std::max(pixels, 1))) != 0) {
        throw DemoError("FreeType could not size the font " + match.file);
    }
    const FT_Size_Metrics& metrics = face.handle->size->metrics;
    std::vector<TextBitmap> bitmaps;
    std::u32string codes;
    for (const std::string& text : lines) {
        TextBitmap bitmap;
        bitmap.ascent = Round26Dot6(metrics.ascender);
        bitmap.height = bitmap.ascent + Round26Dot6(-metrics.descender);
        DecodeUtf8(text, codes);
        // Two passes: the width from the advances, then the glyphs drawn in.
        for (int pass = 0; pass < 2; ++pass) {
            int pen = 0;
            for (char32_t code : codes) {
                if (FT_Load_Char(face.handle, code, FT_LOAD_RENDER) != 0) continue;
                const FT_GlyphSlot slot = face.handle->glyph;
                for (int y = 0; pass == 1 && y < static_cast<int>(slot->bitmap.rows); ++y) {
                    const int row = bitmap.ascent - slot->bitmap_top + y;
                    if (row < 0 || row >= bitmap.height) continue;
                    for (int x = 0; x < static_cast<int>(slot->bitmap.width); ++x) {
                        const int column = pen + slot->bitmap_left + x;
                        if (column < 0 || column >= bitmap.width) continue;
                        uint8_t& out = bitmap.coverage[static_cast<size_t>(row * bitmap.width + column)];
                        out = std::max(out, slot->bitmap.buffer[y * slot->bitmap.pitch + x]);
                    }
                }
                pen += Round26Dot6(slot->advance.x);
            }
            if (pass == 0) {
                bitmap.width = std::max(pen, 1);
                bitmap.coverage.assign(static_cast<size_t>(bitmap.width) * static_cast<size_t>(bitmap.height), 0);
            }
        }
        bitmaps.push_back(std::move(bitmap));
    }
    return bitmaps;
}
