#pragma once

#include "side.h"

#include <cstdint>
#include <string>
#include <string_view>

// Where the correlogram's bars stand on the window and which lag lies under
// the pointer. Window coordinates in twips (1/1440 inch), Y downwards. Values
// are worked out in double and handed to drawing as float, as the plot has
// always done, so every bar lands on the same half-twip as ever.
namespace PlotGeometry {

// The axis both fans start from.
inline constexpr double kAxisX = 7600.0;
// Every bar starts at this height and rises by 10 twips per unit of value,
// measured from kBarBaseY (a value of 50 gives a bar of zero length).
inline constexpr double kBarStartY = 6000.0;
inline constexpr double kBarBaseY = 6500.0;
// No bar reaches higher: the largest value, 1200 agreeing samples, ends at
// 1870.2 twips.
inline constexpr double kBarsTopY = 1870.0;
// One tenth of a lag in the readout.
inline constexpr double kTwipsPerTenth = 6.25;

// X of the bar of lag d (0..120): leftwards of the axis for the left sector,
// rightwards for the right, 62.5 twips per lag.
float barX(Side sector, int lag);

// Y of the far end of a bar of value c.
float barEndY(double value);

// A whitened coefficient r (-1..1) on the counts' scale: the weighted count
// of agreeing samples a window has when its bits correlate by r, so that
// independent bits stand where they stand in a plain analysis.
double whitenedValue(double coefficient);

// The lag under a pointer at X (in tenths, negative on the left): floor of
// the distance from the axis in tenths of a lag, divided by 10.
double lagAt(float pointerX);

// The readout's text for a lag from lagAt: the shortest form with at most 15
// significant digits, Western digits and minus sign, and the locale's decimal
// point, whatever character that is, in place of '.'.
std::string lagText(double lag, std::string_view decimalPoint);

// How long one lag lasts in data sampled at sampleRate, in the unit that
// gives 1 to 999 where it can, to 4 significant digits and with the locale's
// decimal point: "20 \u00B5s" at 50 kHz, "41,67 ns" at 24 MHz.
std::string lagDurationText(std::uint64_t sampleRate, std::string_view decimalPoint);

} // namespace PlotGeometry
