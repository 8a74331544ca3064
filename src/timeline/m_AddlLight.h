// Light records for the steps, built at start-up by m_InitSteps: each call
// switches the light's slot on in Steps[step].LightOn and returns the record
// for the caller to store in Steps[step].Lights.
#pragma once
#include <cstdint>

#include "common/TypeDef.h"

D3DLIGHT8 AddDirectionalLight(int32_t step, int32_t slot, float alpha, float red, float green, float blue,
                              const D3DVECTOR& direction);
D3DLIGHT8 AddPointLight(int32_t step, int32_t slot, const D3DVECTOR& position, int32_t range,
                        float attenuation, float alpha, float red, float green, float blue);
