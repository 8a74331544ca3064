#include "render/m_InitVertexFog.h"

void m_InitVertexFog() {}
