#pragma once

#include "estimate.h"

#include <cstddef>

// The instrument's own analyses as estimators of a scene's one-bit streams:
// the first window, the mean of every window, and the whitened correlation,
// each read as the program reads a capture and assessed as it assesses one.
NamedEstimator instrumentEstimator(std::size_t analysis);
inline constexpr std::size_t kInstrumentAnalyses = 3;
