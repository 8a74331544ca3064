// What a RecordingDevice had in force when it drew: states that a routine sets
// for its draws and restores afterwards are only visible here.
#pragma once

#include <string>

#include "support/TestSupport.h"

// The value last given by a recorded call starting with `prefix` (for example
// "SetRenderState(14," or "SetTextureStageState(0,4,") before DrawPrimitiveUP
// number `draw`; -1 when no such call came first.
inline long long ValueAtDraw(const RecordingDevice& device, const std::string& prefix, int draw = 0) {
    long long value = -1;
    for (const std::string& call : device.calls) {
        if (call.rfind("DrawPrimitiveUP", 0) == 0 && draw-- == 0) return value;
        if (call.rfind(prefix, 0) == 0) value = std::stoll(call.substr(prefix.size()));
    }
    return value;
}
