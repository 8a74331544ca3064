// Runs once at start-up, after the objects are placed: builds Steps (durations,
// render states, draw lists, lights) and reads their camera paths from cam.dat
// (AppPath); sets CurrentStep to the first step.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "common/TypeDef.h"

// Builds the four steps and reads their camera paths from cam.dat, reporting
// progress on the loading screen.
void m_InitSteps();

// m_InitSteps with the progress report going to `showLoading` instead.
void InitSteps(const std::function<void(const std::string&)>& showLoading);

Step NewStep(int32_t duration, int32_t drawCount, int32_t stateCount);
void AddEyeKey(int32_t step, const D3DVECTOR& position, int32_t pace);
void AddTargetKey(int32_t step, const D3DVECTOR& position, int32_t pace);

// The timeline's length as the steps' durations add up, before any overrun.
int32_t TimelineMilliseconds();
