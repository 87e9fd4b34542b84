#include "bearing.h"

#include "sector_correlator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace Bearing {

namespace {

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// 1.4826 times the median absolute deviation: the standard deviation of
// normal values, unmoved by the peak itself.
double robustSpread(const Axis& values, double centre) {
    std::vector<double> deviations(values.size());
    std::transform(values.begin(), values.end(), deviations.begin(),
                   [centre](double value) { return std::abs(value - centre); });
    return 1.4826 * median(std::move(deviations));
}

double degrees(double sine) {
    return std::asin(sine) * 180.0 / std::numbers::pi;
}

} // namespace

Axis signedAxis(const SampleStore::Correlogram& left, const SampleStore::Correlogram& right) {
    Axis axis{};
    for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
        axis[static_cast<std::size_t>(lag + kMaxLag)] = lag < 0 ? left[-lag] : right[lag];
    }
    return axis;
}

int peakIndex(const Axis& values) {
    int best = kMaxLag;
    for (int distance = 1; distance <= kMaxLag; ++distance) {
        for (const int index : {kMaxLag + distance, kMaxLag - distance}) {
            if (values[static_cast<std::size_t>(index)] > values[static_cast<std::size_t>(best)]) {
                best = index;
            }
        }
    }
    return best;
}

double vertexOffset(double before, double at, double after) {
    const double curvature = before - 2.0 * at + after;
    return curvature == 0.0 ? 0.0 : 0.5 * (before - after) / curvature;
}

double noiseFloor(int windows) {
    const double k2 = SectorCorrelator::kDecay * SectorCorrelator::kDecay;
    const double perWindow = std::sqrt(0.25 * (1.0 - std::pow(k2, kWindow)) / (1.0 - k2));
    return perWindow / std::sqrt(static_cast<double>(windows));
}

double contrast(const Axis& values, int peak, int windows) {
    const double centre = median({values.begin(), values.end()});
    const double spread = std::max(robustSpread(values, centre), noiseFloor(windows));
    return (values[static_cast<std::size_t>(peak)] - centre) / spread;
}

std::optional<double> bearingOf(double delaySeconds, const Geometry& geometry) {
    const double sine = geometry.speed * delaySeconds / geometry.baseline;
    if (std::abs(sine) > 1.0) {
        return std::nullopt;
    }
    return degrees(sine);
}

Result assess(const SampleStore::Correlogram& left, const SampleStore::Correlogram& right,
              std::uint64_t sampleRate, int windows, const Idle& idle,
              const std::optional<Geometry>& geometry) {
    Result result;
    if (idle.right || idle.left) {
        result.verdict = !idle.left    ? Verdict::IdleRight
                         : !idle.right ? Verdict::IdleLeft
                                       : Verdict::IdleBoth;
        return result;
    }
    const Axis values = signedAxis(left, right);
    const int peak = peakIndex(values);
    const bool atEdge = peak == 0 || peak == kAxisLength - 1;
    const auto at = [&](int index) { return values[static_cast<std::size_t>(index)]; };
    const double offset = atEdge ? 0.0 : vertexOffset(at(peak - 1), at(peak), at(peak + 1));
    const double rate = static_cast<double>(sampleRate);
    result.lag = peak - kMaxLag + offset;
    result.delayUs = result.lag / rate * 1e6;
    result.contrast = contrast(values, peak, windows);
    const bool significant = result.contrast >= kSourceContrast;
    if (geometry && significant) {
        const auto bearing = bearingOf(result.lag / rate, *geometry);
        if (bearing) {
            const auto edgeOf = [&](double lag) {
                const double sine = geometry->speed * (lag / rate) / geometry->baseline;
                return degrees(std::clamp(sine, -1.0, 1.0));
            };
            result.bearing = {{*bearing, edgeOf(result.lag - 0.5), edgeOf(result.lag + 0.5)}};
        }
    }
    result.verdict = !significant                  ? Verdict::None
                     : atEdge                      ? Verdict::Edge
                     : !result.bearing && geometry ? Verdict::NoDirection
                                                   : Verdict::Source;
    return result;
}

} // namespace Bearing
