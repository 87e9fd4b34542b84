#pragma once

#include "sample_store.h"
#include "side.h"

#include <cstdint>
#include <functional>
#include <vector>

// For each lag d from 0 to 120, a count of the samples in which one channel
// agrees with the other channel d samples later, over a window of 1200 samples,
// each new sample added after the running total has decayed by 511/512.
// The left sector takes channelLeft as reference (a source on the left makes
// the left receiver lead); the right sector takes channelRight.
class SectorCorrelator {
public:
    // Reference samples 1..kWindow take part; lag kMaxLag thus reads the
    // compared channel up to index kMinimumSamples.
    // 511/512, exact in binary.
    static constexpr double kDecay = 0.998046875;

    // Receives every finished lag before the next one is started.
    using LagConsumer = std::function<void(Side sector, int lag, double value)>;

    // Left sector lags 0..120, then right sector lags 0..120.
    static void analyse(SampleStore& store, const LagConsumer& consumer);

    // Whole windows in samples 1..samples: each needs its look-ahead.
    static int windowsIn(int samples);
    // The mean of the window's correlogram over every whole window of the
    // two channels' bits 1..samples, window w starting at sample 1 + w *
    // kWindow: each window as the single-window recurrence, the sum taken in
    // increasing w and then divided, so that one window gives that analysis
    // bit for bit. Returns the number of windows.
    static int integrate(const std::vector<std::uint8_t>& right,
                         const std::vector<std::uint8_t>& left, int samples,
                         SampleStore::Correlogram& leftSector,
                         SampleStore::Correlogram& rightSector);

    // Contiguous windows of the two channels: each channel's bits from index
    // 1, with room after the last window's look-ahead for the lanes to read.
    struct Run {
        std::vector<std::uint8_t> right;
        std::vector<std::uint8_t> left;
        int windows = 0;
    };
    // Room the lanes read past the last window's look-ahead.
    static const int kRunPadding;
    // The same mean over the windows of runs, taken in order, as if they
    // were one stretch of samples; nothing is written when they hold none.
    // Returns the number of windows.
    static int integrate(const std::vector<Run>& runs, SampleStore::Correlogram& leftSector,
                         SampleStore::Correlogram& rightSector);
    // The sums that mean is taken from, for a stream that comes in runs:
    // runs added in order, and the mean taken at the end, give integrate()
    // over all of them bit for bit.
    struct Sums {
        std::vector<double> left;
        std::vector<double> right;
        int windows = 0;
        Sums();
    };
    static void add(const std::vector<Run>& runs, Sums& sums);
    // Returns the number of windows; nothing is written when there are none.
    static int mean(const Sums& sums, SampleStore::Correlogram& leftSector,
                    SampleStore::Correlogram& rightSector);
    static void computeSector(SampleStore& store, Side sector, const LagConsumer& consumer);
};
