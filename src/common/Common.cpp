#include "common/Common.h"

#include <cmath>
#include <string>

#include "base/Errors.h"
#include "platform/d3dx/D3DX8.h"

D3DVECTOR MakeVector(float x, float y, float z) { return D3DVECTOR{x, y, z}; }

D3DVECTOR2 MakeVector2(float x, float y) { return D3DVECTOR2{x, y}; }

float GetDistance(const D3DVECTOR& a, const D3DVECTOR& b) {
    const float dx = a.x - b.x;
    const float dy = a.y - b.y;
    const float dz = a.z - b.z;
    const double sum = double(dx) * dx + double(dy) * dy + double(dz) * dz;
    return static_cast<float>(std::sqrt(sum));
}

int32_t RoundHalfEven(double value) {
    if (!std::isfinite(value) || value >= 2147483647.5 || value < -2147483648.5) {
        throw DemoError("integer overflow converting " + std::to_string(value));
    }
    return static_cast<int32_t>(std::nearbyint(value));  // the default rounding mode is half to even
}

int16_t RoundToInt16(double value) {
    const int32_t rounded = RoundHalfEven(value);
    if (rounded < -32768 || rounded > 32767) {
        throw DemoError("integer overflow converting " + std::to_string(value) + " to 16 bits");
    }
    return static_cast<int16_t>(rounded);
}

void Check(int32_t code, const char* what) {
    if (code < 0) {
        throw ResultError(code, std::string(what) + " failed: " + D3DX8::GetErrorString(code));
    }
}
