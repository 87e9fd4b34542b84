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
    };
    for (const auto& c : cases) {
        const auto [left, right] = correlograms(c.shape);
        const Result result = assess(left, right, 50'000, 1, c.idle, c.geometry);
        EXPECT_EQ(result.verdict, c.verdict) << c.name;
        EXPECT_DOUBLE_EQ(result.lag, c.lag) << c.name;
    }
}

TEST(Bearing, BearingAndItsRangeFromTheSubSampleLag) {
    // Neighbours 320 and 360 about 400 put the vertex 1/6 sample to the right.
    const auto [left, right] = correlograms({{{25, 320.0}, {26, 400.0}, {27, 360.0}}});
    const Result result = assess(left, right, 50'000, 1, {}, Geometry{1.0});
    ASSERT_EQ(result.verdict, Verdict::Source);
    EXPECT_DOUBLE_EQ(result.lag, 26.0 + 1.0 / 6.0);
    EXPECT_DOUBLE_EQ(result.delayUs, result.lag / 50'000 * 1e6);
    const auto degrees = [](double lag) {
        return std::asin(343.0 * lag / 50'000 / 1.0) * 180.0 / std::acos(-1.0);
    };
    ASSERT_TRUE(result.bearing);
    EXPECT_NEAR((*result.bearing)[0], degrees(result.lag), 1e-12);
    EXPECT_NEAR((*result.bearing)[1], degrees(result.lag - 0.5), 1e-12);
    EXPECT_NEAR((*result.bearing)[2], degrees(result.lag + 0.5), 1e-12);
    // A range that reaches past the baseline's line is clipped there.
    const auto [nearLeft, nearRight] = correlograms({{{-145 / 5, 400.0}}});
    const Result along = assess(nearLeft, nearRight, 50'000, 1, {}, Geometry{0.2});
    ASSERT_TRUE(along.bearing) << "lag -29 at 0.2 m: sine 0.995";
    EXPECT_DOUBLE_EQ((*along.bearing)[1], -90.0);
}

// A pair of periodic streams has no spread around its median: the noise
// floor keeps the contrast finite.
TEST(Bearing, ContrastStaysFiniteWithoutSpread) {
    SampleStore::Correlogram flat{};
    flat.fill(230.0);
    flat[26] = 231.0;
    const Result result = assess(flat, flat, 50'000, 1, {}, std::nullopt);
    // The floor of one window of independent bits is 7.97.
    EXPECT_NEAR(result.contrast, 1.0 / 7.97, 0.0001);
    EXPECT_EQ(result.verdict, Verdict::None);
}

} // namespace
