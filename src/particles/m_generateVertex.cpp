#include "particles/m_generateVertex.h"

void m_generateVertex() {}
