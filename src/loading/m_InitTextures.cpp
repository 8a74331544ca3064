#include "loading/m_InitTextures.h"

void m_InitTextures() {}
