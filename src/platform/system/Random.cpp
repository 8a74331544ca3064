#include "platform/system/Random.h"

#include <cstring>
#include <ctime>

Random::Random() { Seed(0x5EED1234u); }

void Random::FixSeed(uint32_t seed) {
    Seed(seed);
    fixed_ = true;
}

void Random::Randomize(float secondsSinceMidnight) {
    if (fixed_) return;
    uint32_t bits;
    std::memcpy(&bits, &secondsSinceMidnight, sizeof bits);
    Seed(bits);
}

void Random::Seed(uint32_t seed) {
    // splitmix64 spreads a small seed over the whole state.
    uint64_t z = uint64_t(seed) + 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    state_ = z ^ (z >> 31);
    if (state_ == 0) state_ = 1;
}

float Random::Next() {
    // xorshift64*: 24 random bits give a float in [0, 1) exactly.
    state_ ^= state_ >> 12;
    state_ ^= state_ << 25;
    state_ ^= state_ >> 27;
    const uint64_t value = state_ * 0x2545F4914F6CDD1Dull;
    return static_cast<float>(value >> 40) * (1.0f / 16777216.0f);
}

float SecondsSinceMidnight() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm local{};
    localtime_r(&now.tv_sec, &local);
    return static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) +
           static_cast<float>(now.tv_nsec) / 1e9f;
}
