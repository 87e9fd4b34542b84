#include "capture_options.h"
#include "offered_rates.h"
#include "operator_error.h"

#include <gtest/gtest.h>
#include <string>

namespace {

using namespace CaptureOptions;

TEST(CaptureOptions, SampleRatesAreWholeHertzWithAnOptionalSuffix) {
    const struct {
        const char* text;
        std::uint64_t rate; // 0: refused
    } cases[] = {
        {"200000", 200'000},
        {"50k", 50'000},
        {"1.5M", 1'500'000},
        {"2G", 2'000'000'000},
        {"0.5k", 500},
        {"1.000001M", 1'000'001},
        {"1000G", 1'000'000'000'000},
        {"1m", 1'000'000},
        {"50kHz", 50'000},
        {"50 kHz", 50'000},
        {"1.5 MHz", 1'500'000},
        {"200 Hz", 200},
        {"1000000000001", 0},
        {"18446744073709551615", 0},
        {"99999999 THz", 0},
        {"-5 kHz", 0},
        {"1e99 Hz", 0},
        {"50 ", 0},
        {"50  kHz", 0},
        {"Hz", 0},
        {"0", 0},
        {"0k", 0},
        {"-5", 0},
        {"+5", 0},
        {"1.5", 0},
        {"1.0000005M", 0},
        {"18446744073709551616", 0},
        {"18446744073709552k", 0},
        {"99999999999G", 0},
        {"50K", 0},
        {"5 0", 0},
        {".5k", 0},
        {"5.k", 0},
        {"", 0},
        {"k", 0},
    };
    for (const auto& c : cases) {
        if (c.rate != 0) {
            EXPECT_EQ(parseSampleRate(c.text), c.rate) << c.text;
            continue;
        }
        try {
            parseSampleRate(c.text);
            ADD_FAILURE() << "accepted " << c.text;
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), OperatorError::Kind::SampleRateInvalid) << c.text;
            EXPECT_EQ(error.subject(), c.text);
        }
    }
}

// Without D0 and D1, the first two logic channels by index; named ones stay.
TEST(CaptureOptions, DefaultChannelsFallBackToTheFirstTwo) {
    using Choice = Channels::Choice;
    const struct {
        Channels wanted;
        std::vector<std::string> names;
        Channels chosen;
    } cases[] = {
        {{}, {"D0", "D1", "D2"}, {"D0", "D1", Choice::Default}},
        {{}, {"D2", "D1", "D0"}, {"D0", "D1", Choice::Default}},
        {{}, {"0", "1", "2", "3"}, {"0", "1", Choice::FirstTwo}},
        {{}, {"CLK", "DATA"}, {"CLK", "DATA", Choice::FirstTwo}},
        {{}, {"D0", "X"}, {"D0", "X", Choice::FirstTwo}},
        {{}, {"7"}, {"D0", "D1", Choice::Default}},
        {{"3", "2", Choice::Named}, {"0", "1"}, {"3", "2", Choice::Named}},
    };
    for (const auto& c : cases) {
        const Channels chosen = channelsAmong(c.wanted, c.names);
        EXPECT_EQ(chosen.right, c.chosen.right) << c.names.front();
        EXPECT_EQ(chosen.left, c.chosen.left) << c.names.front();
        EXPECT_EQ(chosen.choice, c.chosen.choice) << c.names.front();
    }
}

// The dialog offers a device's list, or 1-2-5 steps within its range.
TEST(CaptureOptions, OfferedRatesGiveTheChoicesAScanCanTake) {
    const struct {
        OfferedRates rates;
        std::uint64_t asked;
        bool offered;
        std::vector<std::uint64_t> choices;
    } cases[] = {
        {{{20'000, 1'000, 24'000'000}, {}}, 1'000, true, {20'000, 24'000'000}},
        {{{20'000, 24'000'000}, {}}, 50'000, false, {20'000, 24'000'000}},
        {{{}, {{1, 1'000'000, 1}}},
         50'000,
         true,
         {5'000, 10'000, 20'000, 50'000, 100'000, 200'000, 500'000, 1'000'000}},
        {{{}, {{10'000, 40'000, 10'000}}}, 25'000, false, {10'000, 20'000, 40'000}},
        {{}, 12'345, true, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(c.rates.offers(c.asked), c.offered) << c.asked;
        EXPECT_EQ(c.rates.choices(), c.choices) << c.asked;
    }
}

TEST(CaptureOptions, RatesAreWrittenInTheLargestUnitThatDividesThem) {
    const struct {
        std::uint64_t rate;
        const char* text;
    } cases[] = {
        {50'000, "50 kHz"}, {24'000'000, "24 MHz"}, {1'000'000'000, "1 GHz"},
        {1'500, "1500 Hz"}, {999, "999 Hz"},        {1'500'000, "1500 kHz"},
        {1, "1 Hz"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(formatSampleRate(c.rate), c.text);
    }
}

TEST(CaptureOptions, DeviceSpecIsTheDriverThenKeyValuePairs) {
    const DeviceSpec request = parseDeviceSpec("fx2lafw:conn=1.5:probe_names=a,b");
    EXPECT_EQ(request.driver, "fx2lafw");
    ASSERT_EQ(request.scanOptions.size(), 2U);
    EXPECT_EQ(request.scanOptions[0], std::make_pair(std::string("conn"), std::string("1.5")));
    EXPECT_EQ(request.scanOptions[1].second, "a,b");
    EXPECT_EQ(request.text, "fx2lafw:conn=1.5:probe_names=a,b");
    EXPECT_TRUE(parseDeviceSpec("demo").scanOptions.empty());

    for (const char* bad : {"", ":conn=1", "demo:conn", "demo:=1", "demo:conn=", "demo:"}) {
        EXPECT_THROW(parseDeviceSpec(bad), OperatorError) << bad;
    }
}

TEST(CaptureOptions, ChannelsAreTwoDifferentNamesRightFirst) {
    const Channels channels = parseChannels("D3,D7");
    EXPECT_EQ(channels.right, "D3");
    EXPECT_EQ(channels.left, "D7");
    for (const char* bad : {"D0", "D0,D0", "D0,", ",D1", "D0,D1,D2", ""}) {
        EXPECT_THROW(parseChannels(bad), OperatorError) << bad;
    }
}

// A source standing still at LAG, or sweeping LAG:LAG_END:SECONDS.
TEST(CaptureOptions, SimulationIsALagOrASweep) {
    const std::pair<const char*, Simulation> accepted[] = {
        {"-30", {-30, -30, 0, kPortRate}},
        {"120:-120:0.5", {120, -120, 0.5, kPortRate}},
        {"-120:120:3600", {-120, 120, 3600, kPortRate}}};
    for (const auto& [text, expected] : accepted) {
        const Simulation simulation = parseSimulation(text);
        EXPECT_EQ(std::tie(simulation.lag, simulation.lagEnd, simulation.seconds, simulation.rate),
                  std::tie(expected.lag, expected.lagEnd, expected.seconds, expected.rate))
            << text;
    }
    for (const char* bad :
         {"121", "-121:0:10", "0:121:10", "+5", "5:10", "5:10:0", "5:10:3600.5", "5:10:1e2",
          "5:10:.5", "5:10:5.", "5:10:-1", "5:10:inf", "5:10:1,5", "5:10:1:2", "1.5", ""}) {
        try {
            parseSimulation(bad);
            ADD_FAILURE() << "accepted " << bad;
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), OperatorError::Kind::SimulationInvalid) << bad;
            EXPECT_EQ(error.subject(), bad);
        }
    }
}

} // namespace
