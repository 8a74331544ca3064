#include "Camera.h"

#include <cmath>

#include "Errors.h"
#include "Models.h"

namespace content {

namespace {

// Seconds left between the end of a flight and the end of its step.
constexpr double kEndMargin = 1.6;

// Limits on the view: the look-at point keeps its distance from the eye, the
// view neither tips into the sky nor looks straight down, and it turns no
// faster than a viewer can follow.
constexpr double kNearestLook = 60;
constexpr double kLowestPitch = -55, kHighestPitch = 15;
constexpr double kFastestTurn = 50;  // degrees per second
constexpr double kDegrees = 180 / 3.14159265358979323846;

CameraKey K(double ex, double ey, double ez, double tx, double ty, double tz) { return {{ex, ey, ez}, {tx, ty, tz}}; }

double Chord(const Vec3& a, const Vec3& b) { return Length(b - a); }

bool Inside(const Obstacle& o, const Vec3& p) {
    return p.x > o.lo.x && p.x < o.hi.x && p.y > o.lo.y && p.y < o.hi.y && p.z > o.lo.z && p.z < o.hi.z;
}

}  // namespace

std::vector<CameraPath> CameraPaths() {
    return {
        // Down from above the town hall to the fountain, south over the square
        // towards the houses, round past the lamps and back to the fountain, east
        // and south past the park to the car park, and up over the town. The
        // look-at point stays ahead of the eye so the view turns gently.
        {0, 83.0, {K(400, 440, 290, 400, 60, -150), K(400, 400, 200, 400, 50, -200), K(430, 250, 0, 400, 30, -180),
                   K(520, 90, -120, 400, 25, -180), K(520, 35, -300, 430, 22, -215), K(470, 30, -470, 330, 35, -650),
                   K(360, 30, -560, 200, 40, -600), K(260, 32, -470, 155, 45, -365), K(290, 35, -300, 400, 25, -180),
                   K(705, 40, -360, 690, 30, -640), K(700, 35, -560, 830, 30, -690), K(720, 40, -720, 740, 20, -900),
                   K(640, 70, -790, 500, 20, -830), K(520, 160, -700, 450, 20, -480), K(470, 200, -640, 420, 20, -400)}},
        // Down the nave between the pillars towards the statues.
        {1, 19.5, {K(1, -30, -300, 1, -40, 1), K(1, -35, -250, 1, -45, 100), K(1, -42, -180, 1, -50, 120),
                   K(10, -48, -110, 1, -55, 120), K(-6, -52, -40, 1, -58, 120), K(1, -54, 5, 1, -60, 120),
                   K(1, -55, 25, 1, -60, 125)}},
        // In from the north-west over the garden wall, south along the west
        // street to the row houses, east along the south street, and up.
        {2, 40.4, {K(-120, 90, 260, 1, 40, 100), K(-60, 70, 200, 60, 30, 1), K(-10, 40, -40, 60, 30, -200),
                   K(40, 32, -230, 155, 40, -365), K(40, 30, -450, 20, 40, -700), K(60, 35, -560, 1, 45, -730),
                   K(70, 38, -690, 200, 40, -780), K(200, 40, -770, 400, 30, -800), K(420, 40, -760, 620, 20, -640),
                   K(560, 120, -700, 400, 30, -300), K(500, 200, -600, 400, 30, -250)}},
        // A slow sideways drift in front of the two statues.
        {3, 7.3, {K(-40, -54, -10, 1, -62, 120), K(-30, -55, 0, 1, -61, 120), K(-16, -56, 8, 1, -60, 120),
                  K(-2, -57, 12, 1, -60, 121), K(12, -57, 14, 1, -60, 121), K(24, -56, 12, 1, -61, 120),
                  K(34, -55, 6, 1, -62, 120)}},
    };
}

Vec3 CatmullRom(const Vec3& p0, const Vec3& p1, const Vec3& p2, const Vec3& p3, double s) {
    const double s2 = s * s, s3 = s2 * s;
    return (p1 * 2 + (p2 - p0) * s + (p0 * 2 - p1 * 5 + p2 * 4 - p3) * s2 + (p1 * 3 - p0 - p2 * 3 + p3) * s3) * 0.5;
}

std::vector<int> Paces(const CameraPath& path) {
    const auto& keys = path.keys;
    const size_t n = keys.size();
    if (n < 6) throw GenerateError("camera path of step " + std::to_string(path.step) + " has fewer than six keys");
    double length = 0;
    for (size_t k = 2; k + 1 < n; ++k) length += Chord(keys[k - 1].eye, keys[k].eye);
    const double flight = path.durationSeconds - kEndMargin;
    std::vector<int> paces(n, 0);
    for (size_t k = 2; k + 1 < n; ++k) {
        const double chord = Chord(keys[k - 1].eye, keys[k].eye);
        const double seconds = flight * chord / length;
        paces[k] = std::max(1, static_cast<int>(std::lround(seconds * chord)));
    }
    // Keys 0, 1 and n-1 never time a segment; they repeat their neighbours' pace.
    paces[0] = paces[1] = paces[2];
    paces[n - 1] = paces[n - 2];
    return paces;
}

double FlightSeconds(const std::vector<Vec3>& eyes, const std::vector<int>& paces) {
    double seconds = 0;
    for (size_t k = 2; k + 1 < eyes.size(); ++k) seconds += paces[k] / Chord(eyes[k - 1], eyes[k]);
    return seconds;
}

void ValidatePath(const CameraPath& path) {
    const bool town = path.step == 0 || path.step == 2;
    const std::vector<Obstacle> obstacles = town ? TownObstacles() : CathedralObstacles();
    const auto& keys = path.keys;
    const std::vector<int> paces = Paces(path);
    constexpr int kSamples = 50;
    for (size_t k = 2; k + 1 < keys.size(); ++k) {
        const double sampleSeconds = paces[k] / Chord(keys[k - 1].eye, keys[k].eye) / kSamples;
        double lastYaw = 0;
        for (int i = 0; i <= kSamples; ++i) {
            const double s = static_cast<double>(i) / kSamples;
            const Vec3 p = CatmullRom(keys[k - 2].eye, keys[k - 1].eye, keys[k].eye, keys[k + 1].eye, s);
            const Vec3 t = CatmullRom(keys[k - 2].target, keys[k - 1].target, keys[k].target, keys[k + 1].target, s);
            const std::string where = "camera path of step " + std::to_string(path.step) + " near key " + std::to_string(k);
            if (town && p.y < 12) throw GenerateError(where + " goes too close to the ground");
            if (!town && (p.y < -72 || p.y > 50 || std::abs(p.x) > 80 || p.z < -280 || p.z > 200))
                throw GenerateError(where + " leaves the nave");
            for (const Obstacle& o : obstacles)
                if (Inside(o, p))
                    throw GenerateError(where + " passes through an object at (" + std::to_string(p.x) + ", " +
                                        std::to_string(p.y) + ", " + std::to_string(p.z) + ")");
            const Vec3 look = t - p;
            if (Length(look) < kNearestLook) throw GenerateError(where + " looks at a point too near the eye");
            const double pitch = std::atan2(look.y, std::hypot(look.x, look.z)) * kDegrees;
            if (pitch < kLowestPitch || pitch > kHighestPitch)
                throw GenerateError(where + " looks " + std::to_string(pitch) + " degrees up");
            const double yaw = std::atan2(look.x, look.z) * kDegrees;
            if (i > 0) {
                const double turn = std::abs(std::remainder(yaw - lastYaw, 360.0));
                if (turn / sampleSeconds > kFastestTurn)
                    throw GenerateError(where + " turns " + std::to_string(turn / sampleSeconds) + " degrees a second");
            }
            lastYaw = yaw;
        }
    }
}

std::string WriteCamDat() {
    std::string out;
    for (const CameraPath& path : CameraPaths()) {
        ValidatePath(path);
        const std::vector<int> paces = Paces(path);
        for (size_t k = 0; k < path.keys.size(); ++k) {
            const CameraKey& key = path.keys[k];
            auto i = [](double v) { return std::to_string(static_cast<long>(std::floor(v))); };
            out += std::to_string(path.step) + "," + i(key.eye.x) + "," + i(key.eye.y) + "," + i(key.eye.z) + "," +
                   std::to_string(paces[k]) + "," + i(key.target.x) + "," + i(key.target.y) + "," + i(key.target.z) +
                   "," + std::to_string(paces[k]) + ";\n";
        }
    }
    return out;
}

}  // namespace content
