#pragma once

#include "capture_options.h"

#include <cstdint>
#include <random>
#include <span>
#include <vector>

// The two receivers' bits for a simulated source: noise in blocks heard by
// both, by one of them later by the current lag rounded to whole samples.
// The lag, signed as a result states it (negative: the left receiver hears
// first), runs from the simulation's lag to its lagEnd over its seconds and
// back, again and again.
class MovingNoise {
public:
    MovingNoise(const CaptureOptions::Simulation& simulation, std::uint64_t seed);

    // The next samples of the motion, the right receiver on bit 0 and the
    // left on bit 1.
    void fill(std::span<std::uint8_t> samples);

private:
    double lagAtPhase(double phase) const;
    std::uint8_t nextNoise();

    CaptureOptions::Simulation simulation_;
    double sweep_;  // samples from lag to lagEnd; 0 stands still
    double period_; // samples of one triangle
    double slope_;  // lag per sample on the way out
    std::mt19937_64 engine_;
    std::uint64_t bits_ = 0; // drawn, one a block
    int bitsLeft_ = 0;
    int blockLeft_ = 0;
    std::uint8_t bit_ = 0;
    // The last kMaxLag noise samples given, which the later receiver still
    // hears, then the piece being made.
    std::vector<std::uint8_t> noise_;
    std::uint64_t position_ = 0;
};
