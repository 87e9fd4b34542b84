#pragma once

#include "bearing.h"

#include <chrono>
#include <string>
#include <string_view>

// The result line under the plot, in Italian, numbers with the locale's
// decimal point: the sector, the lag, the delay, the bearing when the
// geometry is known, the contrast and the verdict.
std::string resultText(const Bearing::Result& result, std::string_view decimalPoint);

// value with decimals decimals after decimalPoint, whatever the locale.
std::string fixedNumber(double value, int decimals, std::string_view decimalPoint);

// What a row of continuous scanning lost, or nothing when it lost nothing.
std::string lostWindowsText(int lost);
// That the row period was raised to one window's span, which lasts period.
std::string raisedPeriodText(std::chrono::microseconds period);
// That a recording was followed to its last sample.
std::string replayEndedText();
