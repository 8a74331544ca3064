#include "render/Overlays.h"

#include <algorithm>

#include "base/Errors.h"
#include "common/Common.h"
#include "common/Constants.h"
#include "common/Variables.h"
#include "common/Wrappers.h"
#include "platform/sprite/Sprite.h"
#include "platform/system/Clock.h"
#include "platform/window/Window.h"
#include "text/m_DrawText.h"

namespace {

// Full opacity up to `fullUntil`, then a linear fade to 0 over `fadeMilliseconds`.
int32_t FadeOut(int32_t t, int32_t fullUntil, double fadeMilliseconds) {
    if (t <= fullUntil) return 255;
    return std::max(RoundHalfEven(255.0 - (255.0 / fadeMilliseconds) * (t - fullUntil)), 0);
}

// A linear rise from 0 at `from`, reaching 255 after `riseMilliseconds`.
int32_t FadeIn(int32_t t, int32_t from, double riseMilliseconds) {
    return std::min(RoundHalfEven((255.0 / riseMilliseconds) * (t - from)), 255);
}

D3DCOLOR WhiteWithAlpha(int32_t alpha) { return D3DColorARGB(static_cast<int16_t>(alpha), 255, 255, 255); }

// The 1 x 1 white texture stretched over the whole window.
OverlaySprite WholeWindowWhite(int32_t alpha, double width, double height) {
    return {true, {static_cast<float>(width), static_cast<float>(height)}, {0, 0}, WhiteWithAlpha(alpha)};
}

}  // namespace

OverlayFrame ComputeOverlays(int32_t t, int32_t step, int32_t width, int32_t height) {
    const double w = width;
    const double h = height;
    OverlayFrame frame;
    frame.backdrop = {true, {static_cast<float>(w / 512), static_cast<float>(h / 512)}, {0, 0}, OpaqueWhite};

    if (t > 1000 && t < 5500) {
        frame.alpha = FadeOut(t, 3000, 1500);
        frame.credit = {true,
                        RoundToInt16(w / 2 - 150),
                        RoundToInt16(h / 2),
                        RoundToInt16(w / 2 + 150),
                        RoundToInt16(h / 2 + 40),
                        WhiteWithAlpha(frame.alpha)};
    } else if (t > 6000 && t < 17000) {
        frame.alpha = FadeOut(t, 12000, 5000);
        frame.logo = {true,
                      {2, 1},
                      {static_cast<float>(w / 2 - 256), static_cast<float>(h / 2 - 128)},
                      WhiteWithAlpha(frame.alpha)};
    } else if (t > 79000 && (t < 83000 || step == 0)) {
        // Washes the town out to white up to the cut into the cathedral. The
        // town's step ends on the first frame after its own clock passes 83 s,
        // so the white holds until then instead of uncovering the town again.
        frame.alpha = FadeIn(t, 79000, 4000);
        frame.white = WholeWindowWhite(frame.alpha, w, h);
    } else if (t > 99500 && t < 100500) {
        // A one-second ramp in the middle of the cathedral flight. Nothing in
        // the picture or the music marks that moment, so a flash there reads
        // as a fault: the alpha is kept, nothing is drawn.
        if (t < 99800) {
            frame.alpha = FadeIn(t, 99500, 300);
        } else if (t < 100200) {
            frame.alpha = 255;
        } else {
            frame.alpha = FadeOut(t, 100200, 300);
        }
    } else if (t > 148000) {
        // Each step may overrun its duration by a frame, so the timeline can
        // end a few frames after 150.2 s: the white holds until the end screen.
        frame.alpha = FadeIn(t, 148000, 2200);
        frame.white = WholeWindowWhite(frame.alpha, w, h);
    }
    return frame;
}

namespace {

void DrawSprite(Direct3DTexture8* texture, const OverlaySprite& sprite) {
    const D3DVECTOR2 centre{0, 0};
    Check(Sprite->Draw(texture, nullptr, &sprite.scaling, &centre, 0.0f, &sprite.translation, sprite.color),
          "Sprite.Draw");
}

}  // namespace

void DrawOverlays(const OverlayFrame& frame) {
    DrawSprite(TexBajs.get(), frame.backdrop);
    if (frame.credit.shown) {
        const OverlayText& text = frame.credit;
        DrawTextRect(*FontSmall, text.top, text.left, text.bottom, text.right, CreditText, DT_CENTER,
                     text.color);
    }
    if (frame.logo.shown) DrawSprite(TexLogoDds.get(), frame.logo);
    if (frame.white.shown) DrawSprite(TexWhite.get(), frame.white);
}

void r_renderOverlays() {
    const int32_t t = TickDifference(GetTickCount(), startTick);
    DrawOverlays(ComputeOverlays(t, CurrentStep, frmMain->ClientWidth(), frmMain->ClientHeight()));
}
