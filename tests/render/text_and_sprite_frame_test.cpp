// Frames rendered off screen on the real device and read back: sprites, text,
// the loading screen and the end screen, checked pixel by pixel.
//
// Set VELMORA_TEST_FRAMES to a folder to keep each checked frame as a PNG.
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <numbers>

#include "common/Variables.h"
#include "loading/m_showLoadingScreen.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
#include "shell/Main.h"
#include "text/m_DrawText.h"

namespace {

constexpr int kW = 1024;
constexpr int kH = 768;

struct Rgb {
    int r, g, b;
    bool operator==(const Rgb&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Rgb& c) {
    return out << '(' << c.r << ',' << c.g << ',' << c.b << ')';
}

bool Near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

Rgb FromArgb(D3DCOLOR c) {
    return {static_cast<int>((c >> 16) & 255), static_cast<int>((c >> 8) & 255), static_cast<int>(c & 255)};
}

// Keeps the last presented frame.
class FrameGrabber final : public PresentListener {
public:
    void OnPresent(const uint8_t* rgba, uint32_t width, uint32_t height) override {
        if (rgba == nullptr) return;
        width_ = width;
        height_ = height;
        pixels_.assign(rgba, rgba + size_t{width} * height * 4);
    }
    bool WantsPixels() const override { return true; }

    Rgb At(int x, int y) const {
        const uint8_t* p = &pixels_.at((static_cast<size_t>(y) * width_ + static_cast<size_t>(x)) * 4);
        return {p[0], p[1], p[2]};
    }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

    void Save(const std::string& name) const {
        const char* folder = std::getenv("VELMORA_TEST_FRAMES");
        if (folder == nullptr || pixels_.empty()) return;
        std::filesystem::create_directories(folder);
        const auto path = std::filesystem::path(folder) / (name + ".png");
        stbi_write_png(path.c_str(), static_cast<int>(width_), static_cast<int>(height_), 4, pixels_.data(),
                       static_cast<int>(width_) * 4);
    }

private:
    uint32_t width_ = 0, height_ = 0;
    std::vector<uint8_t> pixels_;
};

// The bounds of the pixels in a region for which `match` holds.
struct Found {
    int count = 0;
    int left = 1 << 30, top = 1 << 30, right = -1, bottom = -1;  // inclusive
};

template <class Match>
Found Find(const FrameGrabber& frame, int x0, int y0, int x1, int y1, Match match) {
    Found f;
    for (int y = y0; y < y1; ++y) {
        for (int x = x0; x < x1; ++x) {
            if (!match(frame.At(x, y))) continue;
            ++f.count;
            f.left = std::min(f.left, x);
            f.right = std::max(f.right, x);
            f.top = std::min(f.top, y);
            f.bottom = std::max(f.bottom, y);
        }
    }
    return f;
}

// An image from a function of the texel position giving ARGB.
template <class Texel>
std::shared_ptr<Direct3DTexture8> MakeTexture(uint32_t w, uint32_t h, Texel texel) {
    TextureLevel level{w, h, std::vector<uint8_t>(size_t{w} * h * 4)};
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const D3DCOLOR c = texel(x, y);
            uint8_t* p = &level.rgba[(size_t{y} * w + x) * 4];
            p[0] = static_cast<uint8_t>(c >> 16);
            p[1] = static_cast<uint8_t>(c >> 8);
            p[2] = static_cast<uint8_t>(c);
            p[3] = static_cast<uint8_t>(c >> 24);
        }
    }
    TextureImage image;
    image.levels.push_back(std::move(level));
    std::shared_ptr<Direct3DTexture8> texture;
    EXPECT_EQ(D3DDevice->CreateTexture(image, D3DPOOL_MANAGED, texture), D3D_OK);
    return texture;
}

class TextAndSpriteFrames : public ::testing::Test {
protected:
    void SetUp() override {
        WindowOptions options;
        options.fullscreen = false;
        options.offscreen = true;
        window_ = std::make_unique<Window>(options);
        frmMain = window_.get();
        D3D = std::make_unique<Direct3D8>();
        D3DX = std::make_unique<D3DX8>();
        D3DPRESENT_PARAMETERS params{};
        params.BackBufferWidth = kW;
        params.BackBufferHeight = kH;
        params.BackBufferFormat = D3DFMT_X8R8G8B8;
        params.BackBufferCount = 1;
        params.SwapEffect = D3DSWAPEFFECT_DISCARD;
        params.Windowed = 1;
        params.EnableAutoDepthStencil = 1;
        params.AutoDepthStencilFormat = D3DFMT_D24S8;
        ASSERT_EQ(D3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_.get(),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, D3DDevice),
                  D3D_OK);
        D3DDevice->SetPresentListener(&frame);
        ASSERT_EQ(D3DX->CreateSprite(*D3DDevice, Sprite), D3D_OK);
        MakeFont(FontSmall, "verdana", "8", False16, False16, False16);
    }

    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        frame.Save(std::string(info->test_suite_name()) + "." + info->name());
        FontSmall.reset();
        TexWhite.reset();
        TexLogoJpg.reset();
        TexTextEfter.reset();
        Sprite.reset();
        if (D3DDevice) D3DDevice->SetPresentListener(nullptr);
        D3DDevice.reset();
        D3DX.reset();
        D3D.reset();
        frmMain = nullptr;
        window_.reset();
        LoadingCount = 0;
    }

    void Begin(D3DCOLOR clear) {
        ASSERT_EQ(D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, clear, 1.0f, 0), D3D_OK);
        ASSERT_EQ(D3DDevice->BeginScene(), D3D_OK);
    }
    void End() {
        ASSERT_EQ(D3DDevice->EndScene(), D3D_OK);
        ASSERT_EQ(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
        ASSERT_EQ(frame.Width(), static_cast<uint32_t>(kW));
        ASSERT_EQ(frame.Height(), static_cast<uint32_t>(kH));
    }
    HRESULT Draw(Direct3DTexture8* texture, D3DVECTOR2 scale, D3DVECTOR2 centre, float angle, D3DVECTOR2 move,
                 D3DCOLOR color) {
        return Sprite->Draw(texture, nullptr, &scale, &centre, angle, &move, color);
    }

    FrameGrabber frame;

private:
    std::unique_ptr<Window> window_;
};

const Rgb kBlack{0, 0, 0};
const Rgb kWhite{255, 255, 255};
auto IsWhite = [](const Rgb& c) { return c == kWhite; };
auto NotBlack = [](const Rgb& c) { return !(c == kBlack); };

TEST_F(TextAndSpriteFrames, SpritesLandOnExactPixelsScaledAndModulated) {
    auto white = MakeTexture(1, 1, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    // 4 x 4 texels, each a different colour.
    auto texels = MakeTexture(4, 4, [](uint32_t x, uint32_t y) { return 0xFF000000u | (x * 60 + 10) << 16 | (y * 60 + 10) << 8 | 0x20u; });
    Begin(0xFF000000u);
    ASSERT_EQ(Draw(white.get(), {10, 5}, {0, 0}, 0, {100, 50}, 0xFF00FF00u), D3D_OK);
    ASSERT_EQ(Draw(texels.get(), {1, 1}, {0, 0}, 0, {200, 200}, 0xFFFFFFFFu), D3D_OK);
    ASSERT_EQ(Draw(white.get(), {8, 8}, {0, 0}, 0, {300, 50}, 0xFF808040u), D3D_OK);
    ASSERT_EQ(Draw(texels.get(), {2, 2}, {0, 0}, 0, {400, 50}, 0x80FFFFFFu), D3D_OK);
    End();

    const Found green = Find(frame, 90, 40, 130, 70, NotBlack);
    EXPECT_EQ(green.count, 50);
    EXPECT_EQ(green.left, 100);
    EXPECT_EQ(green.top, 50);
    EXPECT_EQ(green.right, 109);
    EXPECT_EQ(green.bottom, 54);
    EXPECT_EQ(frame.At(104, 52), (Rgb{0, 255, 0}));

    // Unscaled at an integer position: texel (i, j) is pixel (200 + i, 200 + j).
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            EXPECT_TRUE(Near(frame.At(200 + i, 200 + j), (Rgb{i * 60 + 10, j * 60 + 10, 0x20}), 1))
                << i << "," << j << ": " << frame.At(200 + i, 200 + j);
        }
    }
    EXPECT_EQ(Find(frame, 190, 190, 215, 215, NotBlack).count, 16);

    EXPECT_TRUE(Near(frame.At(304, 54), (Rgb{128, 128, 64}), 1)) << frame.At(304, 54);
    // Half the colour's alpha over black halves the texel.
    EXPECT_TRUE(Near(frame.At(400, 50), (Rgb{5, 5, 16}), 2)) << frame.At(400, 50);
}

TEST_F(TextAndSpriteFrames, ASpriteTurnsAboutItsCentre) {
    auto white = MakeTexture(1, 1, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
    Begin(0xFF000000u);
    // 40 x 10 at (300, 300), turned a quarter about its middle (320, 305): 10 x 40.
    ASSERT_EQ(Draw(white.get(), {40, 10}, {20, 5}, std::numbers::pi_v<float> / 2, {300, 300}, 0xFFFFFFFFu), D3D_OK);
    End();
    const Found f = Find(frame, 250, 250, 400, 400, NotBlack);
    EXPECT_NEAR(f.left, 315, 1);
    EXPECT_NEAR(f.right, 324, 1);
    EXPECT_NEAR(f.top, 285, 1);
    EXPECT_NEAR(f.bottom, 324, 1);
    EXPECT_NEAR(f.count, 400, 20);
}

TEST_F(TextAndSpriteFrames, TextStaysInItsRectangle) {
    Begin(0xFF000000u);
    const RECT probe{0, 700, 100, 740};
    EXPECT_GT(FontSmall->DrawTextW("drawn", -1, &probe, 0, 0xFFFFFFFFu), 0) << "the device accepts the text draw";
    DrawTextRect(*FontSmall, 364, 312, 404, 712, "Loading fonts", DT_CENTER, 0xFFFFFFFFu);
    // A long line is cut at the right edge, not wrapped onto a second line.
    DrawTextRect(*FontSmall, 100, 100, 140, 160, "WWWWWWWWWWWWWWWWWWWWWWWWWWWW", 0, 0xFFFFFFFFu);
    // A line feed starts a new line.
    DrawTextRect(*FontSmall, 200, 100, 260, 300, "Mm\nMm", 0, 0xFFFF8000u);
    DrawTextRect(*FontSmall, 500, 100, 540, 300, "invisible", 0, 0x00FFFFFFu);
    End();

    const Found message = Find(frame, 0, 300, kW, 450, NotBlack);
    EXPECT_GT(message.count, 60);
    EXPECT_GE(message.left, 312);
    EXPECT_LE(message.right, 711);
    EXPECT_GE(message.top, 364);
    EXPECT_LE(message.bottom, 403);
    EXPECT_NEAR((message.left + message.right) / 2.0, 512, 2);
    EXPECT_EQ(Find(frame, 0, 300, kW, 450, [](const Rgb& c) { return c != kBlack && c != kWhite; }).count, 0)
        << "aliased glyphs in an opaque colour are pure";

    const Found clipped = Find(frame, 0, 90, kW, 160, NotBlack);
    EXPECT_GE(clipped.left, 100);
    EXPECT_EQ(clipped.right, 159);
    EXPECT_LT(clipped.bottom, 100 + 14) << "one line only";

    const Found upper = Find(frame, 0, 190, kW, 200 + 13, NotBlack);
    const Found lower = Find(frame, 0, 200 + 13, kW, 270, NotBlack);
    ASSERT_GT(upper.count, 10);
    EXPECT_EQ(lower.count, upper.count);
    EXPECT_EQ(lower.left, upper.left);
    EXPECT_GE(lower.top - upper.top, 12);
    EXPECT_LE(lower.top - upper.top, 16);
    EXPECT_EQ(frame.At(upper.left, upper.bottom), (Rgb{255, 128, 0}));

    EXPECT_EQ(Find(frame, 0, 480, kW, 560, NotBlack).count, 0) << "alpha 0 draws nothing";
}

// The loading screen with a two-tone logo: amber in its top half, teal below.
class LoadingScreenFrames : public TextAndSpriteFrames {
protected:
    void SetUp() override {
        TextAndSpriteFrames::SetUp();
        TexWhite = MakeTexture(1, 1, [](uint32_t, uint32_t) { return 0xFFFFFFFFu; });
        TexLogoJpg = MakeTexture(512, 512, [](uint32_t, uint32_t y) { return y < 256 ? 0xFFC87828u : 0xFF288C8Cu; });
    }

    void CheckFrame(int call, double fillWidth, int alpha) {
        SCOPED_TRACE("call " + std::to_string(call));
        while (LoadingCount < call) m_showLoadingScreen("Loading step: " + std::to_string(LoadingCount));
        frame.Save("LoadingScreen." + std::to_string(call));
        const Rgb clear = FromArgb(0xFF00003Au);
        const Rgb purple = FromArgb(0xFF820082u);

        for (auto [x, y] : {std::pair{5, 700}, {1018, 700}, {1018, 100}, {383, 100}, {640, 100}, {512, 0},
                            {512, 194}, {512, 300}, {309, 390}, {714, 390}, {512, 381}, {512, 406}, {300, 30},
                            {512, 760}}) {
            EXPECT_EQ(frame.At(x, y), clear) << x << "," << y;
        }

        // The logo fills its box exactly, the right way up.
        EXPECT_EQ(frame.At(384, 1), FromArgb(0xFFC87828u));
        EXPECT_EQ(frame.At(639, 1), FromArgb(0xFFC87828u));
        EXPECT_EQ(frame.At(512, 60), FromArgb(0xFFC87828u));
        EXPECT_EQ(frame.At(384, 192), FromArgb(0xFF288C8Cu));
        EXPECT_EQ(frame.At(639, 192), FromArgb(0xFF288C8Cu));
        EXPECT_EQ(frame.At(512, 150), FromArgb(0xFF288C8Cu));

        // The frame's border, which the fill never covers.
        for (auto [x, y] : {std::pair{310, 382}, {713, 405}, {311, 394}, {712, 394}, {512, 382}, {512, 383},
                            {512, 404}, {512, 405}, {330, 383}}) {
            EXPECT_EQ(frame.At(x, y), purple) << x << "," << y;
        }

        // The fill: white at `alpha` over the purple, centred on x = 512.
        const auto filled = [](const Rgb& c) { return c.g > 0; };
        const Found fill = Find(frame, 300, 380, 724, 410, filled);
        EXPECT_NEAR(fill.right - fill.left + 1, fillWidth, 1.0);
        EXPECT_NEAR((fill.left + fill.right + 1) / 2.0, 512, 1.0);
        EXPECT_EQ(fill.top, 384);
        EXPECT_EQ(fill.bottom, 403);
        const int over = 130 + (255 - 130) * alpha / 255;
        EXPECT_TRUE(Near(frame.At(512, 394), (Rgb{over, alpha, over}), 2)) << frame.At(512, 394);

        // The message, centred just above the bar; the credit at the top left.
        const Found message = Find(frame, 0, 194, kW, 382, IsWhite);
        EXPECT_GT(message.count, 50);
        EXPECT_GE(message.left, 312);
        EXPECT_LE(message.right, 711);
        EXPECT_GE(message.top, 364);
        EXPECT_NEAR((message.left + message.right) / 2.0, 512, 2);
        const Found credit = Find(frame, 0, 0, 384, 194, IsWhite);
        EXPECT_GT(credit.count, 80);
        EXPECT_LE(credit.left, 2);
        EXPECT_LE(credit.right, 199);
        EXPECT_LE(credit.bottom, 39);
    }
};

TEST_F(LoadingScreenFrames, TheBarGrowsAndStaysInsideItsFrame) {
    CheckFrame(1, 400.0 / 70, 4);
    CheckFrame(35, 200, 128);
    CheckFrame(70, 400, 255);
    CheckFrame(96, 400, 255);
}

TEST_F(TextAndSpriteFrames, TheEndScreenShowsRedWhereTheImageWasWhite) {
    // The loader keys the image's white to transparent black: here its left half.
    TexTextEfter = MakeTexture(512, 512, [](uint32_t x, uint32_t) { return x < 256 ? 0x00000000u : 0xFF2040C0u; });
    DrawEndScreen();
    const Rgb red{255, 0, 0};
    const Rgb image = FromArgb(0xFF2040C0u);
    for (auto [x, y] : {std::pair{0, 0}, {100, 400}, {505, 767}, {300, 10}}) EXPECT_EQ(frame.At(x, y), red);
    for (auto [x, y] : {std::pair{1023, 0}, {520, 400}, {900, 767}, {700, 300}}) EXPECT_EQ(frame.At(x, y), image);
}

}  // namespace
