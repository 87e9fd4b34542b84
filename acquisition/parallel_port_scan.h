#pragma once

#include "capture_options.h"
#include "capture_source.h"
#include "port_io.h"

#include <chrono>
#include <cstdint>

// Samples the two receivers on the parallel port at a fixed period, keeps
// every byte read in rawSamples, and then splits the first kSplitSamples
// bytes into the two channels. The port is held for the scan only.
class ParallelPortScan final : public CaptureSource {
public:
    // Data register of the first parallel port: written, then read, per sample.
    static constexpr int kPortAddress = 0x378;
    // Written before each read: all data lines high, so the receivers can
    // pull their lines low.
    static constexpr std::uint8_t kAllLinesHigh = 0xFF;
    // The spacing of samples, and so the unit of every lag: 20 us (50 kHz),
    // ample room for the two port calls, which take a few microseconds through
    // ppdev. A scan lasts kSamples periods, 2.6 s, a little more if the system
    // holds it up and it gives up the slots it missed.
    static constexpr std::chrono::nanoseconds kSamplePeriod{20'000};

    // A period of zero takes the samples back to back.
    explicit ParallelPortScan(PortIo& port, std::chrono::nanoseconds period = kSamplePeriod)
        : port_(port), period_(period) {}

    // Stops at the first OperatorError from the port and passes it on.
    void scan(SampleStore& store) override;
    std::uint64_t sampleRate() const override { return CaptureOptions::kDefaultSampleRate; }

private:
    void acquire(SampleStore::Bits& raw);

    PortIo& port_;
    std::chrono::nanoseconds period_;
};
