#pragma once

#include <cstdint>
#include <vector>

// The integrated analysis's inner work, vectorised across lags: the lags'
// recurrences are independent, so each lane runs one of them with the same
// multiply, then add, and the results are bit-identical to the plain loop.
namespace WindowSums {

// Lags 0..kMaxLag and a few unused ones, so that the lanes fill registers.
inline constexpr int kLanes = 128;

// Adds to sums[d] the recurrence of lag d over each of windows windows of
// reference samples, window w reading reference[1 + w * kWindow ..] and
// compared[1 + w * kWindow + d ..]; compared is read up to kLanes - 1 past
// the last lag. Each window's value is added in increasing w.
void add(const std::uint8_t* reference, const std::uint8_t* compared, int windows, double* sums);

// The same work built for each instruction set this processor has, the
// widest first: add() uses the first.
using Kernel = void (*)(const std::uint8_t* reference, const std::uint8_t* compared, int windows,
                        double* sums);
std::vector<Kernel> kernels();

} // namespace WindowSums
