#include "parallel_port_scan.h"

#include <memory>

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
    const auto bytes = std::make_unique<SampleStore::Bits>();
    try {
        acquire(*bytes);
    } catch (...) {
        port_.release();
        throw;
    }
    port_.release();
    keep(store, *bytes);
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
