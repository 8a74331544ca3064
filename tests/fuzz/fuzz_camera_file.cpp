// The camera file parser and the checks of its paths on arbitrary text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "base/Errors.h"
#include "common/Variables.h"
#include "timeline/CameraFile.h"
#include "timeline/m_InitSteps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Steps.Redim(0, 3);
    for (int32_t s = 0; s <= 3; ++s) Steps[s] = NewStep(1000, 1, 0);
    try {
        AddCameraKeys(ParseCameraFile(std::string(reinterpret_cast<const char*>(data), size)));
    } catch (const ContentError&) {
    }
    return 0;
}
