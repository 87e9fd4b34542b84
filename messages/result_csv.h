#pragma once

#include "bearing.h"

#include <chrono>
#include <string>

// Results as CSV, in the same columns for the files of --summary and the
// rows of --follow: numbers with two decimals and '.', whatever the locale.
namespace ResultCsv {

inline constexpr const char* kColumns =
    "verdict,lag,delay_us,bearing_deg,bearing_low_deg,bearing_high_deg,contrast,message";
// The header of the rows that --follow and "Registra…" write.
inline constexpr const char* kRowHeader = "time,windows,verdict,lag,delay_us,bearing_deg,"
                                          "bearing_low_deg,bearing_high_deg,contrast,message";

// text as a field: quoted where it holds a quote, a comma or a line end.
std::string field(const std::string& text);
std::string quoted(const std::string& text);
// The values of kColumns.
std::string columns(const Bearing::Result& result, const std::string& message);
// The values of kColumns for a failure.
std::string failure(const std::string& message);
// One row of continuous scanning, under kRowHeader: when its last sample
// came, its windows, its result, and the windows it lost, if any.
std::string row(std::chrono::system_clock::time_point arrived, int windows, int lost,
                const Bearing::Result& result);
// Local time in ISO 8601 with milliseconds and the offset from UTC, as
// "2026-12-07T17:43:44.123+01:00".
std::string localTime(std::chrono::system_clock::time_point time);

} // namespace ResultCsv
