#pragma once

#include <array>
#include <cstdint>

// Every buffer that the scan, the simulator and the correlator share. A plain
// record: the window owns one, zero-filled at creation, for the whole run.
// All arrays are indexed from 0 and never resized.
struct SampleStore {
    // Highest index of the raw and channel arrays; entries 0..kLastSample exist.
    static constexpr int kLastSample = 130000;
    // Highest index of the correlogram arrays; only lags 0..kMaxLag are used.
    static constexpr int kLastCorrelation = 1000;
    // Lags run from 0 to kMaxLag in each sector.
    static constexpr int kMaxLag = 120;

    using Bits = std::array<std::uint8_t, kLastSample + 1>;
    using Correlogram = std::array<double, kLastCorrelation + 1>;

    Bits rawSamples{};   // one port byte per sample
    Bits channelLeft{};  // left receiver, 0 or 1 per sample
    Bits channelRight{}; // right receiver, 0 or 1 per sample
    std::int16_t simulatedDelay = 0;
    Correlogram correlationLeft{};
    Correlogram correlationRight{};
};
