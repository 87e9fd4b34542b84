#pragma once

#include "sector_correlator.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

// Cuts an endless stream of samples (the right receiver on bit 0, the left
// on bit 1) into contiguous windows, window k reading samples k * kWindow to
// k * kWindow + kWindow + kMaxLag - 1 of the stream, and the windows into
// rows by sample count: with W windows per row period, row r holds windows
// floor(r * W) to floor((r + 1) * W) - 1. Every sample takes part in a
// window. Samples the source lost cost the windows they touch, whole, and
// the row says how many.
class StreamCutter {
public:
    struct Row {
        std::uint64_t index = 0;
        std::uint64_t firstSample = 0;           // where its first window starts
        std::vector<SectorCorrelator::Run> runs; // contiguous windows, in order
        int windows = 0;                         // in the runs
        int lost = 0;                            // windows that touched lost samples
        // Whether each receiver's bit stayed the same over the row: its value.
        std::optional<int> stuckRight;
        std::optional<int> stuckLeft;
    };

    // A period shorter than one window's span at rate is raised to it, so
    // that each row holds at least one window.
    StreamCutter(std::uint64_t rate, std::chrono::milliseconds period);

    // The period rows are cut at, as raised.
    std::chrono::microseconds period() const;
    bool periodRaised() const { return raised_; }
    // The samples the first row's windows read, look-ahead included.
    std::uint64_t rowSamples() const;

    // The next samples of the stream.
    void take(std::span<const std::uint8_t> samples);
    // count samples of the stream that the source lost here.
    void lose(std::uint64_t count);
    // The rows finished since the last call, in order.
    std::vector<Row> finished();
    // Ends the stream: the row under way is finished with the whole windows
    // it has, if any.
    void end();

private:
    std::uint64_t rowStart(std::uint64_t row) const;
    void cutReady();
    void addRun(std::uint64_t endWindow);
    void finishRow();
    void countLost(std::uint64_t endWindow);
    static std::optional<int> stuckAt(std::uint8_t seen);

    // Windows per row, as the fraction windowsTimes_ / (kWindow * 1000).
    std::uint64_t windowsTimes_;
    bool raised_;
    std::uint64_t rate_;
    // The values each receiver's bit took in the row: 1 for 0, 2 for 1.
    std::uint8_t rightSeen_ = 0;
    std::uint8_t leftSeen_ = 0;

    std::vector<std::uint8_t> buffer_; // stream samples from bufferStart_
    std::uint64_t bufferStart_ = 0;
    std::uint64_t end_ = 0;        // stream samples seen or lost
    std::uint64_t nextWindow_ = 0; // the first window not yet cut
    Row row_;
    std::vector<Row> finished_;
};
