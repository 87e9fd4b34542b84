#pragma once
// TEMPORARY STUB
#include "bearing.h"
#include <cstddef>
#include <cstdint>
class WhitenedCorrelator {
public:
    void add(const std::uint8_t*, const std::uint8_t*, std::size_t n) { samples_ += n; }
    std::size_t samples() const { return samples_; }
    int blocks() const { return 0; }
    Bearing::Axis coefficients() const { return {}; }
    double noiseFloor() const { return 0.015; }
private:
    std::size_t samples_ = 0;
};
