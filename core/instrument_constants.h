#pragma once

#include <chrono>
#include <cstdint>

// The instrument's numbers, each stated once: the code, the operator's
// messages and the tests take them from here.

// Samples a scan takes, at indices 1..kSamples of the store's raw samples.
inline constexpr int kSamples = 130'000;
// The first samples of a scan, split into the two receivers' channels.
inline constexpr int kSplitSamples = 13'000;
// Reference samples in one correlation window.
inline constexpr int kWindow = 1'200;
// Lags run from 0 to kMaxLag in each sector.
inline constexpr int kMaxLag = 120;
// What one window reads: its reference samples and the look-ahead of the
// largest lag. Fewer make no scan.
inline constexpr int kMinimumSamples = kWindow + kMaxLag;
static_assert(kMinimumSamples <= kSplitSamples && kSplitSamples <= kSamples,
              "the analysis reads within the channels, which hold part of a scan");
// Highest index of the correlogram arrays; only lags 0..kMaxLag are used.
inline constexpr int kLastCorrelation = 1'000;

// The first parallel port, through the kernel's ppdev driver, or at its
// data register, with its control register two above.
inline constexpr const char* kPortDevice = "/dev/parport0";
inline constexpr int kPortAddress = 0x378;
inline constexpr int kPortControlAddress = kPortAddress + 2;
// The port scan's rate, which is also the rate of a simulation and the
// default of an analyser: one lag is then kPortPeriod.
inline constexpr std::uint64_t kPortRate = 50'000;
inline constexpr std::chrono::nanoseconds kPortPeriod{std::nano::den / kPortRate};
static_assert(std::nano::den % kPortRate == 0, "the port's period is a whole number of ns");

// No scan may take longer: the lowest rate an analyser may be asked for.
inline constexpr std::chrono::seconds kLongestScan{60};
inline constexpr std::uint64_t kLowestScanRate =
    (kSamples + kLongestScan.count() - 1) / kLongestScan.count();

// Continuous scanning cuts its stream into rows of this period by default,
// chosen from the shortest to the longest.
inline constexpr std::chrono::milliseconds kRowPeriod{100};
inline constexpr std::chrono::milliseconds kShortestRowPeriod{50};
inline constexpr std::chrono::milliseconds kLongestRowPeriod{2'000};
