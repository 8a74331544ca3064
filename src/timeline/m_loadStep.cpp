#include "timeline/m_loadStep.h"

#include "common/Variables.h"

void m_loadStep() { Steps[CurrentStep].Loaded = True16; }
