#include "capture_options.h"

#include "operator_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

namespace CaptureOptions {

namespace {

using Kind = OperatorError::Kind;

std::vector<std::string> split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find(separator, start)) != std::string_view::npos;
         start = end + 1) {
        parts.emplace_back(text.substr(start, end - start));
    }
    parts.emplace_back(text.substr(start));
    return parts;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// value * 10 + digit, or false when that overflows.
bool appendDigit(std::uint64_t& value, char digit) {
    constexpr auto kMax = std::numeric_limits<std::uint64_t>::max();
    const auto d = static_cast<std::uint64_t>(digit - '0');
    if (value > (kMax - d) / 10) {
        return false;
    }
    value = value * 10 + d;
    return true;
}

std::uint64_t multiplierOf(std::string_view suffix) {
    if (suffix.empty()) {
        return 1;
    }
    if (suffix.size() == 1) {
        switch (suffix.front()) {
        case 'k':
            return 1'000;
        case 'M':
        case 'm': // mega, as sigrok-cli reads rates
            return 1'000'000;
        case 'G':
            return 1'000'000'000;
        default:
            break;
        }
    }
    return 0;
}

// A whole lag from -kMaxLag to kMaxLag, or nothing.
std::optional<int> lagIn(std::string_view text) {
    int lag = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), lag);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() ||
        lag < -kMaxLag || lag > kMaxLag) {
        return std::nullopt;
    }
    return lag;
}

// Digits with at most one '.' between them, above 0 and up to kLongestSweep;
// from_chars alone would take exponents, "inf" and "nan".
std::optional<double> sweepIn(std::string_view text) {
    const std::size_t point = text.find('.');
    const auto digits = [](std::string_view part) {
        return !part.empty() && std::all_of(part.begin(), part.end(), isDigit);
    };
    if (!digits(text.substr(0, point)) ||
        (point != std::string_view::npos && !digits(text.substr(point + 1)))) {
        return std::nullopt;
    }
    double seconds = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), seconds);
    if (seconds <= 0.0 || seconds > static_cast<double>(kLongestSweep.count())) {
        return std::nullopt;
    }
    return seconds;
}

} // namespace

DeviceSpec parseDeviceSpec(std::string_view text) {
    const std::vector<std::string> tokens = split(text, ':');
    DeviceSpec request{std::string(text), tokens.front(), {}};
    if (request.driver.empty()) {
        throw OperatorError(Kind::DriverUnknown, request.text);
    }
    for (std::size_t i = 1; i < tokens.size(); ++i) {
        const std::size_t equals = tokens[i].find('=');
        if (equals == 0 || equals == std::string::npos || equals + 1 == tokens[i].size()) {
            throw OperatorError(Kind::ScanOptionInvalid, tokens[i]);
        }
        request.scanOptions.emplace_back(tokens[i].substr(0, equals), tokens[i].substr(equals + 1));
    }
    return request;
}

Channels parseChannels(std::string_view text) {
    const std::vector<std::string> names = split(text, ',');
    if (names.size() != 2 || names[0].empty() || names[1].empty() || names[0] == names[1]) {
        throw OperatorError(Kind::ChannelsInvalid, std::string(text));
    }
    return {names[0], names[1], Channels::Choice::Named};
}

Channels channelsAmong(const Channels& wanted, const std::vector<std::string>& names) {
    const auto has = [&](const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    if (wanted.choice != Channels::Choice::Default || names.size() < 2 ||
        (has(wanted.right) && has(wanted.left))) {
        return wanted;
    }
    return {names[0], names[1], Channels::Choice::FirstTwo};
}

bool scanSetsItself(std::string_view key) {
    // Every key that limits or ends an acquisition; libsigrok names the
    // limit in milliseconds "limit_time".
    static constexpr std::string_view kScanOwn[] = {"limit_samples", "limit_msec", "limit_time",
                                                    "limit_frames", "continuous"};
    return std::find(std::begin(kScanOwn), std::end(kScanOwn), key) != std::end(kScanOwn);
}

Config parseConfig(std::string_view text) {
    Config config;
    for (const std::string& pair : split(text, ':')) {
        const std::size_t equals = pair.find('=');
        if (equals == 0 || equals == std::string::npos || equals + 1 == pair.size()) {
            throw OperatorError(Kind::ConfigInvalid, pair);
        }
        const std::string key = pair.substr(0, equals);
        const std::string value = pair.substr(equals + 1);
        if (scanSetsItself(key)) {
            throw OperatorError(Kind::ConfigKeyReserved, key);
        }
        config.emplace_back(key, value);
    }
    return config;
}

// Worked out in integers, so that "1.5M" is exactly 1500000 and "1.0000005M"
// is refused rather than rounded.
std::optional<std::uint64_t> sampleRateIn(std::string_view text) {
    std::size_t i = 0;
    std::uint64_t whole = 0;
    for (; i < text.size() && isDigit(text[i]); ++i) {
        if (!appendDigit(whole, text[i])) {
            return std::nullopt;
        }
    }
    const bool hasWhole = i > 0;
    std::uint64_t fraction = 0;
    std::uint64_t fractionScale = 1;
    if (i < text.size() && text[i] == '.') {
        const std::size_t first = ++i;
        for (; i < text.size() && isDigit(text[i]); ++i) {
            if (!appendDigit(fraction, text[i]) || !appendDigit(fractionScale, '0')) {
                return std::nullopt;
            }
        }
        if (i == first) {
            return std::nullopt;
        }
    }
    // "50k", "50kHz", "50 kHz", "50 Hz".
    std::string_view unit = text.substr(i);
    if (unit.starts_with(' ')) {
        unit.remove_prefix(1);
        if (unit.empty()) {
            return std::nullopt;
        }
    }
    if (unit.ends_with("Hz")) {
        unit.remove_suffix(2);
    }
    const std::uint64_t multiplier = multiplierOf(unit);
    if (!hasWhole || multiplier == 0) {
        return std::nullopt;
    }
    // fraction < fractionScale, so fraction * multiplier cannot overflow
    // where fractionScale * multiplier does not.
    if (whole > kMaxSampleRate / multiplier || fractionScale > kMaxSampleRate / multiplier ||
        fraction * multiplier % fractionScale != 0) {
        return std::nullopt;
    }
    const std::uint64_t rate = whole * multiplier + fraction * multiplier / fractionScale;
    if (rate > kMaxSampleRate) {
        return std::nullopt;
    }
    return rate;
}

std::chrono::milliseconds parseRowPeriod(std::string_view text) {
    std::uint64_t millis = 0;
    std::size_t i = 0;
    for (; i < text.size() && isDigit(text[i]) && appendDigit(millis, text[i]); ++i) {
    }
    const bool whole = i > 0;
    int decimals = 0;
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && isDigit(text[i]) && decimals < 3; ++i, ++decimals) {
            appendDigit(millis, text[i]);
        }
    }
    for (; decimals < 3 && appendDigit(millis, '0'); ++decimals) {
    }
    const std::chrono::milliseconds period(static_cast<std::int64_t>(millis));
    if (!whole || i != text.size() || decimals != 3 || period < kShortestRowPeriod ||
        period > kLongestRowPeriod) {
        throw OperatorError(Kind::RowPeriodInvalid, std::string(text));
    }
    return period;
}

std::uint64_t parseCount(std::string_view text) {
    std::uint64_t count = 0;
    bool digits = !text.empty();
    for (const char c : text) {
        digits = digits && isDigit(c) && appendDigit(count, c);
    }
    if (!digits || count == 0) {
        throw OperatorError(Kind::CountInvalid, std::string(text));
    }
    return count;
}

std::uint64_t parseSampleRate(std::string_view text) {
    const auto rate = sampleRateIn(text);
    if (!rate || *rate == 0) {
        throw OperatorError(Kind::SampleRateInvalid, std::string(text));
    }
    return *rate;
}

std::string formatSampleRate(std::uint64_t hertz) {
    const std::pair<std::uint64_t, const char*> units[] = {
        {1'000'000'000, " GHz"}, {1'000'000, " MHz"}, {1'000, " kHz"}};
    for (const auto& [size, unit] : units) {
        if (hertz >= size && hertz % size == 0) {
            return std::to_string(hertz / size) + unit;
        }
    }
    return std::to_string(hertz) + " Hz";
}

Simulation parseSimulation(std::string_view text) {
    const std::vector<std::string> parts = split(text, ':');
    const auto lag = lagIn(parts.front());
    const auto lagEnd = parts.size() == 3 ? lagIn(parts[1]) : lag;
    const auto seconds = parts.size() == 3 ? sweepIn(parts[2]) : 0.0;
    if ((parts.size() != 1 && parts.size() != 3) || !lag || !lagEnd || !seconds) {
        throw OperatorError(Kind::SimulationInvalid, std::string(text));
    }
    Simulation simulation;
    simulation.lag = *lag;
    simulation.lagEnd = *lagEnd;
    simulation.seconds = *seconds;
    return simulation;
}

double parsePositive(std::string_view text, const std::string& option) {
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value) ||
        value <= 0.0) {
        throw OperatorError(Kind::GeometryInvalid, std::string(text), option);
    }
    return value;
}

} // namespace CaptureOptions
