// Runs once at start-up, after the steps: sets D3DDevice's linear vertex fog
// (colour, start, end). Writes no globals.
#pragma once
// Sets up the linear vertex fog.
void m_InitVertexFog();
