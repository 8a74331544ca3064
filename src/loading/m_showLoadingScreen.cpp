#include "loading/m_showLoadingScreen.h"

void m_showLoadingScreen(const std::string&) {}
