#pragma once

#include "capture_worker.h"
#include "operator_error.h"
#include "sample_stream.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Every sample it is given; once it holds stopAfter, it asks for no more.
class Collected final : public StreamSink {
public:
    void take(std::span<const std::uint8_t> samples) override {
        taken.insert(taken.end(), samples.begin(), samples.end());
    }
    void lose(std::uint64_t) override {} // a recording loses nothing
    bool stopping() const override { return taken.size() >= stopAfter; }
    std::uint64_t rowSamples() const override { return 100'000; }

    std::vector<std::uint8_t> taken;
    std::size_t stopAfter = SIZE_MAX;
};

// Plays stream into sink on the worker, as the follower does; the fault, if any.
inline std::optional<OperatorError> played(SampleStream& stream, StreamSink& sink) {
    try {
        CaptureWorker::perform<bool>(
            [&](CaptureWorker::Progress& progress) {
                stream.stream(sink, progress);
                return true;
            },
            stream.subject());
    } catch (const OperatorError& error) {
        return error;
    }
    return std::nullopt;
}
