#pragma once
// Sets up the linear vertex fog.
void m_InitVertexFog();
