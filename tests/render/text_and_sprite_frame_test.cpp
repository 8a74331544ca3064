// Frames rendered off screen on the real device and read back: sprites, text,
// the loading screen and the end screen, checked pixel by pixel.
//
// Set VELMORA_TEST_FRAMES to a folder to keep each checked frame as a PNG.
#include <gtest/gtest.h>

#include <numbers>

#include "common/Variables.h"
#include "loading/m_InitGraphicsMode.h"
#include "loading/m_showLoadingScreen.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
#include "shell/Main.h"
#include "support/DeviceHarness.h"
#include "text/m_DrawText.h"

namespace {

constexpr int kW = 1024;
constexpr int kH = 768;

Rgb FromArgb(D3DCOLOR c) {
    return {static_cast<int>((c >> 16) & 255), static_cast<int>((c >> 8) & 255), static_cast<int>(c & 255)};
}

// A texture on the demo's device from a function of the texel position giving ARGB.
template <class Texel>
std::shared_ptr<Direct3DTexture8> MakeTexture(uint32_t w, uint32_t h, Texel texel) {
    std::vector<D3DCOLOR> argb;
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) argb.push_back(texel(x, y));
    return ::MakeTexture(*D3DDevice, w, h, argb);
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
        D3DPRESENT_PARAMETERS params = GraphicsModeParameters(3, D3DFMT_D24S8, false, window_.get());
        params.Windowed = 1;
        ASSERT_EQ(D3D->CreateDevice(D3DADAPTER_DEFAULT, D3DDEVTYPE_HAL, window_.get(),
                                    D3DCREATE_SOFTWARE_VERTEXPROCESSING, &params, D3DDevice),
                  D3D_OK);
        D3DDevice->SetPresentListener(&frame);
        ASSERT_EQ(D3DX->CreateSprite(*D3DDevice, Sprite), D3D_OK);
        MakeFont(FontSmall, "verdana", "8", False16, False16, False16);
    }

    void TearDown() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        frame.SaveIfAsked(std::string(info->test_suite_name()) + "." + info->name());
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

    FrameKeeper frame;

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
    EXPECT_EQ(frame.Pixel(104, 52), (Rgb{0, 255, 0}));

    // Unscaled at an integer position: texel (i, j) is pixel (200 + i, 200 + j).
    for (int j = 0; j < 4; ++j) {
        for (int i = 0; i < 4; ++i) {
            ExpectPixel(frame, 200 + i, 200 + j, {i * 60 + 10, j * 60 + 10, 0x20}, 1);
        }
    }
    EXPECT_EQ(Find(frame, 190, 190, 215, 215, NotBlack).count, 16);

    ExpectPixel(frame, 304, 54, {128, 128, 64}, 1);
    // Half the colour's alpha over black halves the texel.
    ExpectPixel(frame, 400, 50, {5, 5, 16}, 2);
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
    EXPECT_EQ(frame.Pixel(upper.left, upper.bottom), (Rgb{255, 128, 0}));

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
        frame.SaveIfAsked("LoadingScreen." + std::to_string(call));
        const Rgb clear = FromArgb(0xFF00003Au);
        const Rgb purple = FromArgb(0xFF820082u);

        for (auto [x, y] : {std::pair{5, 700}, {1018, 700}, {1018, 100}, {383, 100}, {640, 100}, {512, 0},
                            {512, 194}, {512, 300}, {309, 390}, {714, 390}, {512, 381}, {512, 406}, {300, 30},
                            {512, 760}}) {
            EXPECT_EQ(frame.Pixel(x, y), clear) << x << "," << y;
        }

        // The logo fills its box exactly, the right way up: amber above, teal below.
        for (auto [x, y] : {std::pair{384, 1}, {639, 1}, {512, 60}})
            EXPECT_EQ(frame.Pixel(x, y), FromArgb(0xFFC87828u)) << x << "," << y;
        for (auto [x, y] : {std::pair{384, 192}, {639, 192}, {512, 150}})
            EXPECT_EQ(frame.Pixel(x, y), FromArgb(0xFF288C8Cu)) << x << "," << y;

        // The frame's border, which the fill never covers.
        for (auto [x, y] : {std::pair{310, 382}, {713, 405}, {311, 394}, {712, 394}, {512, 382}, {512, 383},
                            {512, 404}, {512, 405}, {330, 383}}) {
            EXPECT_EQ(frame.Pixel(x, y), purple) << x << "," << y;
        }

        // The fill: white at `alpha` over the purple, centred on x = 512.
        const auto filled = [](const Rgb& c) { return c.g > 0; };
        const Found fill = Find(frame, 300, 380, 724, 410, filled);
        EXPECT_NEAR(fill.right - fill.left + 1, fillWidth, 1.0);
        EXPECT_NEAR((fill.left + fill.right + 1) / 2.0, 512, 1.0);
        EXPECT_EQ(fill.top, 384);
        EXPECT_EQ(fill.bottom, 403);
        const int over = 130 + (255 - 130) * alpha / 255;
        ExpectPixel(frame, 512, 394, {over, alpha, over}, 2);

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
    for (auto [x, y] : {std::pair{0, 0}, {100, 400}, {505, 767}, {300, 10}}) EXPECT_EQ(frame.Pixel(x, y), red);
    for (auto [x, y] : {std::pair{1023, 0}, {520, 400}, {900, 767}, {700, 300}}) EXPECT_EQ(frame.Pixel(x, y), image);
}

}  // namespace
