// A map of the camera paths for the people who make content: for each step a
// top-down plan of the objects it draws, the camera's path as it flies it,
// the numbered keys, the direction of travel, the fog's reach and the flight
// time against the step's duration. Read from the content in AppPath with
// the demo's own readers, tables and camera code, without a window.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "loading/ObjectTable.h"
#include "platform/device/D3D8Types.h"

struct MapPoint {
    float x = 0, z = 0;  // ground-plane coordinates, seen from above
};

struct MapFootprint {
    std::string name;
    std::vector<MapPoint> outline;  // convex, counter-clockwise
};

struct StepMap {
    int32_t step = 0;
    std::string caption;                  // as --check words the step
    std::vector<MapFootprint> footprints;  // the objects the step draws
    std::vector<MapPoint> keys;            // the eye keys, in path order from key 0
    std::vector<MapPoint> flown;           // the eye at each frame, 60 a second
    size_t framesInStep = 0;               // the frames the step lasts; beyond them the path is cut short
};

// The map of every step. `objects` places the meshes (the demo's object
// table). Throws ContentError naming the file that cannot be read.
std::vector<StepMap> BuildCameraMap(std::span<const ObjectRow> objects);

// Draws `maps` side by side, two to a row, into a PNG at `file`. The same
// maps give the same bytes.
void WriteCameraMap(const std::vector<StepMap>& maps, const std::filesystem::path& file);
