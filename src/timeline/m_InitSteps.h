#pragma once
#include <cstdint>

#include "common/TypeDef.h"

// Builds the four steps and reads their camera paths from cam.dat.
void m_InitSteps();

Step NewStep(int32_t duration, int32_t drawCount, int32_t stateCount);
void AddEyeKey(int32_t step, const D3DVECTOR& position, int32_t pace);
void AddTargetKey(int32_t step, const D3DVECTOR& position, int32_t pace);
