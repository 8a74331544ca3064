// Runs at start-up, once for each file or object the loaders report: draws and
// presents one loading-screen frame. Reads TexWhite, TexLogoJpg, FontSmall,
// Sprite and frmMain; counts the frames in LoadingCount.
#pragma once
#include <string>
// Draws and presents one loading-screen frame with `Message`.
void m_showLoadingScreen(const std::string& Message);
