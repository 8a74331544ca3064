#include "loading/m_InitMesh.h"

void m_InitMesh() {}
