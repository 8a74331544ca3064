// The camera file: semicolon-terminated records of nine comma-separated
// numbers, one eye key and one target key each.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/device/D3D8Types.h"

// One record of the camera file, converted: coordinates floored, paces and the
// step number rounded half to even.
struct CameraRecord {
    int32_t Step = 0;
    D3DVECTOR Eye{0, 0, 0};
    int32_t EyePace = 0;
    D3DVECTOR Target{0, 0, 0};
    int32_t TargetPace = 0;
};

// Parses the file's text. Carriage returns and double quotes are dropped, the
// text after the last ';' is ignored, fields past the ninth are ignored and '.'
// is the decimal point whatever the locale. Throws ContentError naming the
// file and the 1-based record for a short record, a field that is not a
// number, a value that does not fit, or a step number outside 0 to 3.
std::vector<CameraRecord> ParseCameraFile(const std::string& text);

// Adds each record's eye and target key to its step in Steps, in file order,
// then checks that every step's paths can be flown by the camera; throws
// ContentError naming the record that makes a path unusable.
void AddCameraKeys(const std::vector<CameraRecord>& records);
