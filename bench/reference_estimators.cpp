#include "reference_estimators.h"

#include "median.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <numbers>

namespace {

constexpr int kHop = GccPhat::kBlock / 2;
// Seeds of the floor's null scenes, apart from any the bench draws.
constexpr std::uint64_t kFloorSeeds = 1'000'000'000;

std::vector<double> hann(int size) {
    std::vector<double> window(static_cast<std::size_t>(size));
    for (int i = 0; i < size; ++i) {
        window[static_cast<std::size_t>(i)] =
            0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / size);
    }
    return window;
}

// As Bearing::contrast: the peak over the median, in the larger of the
// values' robust spread (1.4826 median absolute deviations) and the floor.
double contrastOf(const Bearing::Axis& values, int peak, double floor) {
    const double centre = median({values.begin(), values.end()});
    std::vector<double> deviations(values.size());
    std::transform(values.begin(), values.end(), deviations.begin(),
                   [centre](double value) { return std::abs(value - centre); });
    const double spread = std::max(1.4826 * median(std::move(deviations)), floor);
    return (values[static_cast<std::size_t>(peak)] - centre) / spread;
}

// Half the width of the lags at which the parabola through the peak and its
// neighbours stays within floor of its vertex, the lags that noise of that
// spread could not tell from it. Nothing when it is flat.
double halfWidth(double before, double at, double after, double floor) {
    const double curvature = before - 2.0 * at + after;
    return curvature < 0.0 ? std::sqrt(2.0 * floor / -curvature)
                           : std::numeric_limits<double>::quiet_NaN();
}

} // namespace

GccPhat::GccPhat(double nullFloor) : fft_(kBlock), window_(hann(kBlock)), floor_(nullFloor) {}

Bearing::Axis GccPhat::correlation(const Scene& scene) {
    const auto blockOf = [&](const std::vector<double>& signal, std::size_t start) {
        std::vector<double> block(static_cast<std::size_t>(kBlock));
        for (std::size_t i = 0; i < block.size(); ++i) {
            block[i] = window_[i] * signal[start + i];
        }
        return block;
    };
    std::vector<std::complex<double>> cross(static_cast<std::size_t>(fft_.bins()));
    for (std::size_t start = 0; start + kBlock <= scene.left.size(); start += kHop) {
        const std::vector<std::complex<double>> left = fft_.forward(blockOf(scene.left, start));
        const auto& right = fft_.forward(blockOf(scene.right, start));
        for (std::size_t k = 0; k < cross.size(); ++k) {
            cross[k] += std::conj(right[k]) * left[k];
        }
    }
    // DC and Nyquist carry no delay; unit magnitude everywhere else.
    cross.front() = 0.0;
    cross.back() = 0.0;
    for (auto& bin : cross) {
        const double magnitude = std::abs(bin);
        bin = magnitude > 0.0 ? bin / magnitude : 0.0;
    }
    const auto& lags = fft_.inverse(cross);
    Bearing::Axis axis{};
    for (int lag = -kMaxLag; lag <= kMaxLag; ++lag) {
        axis[static_cast<std::size_t>(lag + kMaxLag)] =
            lags[static_cast<std::size_t>((lag + kBlock) % kBlock)];
    }
    return axis;
}

Estimate GccPhat::estimate(const Scene& scene) {
    const Bearing::Axis values = correlation(scene);
    const int peak = Bearing::peakIndex(values);
    const bool atEdge = peak == 0 || peak == Bearing::kAxisLength - 1;
    const auto at = [&](int index) { return values[static_cast<std::size_t>(index)]; };
    Estimate estimate;
    estimate.lag = peak - kMaxLag;
    estimate.contrast = contrastOf(values, peak, floor_);
    if (atEdge) {
        return estimate;
    }
    estimate.lag += Bearing::vertexOffset(at(peak - 1), at(peak), at(peak + 1));
    estimate.claimed = estimate.contrast >= Bearing::kSourceContrast;
    const double half = halfWidth(at(peak - 1), at(peak), at(peak + 1), floor_);
    estimate.low = estimate.lag - half;
    estimate.high = estimate.lag + half;
    return estimate;
}

double GccPhat::measureNullFloor(int samples, int scenes) {
    SceneSettings settings;
    settings.samples = samples;
    const SceneGenerator generator(settings);
    GccPhat phat(0.0);
    double sum = 0.0;
    double squares = 0.0;
    for (int scene = 0; scene < scenes; ++scene) {
        const auto arrival = generator.null(kFloorSeeds + static_cast<std::uint64_t>(scene));
        for (const double value :
             phat.correlation(generator.hear(arrival, std::numeric_limits<double>::infinity()))) {
            sum += value;
            squares += value * value;
        }
    }
    const double count = static_cast<double>(scenes) * Bearing::kAxisLength;
    const double mean = sum / count;
    return std::sqrt(squares / count - mean * mean);
}

NamedEstimator gccPhatReference(int samples) {
    // Enough null scenes for the floor to within about 1 %.
    constexpr int kFloorScenes = 64;
    auto phat = std::make_shared<GccPhat>(GccPhat::measureNullFloor(samples, kFloorScenes));
    return {"GCC-PHAT", [phat](const Scene& scene) { return phat->estimate(scene); }};
}
