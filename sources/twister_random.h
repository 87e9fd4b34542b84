#pragma once

#include "uniform_random.h"

#include <random>

// The simulator's default noise: a Mersenne twister that the program never
// seeds, so its sequence simply continues from one simulation to the next.
class TwisterRandom final : public UniformRandom {
public:
    // 24 random bits scaled by 2^-24: every float in [0, 1) on that grid, and
    // never 1.0 (which the standard float distributions can return).
    float next() override { return static_cast<float>(engine_() >> 8) * 0x1p-24F; }

private:
    std::mt19937 engine_;
};
