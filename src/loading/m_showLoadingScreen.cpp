#include "loading/m_showLoadingScreen.h"

#include <algorithm>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/font/Font.h"
#include "platform/sprite/Sprite.h"
#include "platform/window/Window.h"
#include "text/m_DrawText.h"

namespace {

// The bar frame's inner width: the fill never grows past it.
constexpr float kFillMax = 400.0f;
// The call count at which the bar is full.
constexpr int32_t kFullAt = 70;
constexpr char kCredit[] = "a velmora production";

void DrawSprite(Direct3DTexture8* texture, float sx, float sy, float tx, float ty, D3DCOLOR color) {
    const D3DVECTOR2 scaling{sx, sy};
    const D3DVECTOR2 centre{0.0f, 0.0f};
    const D3DVECTOR2 translation{tx, ty};
    Check(Sprite->Draw(texture, nullptr, &scaling, &centre, 0.0f, &translation, color), "Sprite Draw");
}

}  // namespace

void m_showLoadingScreen(const std::string& Message) {
    if (!frmMain || !D3DDevice || !Sprite || !FontSmall) {
        throw DemoError("the loading screen needs the window, the device, the sprite and the font first");
    }
    LoadingCount = LoadingCount + 1;
    const int32_t n = LoadingCount;
    const float W = static_cast<float>(frmMain->ClientWidth());
    const float H = static_cast<float>(frmMain->ClientHeight());

    Check(D3DDevice->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL, 0xFF00003Au, 1.0f, 0),
          "Clear");
    Check(D3DDevice->BeginScene(), "BeginScene");
    Check(D3DDevice->SetRenderState(D3DRS_FOGENABLE, 0), "SetRenderState");

    DrawSprite(TexLogoJpg.get(), W / 512 / 4, H / 512 / 4, W / 2 - W / 8, 1, 0xFFFFFFFFu);
    DrawSprite(TexWhite.get(), 404, 24, W / 2 - 202, H / 2 - 2, D3DColorARGB(255, 130, 0, 130));

    // The start-up makes more calls than kFullAt; past it the bar stays full
    // and opaque instead of overrunning its frame.
    const float fill = std::min(static_cast<float>(n * 400) / kFullAt, kFillMax);
    const int32_t alpha = std::min(RoundHalfEven(static_cast<double>(n * 255) / kFullAt), 255);
    DrawSprite(TexWhite.get(), fill, 20, W / 2 - fill / 2, H / 2,
               D3DColorARGB(static_cast<int16_t>(alpha), 255, 255, 255));

    DrawTextRect(*FontSmall, RoundToInt16(H / 2 - 20), RoundToInt16(W / 2 - 200), RoundToInt16(H / 2 + 20),
                 RoundToInt16(W / 2 + 200), Message, DT_CENTER, 0xFFFFFFFFu);
    DrawTextRect(*FontSmall, 0, 0, 40, 200, kCredit, DT_LEFT | DT_TOP, 0xFFFFFFFFu);

    Check(D3DDevice->EndScene(), "EndScene");
    Check(D3DDevice->Present(nullptr, nullptr, nullptr, nullptr), "Present");
}
