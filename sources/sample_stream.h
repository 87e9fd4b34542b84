#pragma once

#include "capture_worker.h"

#include <cstdint>
#include <span>
#include <string>

// Where a stream's samples go, from the thread the source streams on.
class StreamSink {
public:
    virtual ~StreamSink() = default;
    // The next samples, the right receiver on bit 0 and the left on bit 1:
    // copied, never waited on.
    virtual void take(std::span<const std::uint8_t> samples) = 0;
    // count samples of the stream that the source could not take here.
    virtual void lose(std::uint64_t count) = 0;
    // Whether the stream should end.
    virtual bool stopping() const = 0;
    // Samples in one row of the analysis: a source that can take its stream
    // only a capture at a time need take no more than this at once.
    virtual std::uint64_t rowSamples() const = 0;
};

// A source that samples without end, until its sink asks it to stop: an
// analyser in continuous acquisition, or the parallel port; or a recording,
// which ends at its last sample.
class SampleStream {
public:
    virtual ~SampleStream() = default;

    // On the capture worker, each phase told to progress. Throws
    // OperatorError for a fault, among them a live stream that ends unasked;
    // a recording returns at its end.
    virtual void stream(StreamSink& sink, CaptureWorker::Progress& progress) = 0;
    // A recording is read as fast as the analysis takes it: its sink waits
    // for room rather than drop samples, and its samples have no time of day.
    virtual bool recorded() const { return false; }
    virtual std::uint64_t streamRate() const = 0;
    virtual std::string subject() const = 0;
};
