#pragma once

#include "instrument_constants.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

// What the command line says about where a scan's samples come from, in the
// forms sigrok-cli users know. Each parser throws OperatorError with the
// value as written when it is not of the accepted form.
namespace CaptureOptions {

// A libsigrok driver and the scan options that pick the device, as in
// "fx2lafw:conn=1.5": the driver first, then KEY=VALUE pairs after colons.
struct DeviceSpec {
    std::string text; // as written, for messages
    std::string driver;
    std::vector<std::pair<std::string, std::string>> scanOptions;
};

// The logic channels of the right and of the left receiver.
struct Channels {
    // Named by the operator, the default names, or the first two logic
    // channels of data that have no channels of the default names.
    enum class Choice { Default, Named, FirstTwo };

    std::string right = "D0";
    std::string left = "D1";
    Choice choice = Choice::Default;
};

// Device options as sigrok-cli's --config takes them, KEY=VALUE, in order.
using Config = std::vector<std::pair<std::string, std::string>>;

// An analyser and how a scan takes its samples from it.
struct Analyser {
    DeviceSpec device;
    Channels channels;
    std::uint64_t sampleRate = kPortRate;
    Config config; // without the rate, which is sampleRate
};

// A simulated noise source that moves: its lag, signed as a result states
// it (negative on the left), goes from lag to lagEnd over seconds and back,
// again and again; with 0 seconds it stays at lag. Samples come at rate.
struct Simulation {
    int lag = 0;
    int lagEnd = 0;
    double seconds = 0;
    std::uint64_t rate = kPortRate;
};

// Where scans and streams come from: the parallel port, an analyser, or the
// simulator.
struct Port {};
using Source = std::variant<Port, Analyser, Simulation>;

DeviceSpec parseDeviceSpec(std::string_view text);
// "RIGHT,LEFT": two different names.
Channels parseChannels(std::string_view text);
// The channels to read among the logic channels names, in index order: the
// default names when both are there, or else the first two, the lower index
// as the right receiver. Channels the operator named are kept as named.
Channels channelsAmong(const Channels& wanted, const std::vector<std::string>& names);
// The device options that a scan or a stream sets itself: every limit, and
// whether it ends.
bool scanSetsItself(std::string_view key);
// "KEY=VALUE[:KEY=VALUE...]", refusing the keys that the scan sets itself.
Config parseConfig(std::string_view text);
// No analyser samples faster; a larger rate is a mistake or a broken file.
inline constexpr std::uint64_t kMaxSampleRate = 1'000'000'000'000;

// Seconds with '.' and at most three decimals, from kShortestRowPeriod to
// kLongestRowPeriod: "0.1", "2", "0.05".
std::chrono::milliseconds parseRowPeriod(std::string_view text);
// A whole number of at least 1.
std::uint64_t parseCount(std::string_view text);

// A whole number of hertz up to kMaxSampleRate, with a decimal fraction and
// a unit as sigrok writes rates: "200000", "50k", "1.5M", "1m", "50 kHz",
// "24MHz", "200 Hz". Nothing when text is not of that form; 0 stays 0.
std::optional<std::uint64_t> sampleRateIn(std::string_view text);
// The same, above 0.
std::uint64_t parseSampleRate(std::string_view text);
// The rate in the largest unit that divides it: "50 kHz", "24 MHz", "1500 Hz".
std::string formatSampleRate(std::uint64_t hertz);

// A sweep of the simulated source takes at most this long.
inline constexpr std::chrono::seconds kLongestSweep{3'600};
// "LAG" for a source that stands still, or "LAG:LAG_END:SECONDS": whole lags
// from -kMaxLag to kMaxLag, seconds above 0 and up to kLongestSweep, with '.'.
// The rate is left at its default.
Simulation parseSimulation(std::string_view text);

// A finite number above 0, with '.': a baseline in metres, a speed in metres
// per second. option, as the operator knows it, is the error's detail.
double parsePositive(std::string_view text, const std::string& option);

} // namespace CaptureOptions
