#pragma once

#include "bearing.h"

#include <cstddef>
#include <cstdint>

// The noise of the plain analysis where no source is, from what the two
// receivers' own bits say: bits that change slowly make a correlation that
// wanders further than independent bits would, and their autocorrelations
// set by how much. The values of neighbouring lags wander together, which
// the peak's height over the median does not see, so the floor is the
// spread of one lag about the mean of them all.
namespace CorrelationNoise {

// Samples the autocorrelations are read from: enough for their noise to be
// small beside the floor's, few enough to cost less than the analysis.
inline constexpr std::size_t kSamplesRead = 16'384;

// The noise of the mean of windows contiguous windows, told by the bits (0
// or 1) right[0..samples) and left[0..samples), of which the first
// kSamplesRead are read, each window weighted as the analysis weighs it.
Bearing::Noise of(const std::uint8_t* right, const std::uint8_t* left, std::size_t samples,
                  int windows);

} // namespace CorrelationNoise
