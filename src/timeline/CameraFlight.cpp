#include "timeline/CameraFlight.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "common/Common.h"

double FlightSeconds(const Step& step) {
    double seconds = 0;
    for (int32_t k = 2; k <= step.EyePath.UBound() - 1; ++k) {
        const float length = GetDistance(step.EyePath[k - 1].Position, step.EyePath[k].Position);
        if (length == 0) return std::numeric_limits<double>::infinity();
        seconds += step.EyePath[k].Pace / static_cast<double>(length);
    }
    return seconds;
}

int32_t KeyCount(const BoundedArray<PathKey>& path) {
    const D3DVECTOR& first = path[0].Position;
    if (path.UBound() == 0 && first.x == 0 && first.y == 0 && first.z == 0) return 0;
    return path.UBound() + 1;
}

std::string FlightSummary(const Step& step) {
    auto fixed = [](double value) {
        char text[32];
        std::snprintf(text, sizeof text, "%.1f", value);
        return std::string(text);
    };
    const int32_t keys = KeyCount(step.EyePath);
    std::string text = std::to_string(keys) + (keys == 1 ? " key, " : " keys, ");
    const double flight = FlightSeconds(step);
    const double duration = step.Duration / 1000.0;
    if (step.EyePath.UBound() <= 2) {
        text += "camera held for " + fixed(duration) + " s";
    } else if (std::isinf(flight)) {
        text += "a segment of length 0 never ends: the camera stops there for the rest of the " + fixed(duration) +
                " s";
    } else {
        text += "flies " + fixed(flight) + " s of " + fixed(duration) + " s";
        if (flight > duration) text += " (cut short)";
    }
    return text;
}
