#include "loading/m_initObjects.h"

void m_initObjects() {}
