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
    double lag;
    double value;
};

// The places that the whole lags have, lag 0 always, and the field's ends where the lags
// reach past them: 90 degrees, or the sensors. A lag past an end has none.
std::vector<Place> placesOf(std::uint64_t sampleRate, const Bearing::Geometry& geometry) {
    const bool pipe = geometry.kind == Bearing::Geometry::Kind::Pipe;
    std::vector<Place> places;
    for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
        const double seconds = lag / static_cast<double>(sampleRate);
        const std::optional<double> value =
            pipe ? Bearing::positionOf(seconds, geometry) : Bearing::bearingOf(seconds, geometry);
        if (value) {
            places.push_back({static_cast<double>(lag), *value});
        }
    }
    const double across = Bearing::sectorOf(sampleRate, geometry).lagsAcross;
    if (across <= kMaxLag && across > places.back().lag) {
        places.insert(places.begin(), {-across, pipe ? geometry.baseline : -90.0});
        places.push_back({across, pipe ? 0.0 : 90.0});
    }
    return places;
}

// The least of 1, 2 or 5 times a power of ten that cuts span into at most
// kMostLabels; of 15 or 30 degrees past 10.
double stepFor(double span, bool degrees) {
    const double least = span / kMostLabels;
    if (degrees && least > 10.0) {
        return least <= 15.0 ? 15.0 : 30.0;
    }
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
            return a.lag + (value - a.value) / (b.value - a.value) * (b.lag - a.lag);
        }
    }
    const bool front =
        std::abs(places.front().value - value) < std::abs(places.back().value - value);
    return front ? places.front().lag : places.back().lag;
}

} // namespace

std::vector<Label> of(std::uint64_t sampleRate, const Bearing::Geometry& geometry) {
    const std::vector<Place> places = placesOf(sampleRate, geometry);
    const auto [low, high] =
        std::minmax_element(places.begin(), places.end(),
                            [](const Place& a, const Place& b) { return a.value < b.value; });
    const bool pipe = geometry.kind == Bearing::Geometry::Kind::Pipe;
    const double step = stepFor(high->value - low->value, !pipe);
    const int decimals = std::max(0, -static_cast<int>(std::floor(std::log10(step))));
    const QString unit = pipe ? QStringLiteral(" m") : QStringLiteral("\u00B0");
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
