// What a step's camera path amounts to, for the people who make it.
#pragma once

#include <cstdint>
#include <string>

#include "common/TypeDef.h"

// How long the camera takes to fly a step's eye path: from key 2 to the second
// last, each segment lasting its key's pace divided by its length in seconds,
// as the camera moves. Infinite when a segment has no length.
double FlightSeconds(const Step& step);

// Keys of a path; a lone key at the origin is the place-holder of a path the
// camera file gave none.
int32_t KeyCount(const BoundedArray<PathKey>& path);

// "12 keys, flies 80.1 s of 83.0 s", with "(cut short)" when the step ends
// first; or that the camera is held, or stops on a segment of length 0.
std::string FlightSummary(const Step& step);
