// The 36 meshes of the town and the cathedral, each in its own local units so
// that the demo's placements stand them on the ground.
#pragma once

#include <string>
#include <vector>

#include "Mesh.h"

namespace content {

struct MeshFile {
    std::string path;  // relative to the pack root, with forward slashes
    Mesh mesh;
};

std::vector<MeshFile> BuildModels();

// A box that the camera must keep out of, in world units, and the name of the
// placed object it surrounds (none for an area such as the park).
struct Obstacle {
    Vec3 lo, hi;
    const char* object;
};
// Footprints of the placed buildings, walls and props, as the camera paths see them.
std::vector<Obstacle> TownObstacles();
std::vector<Obstacle> CathedralObstacles();

}  // namespace content
