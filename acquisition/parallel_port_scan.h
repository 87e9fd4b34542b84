#pragma once

#include "port_io.h"
#include "sample_store.h"

#include <chrono>
#include <cstdint>

// Samples the two receivers on the parallel port at a fixed period, keeps
// every byte read in rawSamples, and then splits the first kSplitSamples
// bytes into the two channels.
class ParallelPortScan {
public:
    // Data register of the first parallel port: written, then read, per sample.
    static constexpr int kPortAddress = 0x378;
    // Written before each read: all data lines high, so the receivers can
    // pull their lines low.
    static constexpr std::uint8_t kAllLinesHigh = 0xFF;
    // Samples taken into rawSamples[1..kSamples].
    static constexpr int kSamples = SampleStore::kLastSample;
    // Samples split into channelLeft and channelRight[1..kSplitSamples].
    static constexpr int kSplitSamples = 13000;
    // The spacing of samples, and so the unit of every lag: 20 us (50 kHz),
    // ample room for the two port calls, which take a few microseconds through
    // ppdev. A scan lasts kSamples periods, 2.6 s, a little more if the system
    // holds it up and it gives up the slots it missed.
    static constexpr std::chrono::nanoseconds kSamplePeriod{20'000};

    // A period of zero takes the samples back to back.
    explicit ParallelPortScan(PortIo& port, std::chrono::nanoseconds period = kSamplePeriod)
        : port_(port), period_(period) {}

    // Throws PortError from the port and stops there: the channels keep what
    // they held, rawSamples may hold the samples taken so far.
    void scan(SampleStore& store);

private:
    void acquire(SampleStore::Bits& raw);
    static void split(SampleStore& store);

    PortIo& port_;
    std::chrono::nanoseconds period_;
};
