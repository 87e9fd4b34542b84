#include "plot_geometry.h"

#include "sector_correlator.h"

#include <charconv>
#include <cmath>
#include <iterator>

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

namespace {

std::string withDecimalPoint(double value, int digits, std::string_view decimalPoint) {
    char written[32];
    const auto end =
        std::to_chars(written, written + sizeof written, value, std::chars_format::general, digits)
            .ptr;
    std::string text;
    for (const char* c = written; c != end; ++c) {
        text += *c == '.' ? decimalPoint : std::string_view(c, 1);
    }
    return text;
}

} // namespace

std::string lagText(double lag, std::string_view decimalPoint) {
    return withDecimalPoint(lag, 15, decimalPoint);
}

std::string lagDurationText(std::uint64_t sampleRate, std::string_view decimalPoint) {
    const struct {
        double perSecond;
        const char* name;
    } units[] = {{1, "s"}, {1e3, "ms"}, {1e6, "\u00B5s"}, {1e9, "ns"}};
    const double rate = static_cast<double>(sampleRate);
    // The first unit in which one period is 1 or more; nanoseconds at most.
    std::size_t unit = 0;
    while (unit + 1 < std::size(units) && units[unit].perSecond < rate) {
        ++unit;
    }
    return withDecimalPoint(units[unit].perSecond / rate, 4, decimalPoint) + " " + units[unit].name;
}

double whitenedValue(double coefficient) {
    const double weights =
        (1.0 - std::pow(SectorCorrelator::kDecay, kWindow)) / (1.0 - SectorCorrelator::kDecay);
    return weights * (1.0 + coefficient) / 2.0;
}

} // namespace PlotGeometry
