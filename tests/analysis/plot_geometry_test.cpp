#include "plot_geometry.h"
#include "test_values.h"

#include <gtest/gtest.h>

namespace {

using PlotGeometry::barEndY;
using PlotGeometry::barX;
using PlotGeometry::lagAt;
using PlotGeometry::lagText;

TEST(PlotGeometry, BarsFanOutFromTheAxis) {
    EXPECT_EQ(barX(Side::Left, 0), 7600.0F);
    EXPECT_EQ(barX(Side::Right, 0), 7600.0F);
    EXPECT_EQ(barX(Side::Left, 1), 7537.5F);
    EXPECT_EQ(barX(Side::Right, 1), 7662.5F);
    EXPECT_EQ(barX(Side::Left, 120), 100.0F);
    EXPECT_EQ(barX(Side::Right, 120), 15100.0F);
    for (int d = 0; d <= 120; ++d) {
        EXPECT_EQ(barX(Side::Left, d), 7600.0F - 62.5F * static_cast<float>(d)) << d;
        EXPECT_EQ(barX(Side::Right, d), 7600.0F + 62.5F * static_cast<float>(d)) << d;
    }
}

TEST(PlotGeometry, BarHeightGrowsTenTwipsPerUnit) {
    EXPECT_EQ(barEndY(50.0), 6000.0F); // zero length
    EXPECT_EQ(barEndY(0.0), 6500.0F);  // below the start point
    EXPECT_EQ(barEndY(kAllAgree), 1870.2266845703125F);
    EXPECT_EQ(barEndY(231.5), 4185.0F);
}

TEST(PlotGeometry, ReadoutGivesTheLagInTenths) {
    EXPECT_EQ(lagAt(7600.0F), 0.0);
    EXPECT_EQ(lagAt(7537.5F), -1.0);
    EXPECT_EQ(lagAt(7599.0F), -0.1); // floor, not truncation towards zero
    EXPECT_EQ(lagAt(7606.25F), 0.1);
    EXPECT_EQ(lagAt(7606.0F), 0.0);
    EXPECT_EQ(lagAt(8350.0F), 12.0);
    EXPECT_EQ(lagAt(0.0F), -121.6);
    EXPECT_EQ(lagAt(15100.0F), 120.0);
    EXPECT_EQ(lagAt(100.0F), -120.0);
}

TEST(PlotGeometry, ReadoutTextTakesOnlyTheDecimalPointFromTheLocale) {
    const struct {
        double lag;
        const char* point;
        const char* text;
    } cases[] = {
        {0.0, ",", "0"},
        {12.0, ",", "12"},
        {-12.5, ".", "-12.5"},
        {-12.5, ",", "-12,5"},
        {-121.6, "\u066B", "-121\u066B6"}, // Arabic decimal separator, two bytes
        {lagAt(7599.0F), ",", "-0,1"},
        {lagAt(19000.0F), ",", "182,4"},
        {lagAt(7537.5F), ".", "-1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(lagText(c.lag, c.point), c.text) << c.lag;
    }
}

TEST(PlotGeometry, OneLagLastsOneSamplePeriodInAReadableUnit) {
    const struct {
        std::uint64_t rate;
        const char* point;
        const char* text;
    } cases[] = {
        {50'000, ",", "20 \u00B5s"},
        {200'000, ",", "5 \u00B5s"},
        {1'000'000, ",", "1 \u00B5s"},
        {24'000'000, ",", "41,67 ns"},
        {3, ".", "333.3 ms"},
        {1'000, ".", "1 ms"},
        {1'001, ".", "999 \u00B5s"},
        {1, ",", "1 s"},
        {4'000'000'000, ",", "0,25 ns"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PlotGeometry::lagDurationText(c.rate, c.point), c.text) << c.rate;
    }
}

TEST(PlotGeometry, PointerOverABarReadsItsLag) {
    for (int d = 0; d <= 120; ++d) {
        EXPECT_EQ(lagAt(barX(Side::Right, d)), d);
        EXPECT_EQ(lagAt(barX(Side::Left, d)), -d);
    }
}

} // namespace
