#include "parallel_port_scan.h"

namespace {

using Clock = std::chrono::steady_clock;

// Spins on the clock and returns its first reading at or after the deadline.
// Each reading is an opaque call that the compiler must keep, and reading on
// every pass ends the wait within one reading of the deadline, where sleeping
// would hand the CPU away for far longer than a period.
Clock::time_point waitUntil(Clock::time_point deadline) {
    Clock::time_point now = Clock::now();
    while (now < deadline) {
        now = Clock::now();
    }
    return now;
}

// When the scan is held up for a whole period or more (the system gave the CPU
// to another program), the slots that went by are given up instead of being
// sampled back to back to catch up: that time is lost to the receivers either
// way, and a burst would fill the channels with copies of a single instant.
Clock::time_point skipMissedSlots(Clock::time_point slot, Clock::time_point now,
                                  std::chrono::nanoseconds period) {
    const auto late = now - slot;
    if (period.count() > 0 && late >= period) {
        slot += late / period * period;
    }
    return slot;
}

} // namespace

void ParallelPortScan::scan(SampleStore& store) {
    acquire(store.rawSamples);
    split(store);
}

// Every deadline lies on one grid of periods from the start, so a sample that
// comes late delays only itself, never the ones after it.
void ParallelPortScan::acquire(SampleStore::Bits& raw) {
    Clock::time_point slot = Clock::now();
    for (int i = 1; i <= kSamples; ++i) {
        slot += period_;
        slot = skipMissedSlots(slot, waitUntil(slot), period_);
        port_.PortOut(kPortAddress, kAllLinesHigh);
        raw[i] = port_.PortIn(kPortAddress);
    }
}

// Bit 0 is the right receiver, bit 1 the left one; bits 2..7 stay in the raw
// bytes only.
void ParallelPortScan::split(SampleStore& store) {
    for (int i = 1; i <= kSplitSamples; ++i) {
        const int b = store.rawSamples[i];
        store.channelRight[i] = static_cast<std::uint8_t>(b & 0x01);
        store.channelLeft[i] = static_cast<std::uint8_t>((b & 0x02) / 2);
    }
}
