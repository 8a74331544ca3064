// Runs once at start-up, after the meshes are loaded: fills Objects (and the
// flower's slot named by FlowerIndex) from ObjectTable. Writes Objects.
#pragma once

#include "loading/ObjectTable.h"

void m_initObjects();
