#pragma once

#include "bearing.h"
#include "follower.h"

#include <chrono>
#include <string>

// Results as CSV, in the same columns for the files of --summary and the
// rows of --follow: numbers with two decimals and '.', whatever the locale.
namespace ResultCsv {

inline constexpr const char* kColumns =
    "verdict,lag,delay_us,bearing_deg,bearing_low_deg,bearing_high_deg,contrast,message,"
    "windows,lag_low,lag_high,second_lag,position_m,position_low_m,position_high_m";
// The header of the rows that --follow and "Registra…" write.
inline constexpr const char* kRowHeader =
    "time,windows,verdict,lag,delay_us,bearing_deg,bearing_low_deg,bearing_high_deg,contrast,"
    "message,lag_low,lag_high,second_lag,position_m,position_low_m,position_high_m,start_s";

// text as a field: quoted where it holds a quote, a comma or a line end.
std::string field(const std::string& text);
std::string quoted(const std::string& text);
// The values of kColumns: the windows a plain analysis read, none for a
// whitened one.
std::string columns(const Bearing::Result& result, const std::string& message);
// The values of kColumns for a failure.
std::string failure(const std::string& message);
// One row of continuous scanning of a stream at rate, under kRowHeader:
// when its last sample came (nothing for a recording), its windows, its
// result, the windows it lost, if any, and when its first sample came, in
// seconds from the stream's first.
std::string row(const Follower::Row& row, std::uint64_t rate);
// Sample sample of a stream at rate, in seconds with six decimals.
std::string seconds(std::uint64_t sample, std::uint64_t rate);
// Local time in ISO 8601 with milliseconds and the offset from UTC, as
// "2026-12-07T17:43:44.123+01:00".
std::string localTime(std::chrono::system_clock::time_point time);

} // namespace ResultCsv
