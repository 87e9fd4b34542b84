#pragma once

#include "sample_store.h"
#include "side.h"
#include "uniform_random.h"

// Fills both channels as if a noise source stood on one side of the baseline,
// so that the receiver on that side hears each noise value D samples before the
// receiver on the other side.
class NoiseSourceSimulator {
public:
    // Block noise is generated at indices 0..kLastGenerated of the noise channel.
    static constexpr int kLastGenerated = 24004;
    // The advanced copy fills indices 1..kLastCopied of the copied channel.
    static constexpr int kLastCopied = 10000;
    // Samples per block of equal noise values.
    static constexpr int kBlockLength = 5;

    explicit NoiseSourceSimulator(UniformRandom& random) : random_(random) {}

    // Throws std::out_of_range, leaving the store untouched, unless
    // 0 <= delay <= kMaxLag.
    void simulate(SampleStore& store, Side side, int delay);

private:
    std::uint8_t nextBit();

    UniformRandom& random_;
};
