// What a RecordingDevice had in force when it drew: states that a routine sets
// for its draws and restores afterwards are only visible here.
#pragma once

#include <string>

#include "support/TestSupport.h"

// The value last given by a call to `call` for `state` (and `stage`) before
// DrawPrimitiveUP number `draw`; -1 when no such call came first.
inline long long ValueAtDraw(const RecordingDevice& device, const std::string& call, long long state, int draw,
                             DWORD stage = 0) {
    long long value = -1;
    for (const DeviceCall& c : device.calls) {
        if (c.draw > draw) break;
        if (c.call == call && c.state == state && c.stage == stage) value = c.value;
    }
    return value;
}
inline long long ValueAtDraw(const RecordingDevice& device, D3DRENDERSTATETYPE state, int draw = 0) {
    return ValueAtDraw(device, "SetRenderState", state, draw);
}
inline long long ValueAtDraw(const RecordingDevice& device, DWORD stage, D3DTEXTURESTAGESTATETYPE type,
                             int draw = 0) {
    return ValueAtDraw(device, "SetTextureStageState", type, draw, stage);
}
// The vertex format in force at DrawPrimitiveUP number `draw`.
inline long long FvfAtDraw(const RecordingDevice& device, int draw = 0) {
    return ValueAtDraw(device, "SetVertexShader", -1, draw);
}
