#pragma once
// Copies the drops' positions into their point vertices.
void m_generateVertex();
