#include "result_csv.h"

#include "result_text.h"

#include <cstdio>
#include <ctime>

namespace ResultCsv {

namespace {

const char* verdictName(Bearing::Verdict verdict) {
    switch (verdict) {
    case Bearing::Verdict::Source:
        return "source";
    case Bearing::Verdict::None:
        return "none";
    case Bearing::Verdict::Ambiguous:
        return "ambiguous";
    case Bearing::Verdict::IdleRight:
        return "idle-right";
    case Bearing::Verdict::IdleLeft:
        return "idle-left";
    case Bearing::Verdict::IdleBoth:
        return "idle-both";
    case Bearing::Verdict::NoDirection:
        return "no-direction";
    case Bearing::Verdict::Edge:
        return "edge";
    }
    return "";
}

std::string fixed(double value) {
    return fixedNumber(value, 2, ".");
}

std::string optional(const std::optional<double>& value) {
    return value ? fixed(*value) : std::string();
}

std::string triple(const std::optional<std::array<double, 3>>& values) {
    std::string text;
    for (std::size_t i = 0; i < 3; ++i) {
        text += (i == 0 ? "" : ",") + (values ? fixed((*values)[i]) : std::string());
    }
    return text;
}

// verdict..message, and after it lag_low..position_high_m.
std::pair<std::string, std::string> parts(const Bearing::Result& result,
                                          const std::string& message) {
    const bool idle = Bearing::isIdle(result.verdict);
    std::string head = std::string(verdictName(result.verdict)) + ",";
    head += idle ? ",," : fixed(result.lag) + "," + fixed(result.delayUs) + ",";
    head += triple(result.bearing) + ",";
    head += (idle ? std::string() : fixed(result.contrast)) + "," +
            (message.empty() ? message : quoted(message));
    std::string tail = idle ? "," : fixed(result.lagLow) + "," + fixed(result.lagHigh);
    tail += "," + optional(result.secondLag) + "," + triple(result.position);
    return {head, tail};
}

} // namespace

std::string quoted(const std::string& text) {
    std::string result = "\"";
    for (const char c : text) {
        result += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return result + "\"";
}

std::string field(const std::string& text) {
    return text.find_first_of("\",\r\n") == std::string::npos ? text : quoted(text);
}

std::string columns(const Bearing::Result& result, const std::string& message) {
    const auto [head, tail] = parts(result, message);
    const bool plain =
        result.basis.kind != Bearing::Basis::Kind::Whitened && !Bearing::isIdle(result.verdict);
    const int read = result.basis.kind == Bearing::Basis::Kind::Mean ? result.basis.windows : 1;
    return head + "," + (plain ? std::to_string(read) : std::string()) + "," + tail;
}

std::string failure(const std::string& message) {
    return "error,,,,,,," + quoted(message) + ",,,,,,,";
}

std::string row(const Follower::Row& row, std::uint64_t rate) {
    const auto [head, tail] = parts(row.result, lostWindowsText(row.lost));
    return (row.arrived ? localTime(*row.arrived) : std::string()) + "," +
           std::to_string(row.windows) + "," + head + "," + tail + "," +
           seconds(row.firstSample, rate);
}

// In whole microseconds, rounded, with integers alone: a double would lose
// the last digits after a few days at the fastest rates.
std::string seconds(std::uint64_t sample, std::uint64_t rate) {
    __extension__ using Wide = unsigned __int128;
    const auto micros = static_cast<std::uint64_t>((Wide{sample} * 1'000'000 + rate / 2) / rate);
    char text[32];
    std::snprintf(text, sizeof text, "%llu.%06llu",
                  static_cast<unsigned long long>(micros / 1'000'000),
                  static_cast<unsigned long long>(micros % 1'000'000));
    return text;
}

std::string localTime(std::chrono::system_clock::time_point time) {
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
    char offset[8];
    std::strftime(offset, sizeof offset, "%z", &local); // "+0100"
    const std::string zone(offset);
    char millisText[8];
    std::snprintf(millisText, sizeof millisText, ".%03d", static_cast<int>((millis + 1000) % 1000));
    return stamp + std::string(millisText) + zone.substr(0, 3) + ":" + zone.substr(3);
}

} // namespace ResultCsv
