// Seeded pseudo-random numbers for the content generator. Every generator
// takes its own stream so that the pack is the same on every run.
#pragma once

#include <cstdint>

namespace content {

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}

    uint64_t Next() {
        // SplitMix64: small, fast and well mixed.
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, 1).
    double Uniform() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
    double Range(double lo, double hi) { return lo + (hi - lo) * Uniform(); }
    int Int(int lo, int hi) { return lo + static_cast<int>(Uniform() * (hi - lo + 1)); }

private:
    uint64_t state_;
};

// Hash of integer lattice coordinates into [0, 1), for noise.
inline double HashUnit(int x, int y, uint32_t seed) {
    uint64_t h = static_cast<uint32_t>(x) * 0x8DA6B343ull ^ static_cast<uint32_t>(y) * 0xD8163841ull ^
                 seed * 0xCB1AB31Full;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    h *= 0x94D049BB133111EBull;
    h ^= h >> 29;
    return static_cast<double>(h >> 11) * (1.0 / 9007199254740992.0);
}

}  // namespace content
