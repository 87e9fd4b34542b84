#include "parallel_port_scan.h"

#include <utility>

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

Capture ParallelPortScan::capture(CaptureWorker::Progress& progress) {
    // Twice its own length: a scan the system holds up now and then still ends.
    const auto length = std::chrono::duration_cast<std::chrono::milliseconds>(period_ * kSamples);
    progress.enter(OperatorError::Kind::PortStalled, 2 * length + std::chrono::seconds(5));
    std::vector<std::uint8_t> raw(kSamples);
    try {
        acquire(raw);
    } catch (...) {
        port_.release();
        throw;
    }
    port_.release();
    return {std::move(raw), kPortRate, PortOrigin{}};
}

void ParallelPortScan::stream(StreamSink& sink, CaptureWorker::Progress& progress) {
    // A block of samples is a few milliseconds; each renews the deadline.
    constexpr std::size_t kBlock = 1'024;
    const auto limit = std::chrono::seconds(5);
    std::vector<std::uint8_t> block;
    block.reserve(kBlock);
    Clock::time_point slot = Clock::now();
    try {
        while (!sink.stopping()) {
            progress.enter(OperatorError::Kind::PortStalled, limit);
            block.clear();
            while (block.size() < kBlock) {
                const Clock::time_point due = slot + period_;
                slot = skipMissedSlots(due, waitUntil(due), period_);
                if (const auto missed = period_.count() > 0 ? (slot - due) / period_ : 0;
                    missed > 0) {
                    sink.take(block);
                    block.clear();
                    sink.lose(static_cast<std::uint64_t>(missed));
                }
                port_.PortOut(kPortAddress, kAllLinesHigh);
                block.push_back(port_.PortIn(kPortAddress));
            }
            sink.take(block);
        }
    } catch (...) {
        port_.release();
        throw;
    }
    port_.release();
}

std::string ParallelPortScan::subject() const {
    return kPortDevice;
}

// Every deadline lies on one grid of periods from the start, so a sample that
// comes late delays only itself, never the ones after it.
void ParallelPortScan::acquire(std::vector<std::uint8_t>& raw) {
    Clock::time_point slot = Clock::now();
    for (std::uint8_t& sample : raw) {
        slot += period_;
        slot = skipMissedSlots(slot, waitUntil(slot), period_);
        port_.PortOut(kPortAddress, kAllLinesHigh);
        sample = port_.PortIn(kPortAddress);
    }
}
