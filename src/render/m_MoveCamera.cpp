#include "render/m_MoveCamera.h"

void m_MoveCamera() {}
void UpdateViewMatrix() {}
