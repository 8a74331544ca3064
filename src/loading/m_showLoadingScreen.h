#pragma once
#include <string>
// Draws and presents one loading-screen frame with `Message`.
void m_showLoadingScreen(const std::string& Message);
