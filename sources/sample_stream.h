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
};

// A source that samples without end, until its sink asks it to stop: an
// analyser in continuous acquisition, or the parallel port.
class SampleStream {
public:
    virtual ~SampleStream() = default;

    // On the capture worker, each phase told to progress. Throws
    // OperatorError for a fault, among them a stream that ends unasked.
    virtual void stream(StreamSink& sink, CaptureWorker::Progress& progress) = 0;
    virtual std::uint64_t streamRate() const = 0;
    virtual std::string subject() const = 0;
};
