// The 2D overlay layer laid over every frame: the full-window overlay image,
// then at most one timed overlay chosen by the time since the timeline began.
#pragma once

#include <cstdint>

#include "platform/device/D3D8Types.h"

// The credit line shown at the start of the run.
constexpr const char* CreditText = "a velmora production";

// One sprite draw: scaling, then translation in window pixels, modulated by `color`.
struct OverlaySprite {
    bool shown = false;
    D3DVECTOR2 scaling{1, 1};
    D3DVECTOR2 translation{0, 0};
    D3DCOLOR color = 0;
};

struct OverlayText {
    bool shown = false;
    int16_t left = 0, top = 0, right = 0, bottom = 0;
    D3DCOLOR color = 0;
};

// Everything the overlay layer draws at one moment, in drawing order.
struct OverlayFrame {
    OverlaySprite backdrop;  // TexBajs over the whole window, on every frame
    OverlayText credit;      // CreditText in FontSmall
    OverlaySprite logo;      // TexLogoDds
    OverlaySprite white;     // TexWhite over the whole window: the flashes and the closing fade
    int32_t alpha = 0;       // alpha of the timed overlay in force, 0 when there is none
};

// The overlays at `t` milliseconds after the timeline began, during timeline
// step `step`, in a drawing area of width x height pixels. Pure: the same
// arguments give the same frame.
OverlayFrame ComputeOverlays(int32_t t, int32_t step, int32_t width, int32_t height);

// Draws `frame` with Sprite and FontSmall.
void DrawOverlays(const OverlayFrame& frame);

// The overlay layer of the current frame: t from startTick, the size from frmMain.
void r_renderOverlays();
