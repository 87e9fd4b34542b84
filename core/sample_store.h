#pragma once

#include "instrument_constants.h"

#include <array>
#include <cstdint>

// Every buffer that the scan, the simulator and the correlator share. A plain
// record: the window owns one, zero-filled at creation, for the whole run.
// All arrays are indexed from 0 and never resized.
struct SampleStore {
    // Entries 0..kSamples exist.
    using Bits = std::array<std::uint8_t, kSamples + 1>;
    using Correlogram = std::array<double, kLastCorrelation + 1>;

    Bits rawSamples{};   // one port byte per sample
    Bits channelLeft{};  // left receiver, 0 or 1 per sample
    Bits channelRight{}; // right receiver, 0 or 1 per sample
    std::int16_t simulatedDelay = 0;
    Correlogram correlationLeft{};
    Correlogram correlationRight{};
};
