#pragma once

#include "bearing.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

// The result line under the plot, in Italian, numbers with the locale's
// decimal point: the verdict first, then the bearing or the place with its
// 95 % interval, the lag and delay, the contrast, what was analysed, and
// what the rate and the geometry let it see.
std::string resultText(const Bearing::Result& result, std::string_view decimalPoint);

// What lags +-120 at rate see over geometry, when that is less than the
// whole field or coarse, with the rate that would mend it; else nothing.
std::string sectorText(std::uint64_t rate, const Bearing::Geometry& geometry,
                       std::string_view decimalPoint);

// value with decimals decimals after decimalPoint, whatever the locale.
std::string fixedNumber(double value, int decimals, std::string_view decimalPoint);

// What a row of continuous scanning lost, or nothing when it lost nothing.
std::string lostWindowsText(int lost);
// That the row period was raised to one window's span, which lasts period.
std::string raisedPeriodText(std::chrono::microseconds period);
// That a recording was followed to its last sample.
std::string replayEndedText();
