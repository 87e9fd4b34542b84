#include "bearing.h"

#include "sector_correlator.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace Bearing {

namespace {

// A 95 % interval of a normal value is this many standard deviations either side.
constexpr double kNormal95 = 1.96;
// A second peak this close to the first, in noise floors, may be the source
// as well: the difference of two noisy heights spreads by sqrt(2) floors.
constexpr double kWithinNoise = kNormal95 * std::numbers::sqrt2;
// A peak this many lags wide fits the lag range well.
constexpr double kNarrowPeak = 12.0;

double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

double degrees(double sine) {
    return std::asin(sine) * 180.0 / std::numbers::pi;
}

double at(const Axis& values, int index) {
    return values[static_cast<std::size_t>(index)];
}

bool isEdge(int index) {
    return index == 0 || index == kAxisLength - 1;
}

// The lobe about peak: the values fall from it on either side down to the
// first rise or the end.
std::pair<int, int> lobe(const Axis& values, int peak) {
    int low = peak;
    while (low > 0 && at(values, low - 1) <= at(values, low)) {
        --low;
    }
    int high = peak;
    while (high < kAxisLength - 1 && at(values, high + 1) <= at(values, high)) {
        ++high;
    }
    return {low, high};
}

bool isLocalPeak(const Axis& values, int index) {
    return (index == 0 || at(values, index - 1) < at(values, index)) &&
           (index == kAxisLength - 1 || at(values, index + 1) <= at(values, index));
}

// The highest local peak outside [low, high], or nothing.
std::optional<int> secondPeak(const Axis& values, int low, int high) {
    std::optional<int> best;
    for (int index = 0; index < kAxisLength; ++index) {
        if ((index < low || index > high) && isLocalPeak(values, index) &&
            (!best || at(values, index) > at(values, *best))) {
            best = index;
        }
    }
    return best;
}

// The lag to the vertex of the parabola through the peak and its neighbours.
double vertexLag(const Axis& values, int peak) {
    const double offset =
        isEdge(peak) ? 0.0
                     : vertexOffset(at(values, peak - 1), at(values, peak), at(values, peak + 1));
    return peak - kMaxLag + offset;
}

// Half of the lag's 95 % interval about the vertex: the noise of the two neighbours moves the
// vertex by 0.5 * (n- - n+) / curvature, whose spread is sqrt(0.5) floors
// over the curvature; never under half a sample, the lags' own step.
double halfInterval(const Axis& values, int peak, double floor) {
    if (isEdge(peak)) {
        return 0.5;
    }
    const double curvature =
        std::abs(at(values, peak - 1) - 2.0 * at(values, peak) + at(values, peak + 1));
    const double spread = curvature > 0.0 ? std::sqrt(0.5) * floor / curvature : kMaxLag;
    return std::max(0.5, kNormal95 * spread);
}

// The lags either side of peak, unbroken, whose values stand within margin
// of the peak's: any of them may be the source's, as a broad or rough peak
// makes them.
std::pair<int, int> asHigh(const Axis& values, int peak, double margin) {
    const double lowest = at(values, peak) - margin;
    int low = peak;
    while (low > 0 && at(values, low - 1) >= lowest) {
        --low;
    }
    int high = peak;
    while (high < kAxisLength - 1 && at(values, high + 1) >= lowest) {
        ++high;
    }
    return {low, high};
}

// The bearing or the place of lag, with its interval, into result.
void place(Result& result, const Geometry& geometry) {
    const double rate = static_cast<double>(result.sampleRate);
    const auto seconds = [rate](double lag) { return lag / rate; };
    if (geometry.kind == Geometry::Kind::Pipe) {
        const auto clamped = [&](double lag) {
            return std::clamp((geometry.baseline - geometry.speed * seconds(lag)) / 2.0, 0.0,
                              geometry.baseline);
        };
        if (const auto x = positionOf(seconds(result.lag), geometry)) {
            result.position = {{*x, clamped(result.lagHigh), clamped(result.lagLow)}};
        }
        if (result.secondLag) {
            result.secondPosition = positionOf(seconds(*result.secondLag), geometry);
        }
        return;
    }
    const auto clamped = [&](double lag) {
        return degrees(std::clamp(geometry.speed * seconds(lag) / geometry.baseline, -1.0, 1.0));
    };
    if (const auto bearing = bearingOf(seconds(result.lag), geometry)) {
        result.bearing = {{*bearing, clamped(result.lagLow), clamped(result.lagHigh)}};
    }
    if (result.secondLag) {
        result.secondBearing = bearingOf(seconds(*result.secondLag), geometry);
    }
}

Verdict idleVerdict(const Idle& idle) {
    return !idle.left ? Verdict::IdleRight : !idle.right ? Verdict::IdleLeft : Verdict::IdleBoth;
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
            if (at(values, index) > at(values, best)) {
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

double contrast(const Axis& values, int peak, double floor) {
    const double centre = median({values.begin(), values.end()});
    return (at(values, peak) - centre) / floor;
}

std::optional<double> bearingOf(double delaySeconds, const Geometry& geometry) {
    const double sine = geometry.speed * delaySeconds / geometry.baseline;
    if (std::abs(sine) > 1.0) {
        return std::nullopt;
    }
    return degrees(sine);
}

std::optional<double> positionOf(double delaySeconds, const Geometry& geometry) {
    const double path = geometry.speed * delaySeconds;
    if (std::abs(path) > geometry.baseline) {
        return std::nullopt;
    }
    return (geometry.baseline - path) / 2.0;
}

std::uint64_t twoFigures(double rate) {
    if (rate < 10.0) {
        return static_cast<std::uint64_t>(std::max(rate, 1.0));
    }
    const double step = std::pow(10.0, std::floor(std::log10(rate)) - 1.0);
    return static_cast<std::uint64_t>(std::floor(rate / step) * step);
}

// Along a pipe a lag moves the place by half the path it stands for.
Sector sectorOf(std::uint64_t sampleRate, const Geometry& geometry) {
    const double rate = static_cast<double>(sampleRate);
    Sector sector{};
    sector.lagsAcross = rate * geometry.baseline / geometry.speed;
    sector.fullRate = twoFigures(kMaxLag * geometry.speed / geometry.baseline);
    if (geometry.kind == Geometry::Kind::Pipe) {
        const double perLag = geometry.speed / rate / 2.0;
        sector.half = std::min(geometry.baseline / 2.0, kMaxLag * perLag);
        sector.resolution = perLag;
    } else {
        sector.half = degrees(std::min(1.0, kMaxLag / sector.lagsAcross));
        sector.resolution = degrees(std::min(1.0, 1.0 / sector.lagsAcross));
    }
    return sector;
}

Result assess(const Axis& values, std::uint64_t sampleRate, const Basis& basis, const Noise& noise,
              const Idle& idle, const std::optional<Geometry>& geometry) {
    Result result;
    result.sampleRate = sampleRate;
    result.basis = basis;
    result.geometry = geometry;
    if (idle.right || idle.left) {
        result.verdict = idleVerdict(idle);
        result.idleThroughout = idle.throughout;
        return result;
    }
    const int peak = peakIndex(values);
    result.lag = vertexLag(values, peak);
    result.delayUs = result.lag / static_cast<double>(sampleRate) * 1e6;
    result.contrast = contrast(values, peak, noise.floor);
    const double half = halfInterval(values, peak, noise.floor);
    const auto [nearLow, nearHigh] = asHigh(values, peak, kWithinNoise * noise.floor);
    result.lagLow =
        std::max(std::min(result.lag - half, nearLow - 0.5 - kMaxLag), double{-kMaxLag});
    result.lagHigh =
        std::min(std::max(result.lag + half, nearHigh + 0.5 - kMaxLag), double{kMaxLag});
    if (noise.width) {
        result.lowerRate = twoFigures(static_cast<double>(sampleRate) * kNarrowPeak / *noise.width);
    }
    const bool significant = result.contrast >= kSourceContrast && !result.lowerRate;
    if (significant) {
        const auto [low, high] = lobe(values, peak);
        const auto second = secondPeak(values, low, high);
        if (second && at(values, peak) - at(values, *second) <= kWithinNoise * noise.floor) {
            result.secondLag = vertexLag(values, *second);
        }
    }
    if (geometry && significant) {
        place(result, *geometry);
    }
    const bool placed = result.bearing || result.position;
    result.verdict = !significant          ? Verdict::None
                     : result.secondLag    ? Verdict::Ambiguous
                     : isEdge(peak)        ? Verdict::Edge
                     : !placed && geometry ? Verdict::NoDirection
                                           : Verdict::Source;
    return result;
}

} // namespace Bearing
