#pragma once

#include "sample_stream.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

// Between the thread a source streams on and the thread that analyses the
// stream. The source's samples are copied in. A live source never waits for
// the analysis: when capacity samples already wait, what comes is dropped as
// a whole and told as lost, in its place in the stream. A recording waits
// for room instead, so that none of its samples is lost.
class StreamBuffer final : public StreamSink {
public:
    using Clock = std::chrono::steady_clock;

    // Samples or a loss, in stream order, with when they came.
    struct Piece {
        std::vector<std::uint8_t> samples;
        std::uint64_t lost = 0;
        Clock::time_point arrived;
        std::chrono::system_clock::time_point arrivedOnTheClock;
    };

    StreamBuffer(std::size_t capacity, std::uint64_t rowSamples, bool waitsForRoom = false)
        : capacity_(capacity), rowSamples_(rowSamples), waitsForRoom_(waitsForRoom) {}

    void take(std::span<const std::uint8_t> samples) override;
    void lose(std::uint64_t count) override;
    bool stopping() const override { return stopping_.load(); }
    std::uint64_t rowSamples() const override { return rowSamples_; }

    // Asks the source to stop, and wakes the analysis.
    void stop();
    // Every piece waiting, once one waits, the stream is stopped or limit
    // has passed.
    std::vector<Piece> wait(std::chrono::milliseconds limit);
    // Samples dropped for want of room, all told.
    std::uint64_t dropped() const { return dropped_.load(); }

private:
    // Whether samples waiting leave room for count more; one piece larger
    // than the whole buffer goes in alone.
    bool roomFor(std::size_t count) const;

    std::size_t capacity_;
    std::uint64_t rowSamples_;
    bool waitsForRoom_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Piece> pieces_;
    std::size_t held_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<std::uint64_t> dropped_{0};
};
