// The plain analysis's noise floor, told by the receivers' own bits, against
// the spread the analysis itself shows over many independent streams.

#include "correlation_noise.h"
#include "sector_correlator.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>

namespace {

// Bits that keep their value for a random number of samples, about run on
// average: independent bits for run 2, a slowly changing bit, as a low band gives,
// for a long run. Index 0 unused, as the analysis reads from 1.
std::vector<std::uint8_t> telegraph(std::size_t count, double run, std::mt19937& random) {
    std::bernoulli_distribution change(1.0 / run);
    std::vector<std::uint8_t> bits(count + 1 + SectorCorrelator::kRunPadding);
    std::uint8_t bit = 0;
    for (std::size_t i = 1; i < bits.size(); ++i) {
        bit = change(random) ? static_cast<std::uint8_t>(1 - bit) : bit;
        bits[i] = bit;
    }
    return bits;
}

// The spread of one lag's value about the mean of all lags, over trials of
// two independent streams, each the mean of windows windows.
double measuredSpread(double run, int windows, int trials) {
    std::mt19937 random(7);
    const auto samples = static_cast<std::size_t>(windows * kWindow + kMaxLag);
    double squares = 0.0;
    int count = 0;
    for (int trial = 0; trial < trials; ++trial) {
        const auto right = telegraph(samples, run, random);
        const auto left = telegraph(samples, run, random);
        SampleStore::Correlogram leftSector{};
        SampleStore::Correlogram rightSector{};
        SectorCorrelator::integrate({{right, left, windows}}, leftSector, rightSector);
        const auto axis = Bearing::signedAxis(leftSector, rightSector);
        double mean = 0.0;
        for (const double value : axis) {
            mean += value / static_cast<double>(axis.size());
        }
        for (const double value : axis) {
            squares += (value - mean) * (value - mean);
            ++count;
        }
    }
    return std::sqrt(squares / count);
}

Bearing::Noise estimated(double run, int windows) {
    std::mt19937 random(11);
    const auto right = telegraph(CorrelationNoise::kSamplesRead, run, random);
    const auto left = telegraph(CorrelationNoise::kSamplesRead, run, random);
    return CorrelationNoise::of(right.data() + 1, left.data() + 1, CorrelationNoise::kSamplesRead,
                                windows);
}

TEST(CorrelationNoise, FloorIsTheSpreadOfIndependentStreams) {
    const struct {
        double run;
        int windows;
    } cases[] = {{2.0, 1}, {2.0, 20}, {8.0, 1}, {30.0, 1}, {30.0, 20}};
    for (const auto& c : cases) {
        const double measured = measuredSpread(c.run, c.windows, 60);
        EXPECT_NEAR(estimated(c.run, c.windows).floor / measured, 1.0, 0.15)
            << "run " << c.run << ", windows " << c.windows << ": measured " << measured;
    }
}

// Slowly changing bits wander further than independent ones.
TEST(CorrelationNoise, SlowerBitsRaiseTheFloorAboveWhiteBits) {
    EXPECT_NEAR(estimated(2.0, 1).floor / Bearing::noiseFloor(1), 1.0, 0.05);
    EXPECT_GT(estimated(30.0, 1).floor, 2.0 * Bearing::noiseFloor(1));
}

TEST(CorrelationNoise, WidthOnlyWhenBitsStayAlikeBeyondTheLagRange) {
    EXPECT_FALSE(estimated(30.0, 1).width);
    const auto wide = estimated(2'000.0, 1).width;
    ASSERT_TRUE(wide);
    EXPECT_GT(*wide, kMaxLag);
}

} // namespace
