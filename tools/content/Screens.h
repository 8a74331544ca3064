// The six stand-alone images: the white texel, the two logos, the fountain's
// drop, the full-window overlay and the end image.
#pragma once

#include <string>

#include "Image.h"

namespace content {

Image WhiteTexel();
Image LoadingLogo();   // 512 x 512 on pure white, which is keyed out
Image EndImage();      // 512 x 512; pure white shows the red clear colour behind it
Image TitleLogo();     // 256 x 256 with alpha, drawn stretched to 512 x 256
Image Drop();          // 32 x 32 soft drop with alpha, never pure white
Image Overlay();       // 512 x 512, mostly pure white (keyed out): bars and a vignette
Image Icon();          // 256 x 256 with alpha: the program's icon for desktop menus

// Distance in pixels from (x, y) to the strokes of `text` laid out centred at
// (cx, cy) with capital height `height`; `squeeze` narrows the letters.
double TextDistance(const std::string& text, double cx, double cy, double height, double squeeze, double x, double y);

}  // namespace content
