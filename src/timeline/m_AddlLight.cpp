#include "timeline/m_AddlLight.h"

#include "common/Variables.h"

namespace {

// Checks the step and slot (through the bounded arrays) before switching the slot on.
void SwitchOn(int32_t step, int32_t slot) { Steps[step].LightOn[slot] = True16; }

}  // namespace

D3DLIGHT8 AddDirectionalLight(int32_t step, int32_t slot, float alpha, float red, float green, float blue,
                              const D3DVECTOR& direction) {
    SwitchOn(step, slot);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{red, green, blue, alpha};
    light.Direction = direction;
    return light;
}

D3DLIGHT8 AddPointLight(int32_t step, int32_t slot, const D3DVECTOR& position, int32_t range,
                        float attenuation, float alpha, float red, float green, float blue) {
    SwitchOn(step, slot);
    D3DLIGHT8 light{};
    light.Type = D3DLIGHT_POINT;
    light.Diffuse = D3DCOLORVALUE{red, green, blue, alpha};
    light.Position = position;
    light.Range = static_cast<float>(range);
    light.Attenuation1 = attenuation;
    return light;
}
