// Small value helpers shared by every module.
#pragma once

#include <cstdint>

#include "base/BoundedArray.h"
#include "base/Errors.h"
#include "base/Maths.h"
#include "platform/device/D3D8Types.h"

D3DVECTOR MakeVector(float x, float y, float z);
D3DVECTOR2 MakeVector2(float x, float y);

// True when a growable array has no allocation.
template <class T>
bool IsArrayEmpty(const BoundedArray<T>& array) {
    return !array.Allocated();
}

// Distance between two points: float differences, squares summed in double.
float GetDistance(const D3DVECTOR& a, const D3DVECTOR& b);

// Rounds to the nearest integer with halves to even, as the demo's integer
// conversions do.
int32_t RoundHalfEven(double value);

// Rounds to a 16-bit integer with halves to even; throws when out of range.
int16_t RoundToInt16(double value);

// Throws ResultError when `code` is a failure; `what` names the call. The
// message carries the device's error text for the code.
void Check(int32_t code, const char* what);
