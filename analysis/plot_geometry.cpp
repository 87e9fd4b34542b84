#include "plot_geometry.h"

#include <charconv>
#include <cmath>

namespace PlotGeometry {

float barX(Side sector, int lag) {
    // Both expressions reduce to kAxisX -/+ 62.5 * lag; they are kept in the
    // form that fixes how each rounds.
    const double x = sector == Side::Left ? 100.0 + ((1200 + 10 * -lag) * 12.5) / 2.0
                                          : kAxisX + (lag * 125) / 2.0;
    return static_cast<float>(x);
}

float barEndY(double value) {
    return static_cast<float>(kBarBaseY - 10.0 * value);
}

double lagAt(float pointerX) {
    const double tenths = (static_cast<double>(pointerX) - kAxisX) / kTwipsPerTenth;
    return std::floor(tenths) / 10.0;
}

std::string lagText(double lag, std::string_view decimalPoint) {
    char digits[32];
    const auto end =
        std::to_chars(digits, digits + sizeof digits, lag, std::chars_format::general, 15).ptr;
    std::string text;
    for (const char* c = digits; c != end; ++c) {
        text += *c == '.' ? decimalPoint : std::string_view(c, 1);
    }
    return text;
}

} // namespace PlotGeometry
