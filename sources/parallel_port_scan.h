#pragma once

#include "capture_source.h"
#include "instrument_constants.h"
#include "port_io.h"
#include "sample_stream.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Samples the two receivers on the parallel port at a fixed period, keeping
// every byte read. The port is held for the scan only.
class ParallelPortScan final : public CaptureSource, public SampleStream {
public:
    // Written before each read: all data lines high, so the receivers can
    // pull their lines low.
    static constexpr std::uint8_t kAllLinesHigh = 0xFF;

    // Samples are period apart, by default kPortPeriod, which is the unit of
    // every lag and ample room for the two port calls, a few microseconds
    // through ppdev. A scan lasts kSamples periods, a little more if the
    // system holds it up and it gives up the slots it missed. A period of
    // zero takes the samples back to back.
    explicit ParallelPortScan(PortIo& port, std::chrono::nanoseconds period = kPortPeriod)
        : port_(port), period_(period) {}

    // Stops at the first OperatorError from the port and passes it on.
    Capture capture(CaptureWorker::Progress& progress) override;
    // Samples on the same grid until the sink asks to stop; the slots the
    // system made it miss are told to the sink as lost.
    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override;
    std::uint64_t streamRate() const override { return kPortRate; }
    std::string subject() const override;

private:
    void acquire(std::vector<std::uint8_t>& raw);

    PortIo& port_;
    std::chrono::nanoseconds period_;
};
