#pragma once

#include "bearing.h"
#include "operator_error.h"
#include "sample_stream.h"
#include "sector_correlator.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// Follows a moving source: a stream from the source on the capture worker,
// cut into rows of one period, each row's mean correlogram worked out on a
// thread of its own and handed on as soon as it is done.
class Follower {
public:
    struct Row {
        std::uint64_t index = 0;
        // The stream's sample that the row's first window starts at, counting
        // from 0 and counting the samples lost.
        std::uint64_t firstSample = 0;
        // When the row's last sample came, on the system's clock (not for a
        // recording, which has no time of day) and on the steady one.
        std::optional<std::chrono::system_clock::time_point> arrived;
        std::chrono::steady_clock::time_point arrivedSteady;
        int windows = 0;
        int lost = 0; // windows that touched samples the stream lost
        // The values assessed: the windows' mean correlogram, or the
        // whitened coefficients; what they read, and their noise.
        Bearing::Axis axis{};
        Bearing::Basis basis;
        Bearing::Noise noise;
        Bearing::Result result;
        std::vector<SectorCorrelator::Run> runs; // the row's samples
    };
    // How the mode ended: stopped, at a recording's end, or by a fault.
    struct End {
        std::optional<OperatorError> fault;
        bool reachedEnd = false; // a recording's last sample was analysed
    };
    // Called on the analysing thread, never under the follower's lock; they
    // must return promptly, since stopping waits for a call under way.
    struct Handlers {
        // Each row in order.
        std::function<void(Row)> row;
        // Once, when the mode ends.
        std::function<void(const End&)> ended;
    };

    // Samples that may wait for the analysis before the stream's own are
    // dropped: a second at the fastest common analysers.
    static constexpr std::size_t kBufferSamples = 32'000'000;

    // How each row is analysed, and the geometry its result is stated in.
    struct Analysis {
        std::optional<Bearing::Geometry> geometry;
        bool whitening = false;
    };

    Follower(std::shared_ptr<SampleStream> source, std::chrono::milliseconds period,
             Analysis analysis, Handlers handlers, std::size_t bufferSamples = kBufferSamples);
    // Stops, and lets go of the handlers: none is called once this returns,
    // and a call under way is waited for up to kHandlerLimit.
    ~Follower();
    static constexpr std::chrono::seconds kHandlerLimit{5};
    Follower(const Follower&) = delete;
    Follower& operator=(const Follower&) = delete;

    // Asks the stream to stop; the unfinished row is dropped.
    void stop();
    // Whether the mode has ended, waiting up to limit for it.
    bool waitForEnd(std::chrono::milliseconds limit);

    // The period rows are cut at: at least one window's span.
    std::chrono::microseconds period() const { return period_; }
    bool periodRaised() const { return raised_; }
    std::uint64_t droppedSamples() const;

private:
    struct Shared;
    std::shared_ptr<Shared> shared_;
    std::chrono::microseconds period_;
    bool raised_;
};
