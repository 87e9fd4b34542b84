// The result stated from two correlograms: peak, sub-sample lag, bearing,
// contrast and verdict.

#include "bearing.h"

#include <cmath>
#include <gtest/gtest.h>

namespace {

using namespace Bearing;

// A flat floor of 230 with a few values set, on the signed axis.
struct Shape {
    std::vector<std::pair<int, double>> values; // lag, value
};

std::pair<SampleStore::Correlogram, SampleStore::Correlogram> correlograms(const Shape& shape,
                                                                           double floor = 230.0) {
    SampleStore::Correlogram left{};
    SampleStore::Correlogram right{};
    for (int lag = 0; lag <= kMaxLag; ++lag) {
        // Alternating noise around the floor, so that the spread is known.
        left[static_cast<std::size_t>(lag)] = floor + (lag % 2 == 0 ? 1.0 : -1.0);
        right[static_cast<std::size_t>(lag)] = left[static_cast<std::size_t>(lag)];
    }
    for (const auto& [lag, value] : shape.values) {
        (lag < 0 ? left : right)[static_cast<std::size_t>(std::abs(lag))] = value;
        if (lag == 0) {
            left[0] = value;
        }
    }
    return {left, right};
}

// The verdict of one window with the noise floor of independent white bits.
Result judged(const Shape& shape, const Idle& idle = {},
              const std::optional<Geometry>& geometry = std::nullopt) {
    const auto [left, right] = correlograms(shape);
    return assess(signedAxis(left, right), 50'000, {}, {noiseFloor(1), std::nullopt}, idle,
                  geometry);
}

TEST(Bearing, PeakTiesGoToTheNearestLagThenToTheRight) {
    const struct {
        Shape shape;
        int peak; // signed lag
    } cases[] = {
        {{{{30, 300.0}}}, 30},
        {{{{-30, 300.0}}}, -30},
        {{{{-30, 300.0}, {40, 300.0}}}, -30},
        {{{{-30, 300.0}, {30, 300.0}}}, 30},
        {{{{0, 300.0}, {1, 300.0}}}, 0},
        {{{{-120, 300.0}}}, -120},
    };
    for (const auto& c : cases) {
        const auto [left, right] = correlograms(c.shape);
        EXPECT_EQ(peakIndex(signedAxis(left, right)) - kMaxLag, c.peak);
    }
}

TEST(Bearing, VertexOfTheParabola) {
    const struct {
        double before, at, after, offset;
    } cases[] = {
        {1.0, 2.0, 1.0, 0.0},  {2.0, 2.0, 2.0, 0.0},       {1.0, 2.0, 2.0, 0.5},
        {2.0, 2.0, 1.0, -0.5}, {0.0, 4.0, 2.0, 1.0 / 6.0},
    };
    for (const auto& c : cases) {
        EXPECT_DOUBLE_EQ(vertexOffset(c.before, c.at, c.after), c.offset)
            << c.before << " " << c.at << " " << c.after;
    }
}

// 1 m apart in air, at 50 kHz: one sample is 6.86 mm of path difference.
TEST(Bearing, VerdictsInTheirOrder) {
    const Geometry metre{1.0};
    const struct {
        const char* name;
        Shape shape;
        Idle idle;
        std::optional<Geometry> geometry;
        Verdict verdict;
        double lag;
    } cases[] = {
        {"source right", {{{26, 400.0}}}, {}, metre, Verdict::Source, 26.0},
        {"source left", {{{-26, 400.0}}}, {}, metre, Verdict::Source, -26.0},
        {"no geometry", {{{26, 400.0}}}, {}, std::nullopt, Verdict::Source, 26.0},
        {"below the threshold", {{{26, 240.0}}}, {}, metre, Verdict::None, 26.0},
        {"at the edge", {{{120, 400.0}}}, {}, metre, Verdict::Edge, 120.0},
        {"too far for the baseline",
         {{{26, 400.0}}},
         {},
         Geometry{0.1},
         Verdict::NoDirection,
         26.0},
        {"edge before direction", {{{-120, 400.0}}}, {}, Geometry{0.1}, Verdict::Edge, -120.0},
        {"right idle", {{{26, 400.0}}}, {1, {}}, metre, Verdict::IdleRight, 0.0},
        {"left idle", {{{26, 400.0}}}, {{}, 0}, metre, Verdict::IdleLeft, 0.0},
        {"both idle", {}, {0, 1}, metre, Verdict::IdleBoth, 0.0},
        // Two peaks within the noise of each other: 2 below a floor of 7.97.
        {"two peaks alike", {{{26, 400.0}, {-40, 398.0}}}, {}, metre, Verdict::Ambiguous, 26.0},
        {"a lower second peak", {{{26, 400.0}, {-40, 300.0}}}, {}, metre, Verdict::Source, 26.0},
        {"a shoulder of the same lobe",
         {{{26, 400.0}, {27, 399.0}}},
         {},
         metre,
         Verdict::Source,
         26.0 + 85.0 / 172.0}, // lag 25 stands at 229
        {"ambiguous before the edge",
         {{{120, 400.0}, {-3, 399.0}}},
         {},
         metre,
         Verdict::Ambiguous,
         120.0},
        {"in the pipe",
         {{{26, 400.0}}},
         {},
         Geometry{100.0, 1300.0, Geometry::Kind::Pipe},
         Verdict::Source,
         26.0},
        {"out of the pipe",
         {{{26, 400.0}}},
         {},
         Geometry{0.5, 1300.0, Geometry::Kind::Pipe},
         Verdict::NoDirection,
         26.0},
    };
    for (const auto& c : cases) {
        const Result result = judged(c.shape, c.idle, c.geometry);
        EXPECT_EQ(result.verdict, c.verdict) << c.name;
        EXPECT_DOUBLE_EQ(result.lag, c.lag) << c.name;
    }
}

TEST(Bearing, AmbiguousNamesBothPeaksAndTheirBearings) {
    const Result result = judged({{{26, 400.0}, {-40, 398.0}}}, {}, Geometry{1.0});
    ASSERT_EQ(result.verdict, Verdict::Ambiguous);
    ASSERT_TRUE(result.secondLag);
    EXPECT_DOUBLE_EQ(*result.secondLag, -40.0);
    ASSERT_TRUE(result.bearing && result.secondBearing);
    EXPECT_LT(*result.secondBearing, 0.0);
    EXPECT_GT((*result.bearing)[0], 0.0);
}

// x = (L - c tau) / 2 from the right sensor; the interval runs the other way.
TEST(Bearing, PlaceAlongThePipe) {
    const Geometry pipe{100.0, 1300.0, Geometry::Kind::Pipe};
    const Result result = judged({{{26, 400.0}}}, {}, pipe);
    ASSERT_TRUE(result.position);
    const double path = 1300.0 * 26.0 / 50'000;
    EXPECT_NEAR((*result.position)[0], (100.0 - path) / 2.0, 1e-12);
    EXPECT_NEAR((*result.position)[1], (100.0 - 1300.0 * result.lagHigh / 50'000) / 2.0, 1e-12);
    EXPECT_NEAR((*result.position)[2], (100.0 - 1300.0 * result.lagLow / 50'000) / 2.0, 1e-12);
    EXPECT_FALSE(result.bearing);
}

// The interval: noise over the peak's curvature, never under half a sample.
TEST(Bearing, LagIntervalWidensWithAFlatterPeak) {
    const double vertex = 26.0 + 1.0 / 6.0;
    const double flat = 1.96 * std::sqrt(0.5) * noiseFloor(1) / 3.0;
    const struct {
        Shape shape;
        double low, high;
    } cases[] = {
        // Curvature 120: 1.96 * 0.707 * 7.97 / 120 = 0.09, raised to half a
        // sample about the vertex, and about the peak's own lag.
        {{{{25, 320.0}, {26, 400.0}, {27, 360.0}}}, 25.5, vertex + 0.5},
        // Curvature 3: 1.96 * 0.707 * 7.97 / 3 either side.
        {{{{25, 398.0}, {26, 400.0}, {27, 399.0}}}, vertex - flat, vertex + flat},
        // Lags 20..30 all within the noise of the peak: any may be the source's.
        {{{{20, 390.0},
           {21, 390.0},
           {22, 390.0},
           {23, 390.0},
           {24, 390.0},
           {25, 390.0},
           {26, 400.0},
           {27, 390.0},
           {28, 390.0},
           {29, 390.0},
           {30, 390.0}}},
         19.5,
         30.5},
    };
    for (const auto& c : cases) {
        const Result result = judged(c.shape);
        EXPECT_NEAR(result.lagLow, c.low, 1e-12);
        EXPECT_NEAR(result.lagHigh, c.high, 1e-12);
    }
}

TEST(Bearing, SectorTheLagsSee) {
    const struct {
        std::uint64_t rate;
        Geometry geometry;
        double half;
        std::uint64_t fullRate;
    } cases[] = {
        {1'000'000, Geometry{1.0}, 2.3589, 41'000},
        {50'000, Geometry{1.0}, 55.4064, 41'000},
        {50'000, Geometry{0.3}, 90.0, 130'000},
        {1'000'000, Geometry{100.0, 1300.0, Geometry::Kind::Pipe}, 0.078, 1'500},
        {1'000, Geometry{100.0, 1300.0, Geometry::Kind::Pipe}, 50.0, 1'500},
    };
    for (const auto& c : cases) {
        const Sector sector = sectorOf(c.rate, c.geometry);
        EXPECT_NEAR(sector.half, c.half, 1e-3) << c.rate;
        EXPECT_EQ(sector.fullRate, c.fullRate) << c.rate;
    }
}

TEST(Bearing, BearingAndItsRangeFromTheSubSampleLag) {
    // Neighbours 320 and 360 about 400 put the vertex 1/6 sample to the right.
    const Result result = judged({{{25, 320.0}, {26, 400.0}, {27, 360.0}}}, {}, Geometry{1.0});
    ASSERT_EQ(result.verdict, Verdict::Source);
    EXPECT_DOUBLE_EQ(result.lag, 26.0 + 1.0 / 6.0);
    EXPECT_DOUBLE_EQ(result.delayUs, result.lag / 50'000 * 1e6);
    const auto degrees = [](double lag) {
        return std::asin(343.0 * lag / 50'000 / 1.0) * 180.0 / std::acos(-1.0);
    };
    ASSERT_TRUE(result.bearing);
    EXPECT_NEAR((*result.bearing)[0], degrees(result.lag), 1e-12);
    EXPECT_NEAR((*result.bearing)[1], degrees(25.5), 1e-12);
    EXPECT_NEAR((*result.bearing)[2], degrees(result.lag + 0.5), 1e-12);
    // A range that reaches past the baseline's line is clipped there.
    const Result along = judged({{{-145 / 5, 400.0}}}, {}, Geometry{0.2});
    ASSERT_TRUE(along.bearing) << "lag -29 at 0.2 m: sine 0.995";
    EXPECT_DOUBLE_EQ((*along.bearing)[1], -90.0);
}

// The contrast is the peak over the median in noise floors.
TEST(Bearing, ContrastStaysFiniteWithoutSpread) {
    SampleStore::Correlogram flat{};
    flat.fill(230.0);
    flat[26] = 231.0;
    const Result result =
        assess(signedAxis(flat, flat), 50'000, {}, {noiseFloor(1), std::nullopt}, {}, std::nullopt);
    // The floor of one window of independent bits is 7.97.
    EXPECT_NEAR(result.contrast, 1.0 / 7.97, 0.0001);
    EXPECT_EQ(result.verdict, Verdict::None);
}

} // namespace
