#include "column_labels.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <optional>

namespace ColumnLabels {

namespace {

// Enough to read the axis by, few enough to leave room for each.
constexpr double kMostLabels = 8.0;

struct Place {
    int lag;
    double value;
};

// The places that the whole lags have: a lag past 90 degrees, or past the
// pipe's ends, has none.
std::vector<Place> placesOf(std::uint64_t sampleRate, const Bearing::Geometry& geometry) {
    std::vector<Place> places;
    for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
        const double seconds = lag / static_cast<double>(sampleRate);
        const std::optional<double> value = geometry.kind == Bearing::Geometry::Kind::Pipe
                                                ? Bearing::positionOf(seconds, geometry)
                                                : Bearing::bearingOf(seconds, geometry);
        if (value) {
            places.push_back({lag, *value});
        }
    }
    return places;
}

// The least of 1, 2 or 5 times a power of ten that cuts span into at most
// kMostLabels.
double stepFor(double span) {
    const double least = span / kMostLabels;
    const double power = std::pow(10.0, std::floor(std::log10(least)));
    for (const double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * power >= least) {
            return multiple * power;
        }
    }
    return 10.0 * power;
}

// Between the two whole lags whose places enclose value: the places are
// monotonic in the lag, and consecutive. A value past an end, by rounding
// only, is at that end.
double lagOf(const std::vector<Place>& places, double value) {
    for (std::size_t i = 0; i + 1 < places.size(); ++i) {
        const Place& a = places[i];
        const Place& b = places[i + 1];
        if (std::min(a.value, b.value) <= value && value <= std::max(a.value, b.value)) {
            return a.lag + (value - a.value) / (b.value - a.value);
        }
    }
    const bool front =
        std::abs(places.front().value - value) < std::abs(places.back().value - value);
    return front ? places.front().lag : places.back().lag;
}

} // namespace

std::vector<Label> of(std::uint64_t sampleRate, const Bearing::Geometry& geometry) {
    const std::vector<Place> places = placesOf(sampleRate, geometry);
    if (places.size() < 2) {
        return {};
    }
    const auto [low, high] =
        std::minmax_element(places.begin(), places.end(),
                            [](const Place& a, const Place& b) { return a.value < b.value; });
    const double step = stepFor(high->value - low->value);
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    const QString unit = geometry.kind == Bearing::Geometry::Kind::Pipe ? QStringLiteral(" m")
                                                                        : QStringLiteral("\u00B0");
    std::vector<Label> labels;
    for (auto k = static_cast<long>(std::ceil(low->value / step));
         k <= static_cast<long>(std::floor(high->value / step)); ++k) {
        const double value = static_cast<double>(k) * step;
        labels.push_back({lagOf(places, value), QLocale().toString(value, 'f', decimals) + unit});
    }
    std::sort(labels.begin(), labels.end(),
              [](const Label& a, const Label& b) { return a.lag < b.lag; });
    return labels;
}

} // namespace ColumnLabels
