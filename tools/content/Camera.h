// The camera paths of the four steps, written as cam.dat.
#pragma once

#include <string>
#include <vector>

#include "Mesh.h"

namespace content {

struct CameraKey {
    Vec3 eye, target;
};

struct CameraPath {
    int step;
    double durationSeconds;
    std::vector<CameraKey> keys;  // keys 0 and n-1 only shape the curve's ends
};

std::vector<CameraPath> CameraPaths();

// Catmull-Rom point between p1 (s = 0) and p2 (s = 1).
Vec3 CatmullRom(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double s);

// Integer paces that make each path end shortly before its step: a segment
// from key k-1 to key k lasts pace(k) / chord seconds, and the eye moves at an
// even speed. Index k holds the pace of key k.
std::vector<int> Paces(const CameraPath& path);

// Seconds the flight from key 1 to key n-2 takes with these paces.
double FlightSeconds(const std::vector<Vec3>& eyes, const std::vector<int>& paces);

// Throws when a path leaves the ground, enters a building or is too short.
void ValidatePath(const CameraPath& path);

// cam.dat: one "step,ex,ey,ez,pace,tx,ty,tz,tpace;" record per line.
std::string WriteCamDat();

}  // namespace content
