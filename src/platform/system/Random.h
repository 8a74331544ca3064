// The uniform random-number generator: values in [0, 1), reseeded from the time
// of day, or fixed by a seed so that runs repeat.
#pragma once

#include <cstdint>

class Random {
public:
    Random();
    virtual ~Random() = default;
    // Fixes the sequence: later reseeds from the time of day are ignored.
    void FixSeed(uint32_t seed);
    // Reseeds from the number of seconds since midnight.
    virtual void Randomize(float secondsSinceMidnight);
    // The next value in [0, 1).
    virtual float Next();

private:
    void Seed(uint32_t seed);
    uint64_t state_ = 0;
    bool fixed_ = false;
};

// Seconds since local midnight, as the reseed takes it.
float SecondsSinceMidnight();
