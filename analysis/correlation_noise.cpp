#include "correlation_noise.h"

#include "sector_correlator.h"

#include <algorithm>
#include <cmath>
#include <fftw3.h>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace CorrelationNoise {

namespace {

// Products of samples this far apart share a window or lie in neighbouring
// ones; further apart they are left out.
constexpr int kSpan = 2 * kWindow;
// The autocorrelations are needed this far, for lags kSpan apart and the
// lag range between them.
constexpr int kReach = kSpan + 2 * kMaxLag;
// A receiver's bits stay alike over lags where their autocorrelation is
// above this.
constexpr double kAlike = 0.5;

struct Transform {
    static constexpr int kLength = 32'768;
    static_assert(kLength >= static_cast<int>(kSamplesRead) + kReach,
                  "the autocorrelation must not wrap round");
    fftw_plan forward;
    fftw_plan backward;
};

// Plans are made once: FFTW's planner must not run on two threads at once;
// running a plan on new arrays may.
const Transform& transform() {
    static const Transform made = [] {
        const auto real = fftw_alloc_real(Transform::kLength);
        const auto spectrum = fftw_alloc_complex(Transform::kLength / 2 + 1);
        Transform t{fftw_plan_dft_r2c_1d(Transform::kLength, real, spectrum, FFTW_ESTIMATE),
                    fftw_plan_dft_c2r_1d(Transform::kLength, spectrum, real, FFTW_ESTIMATE)};
        fftw_free(real);
        fftw_free(spectrum);
        return t;
    }();
    return made;
}

struct FftwFree {
    void operator()(void* memory) const { fftw_free(memory); }
};

// The autocorrelation of the bits as +-1 at lags 0..kReach, each the mean of
// the products that lag apart, and the bits' mean.
struct Autocorrelation {
    std::vector<double> lags;
    double mean = 0.0;
};

Autocorrelation autocorrelation(const std::uint8_t* bits, std::size_t samples) {
    const Transform& plans = transform();
    // Each thread keeps its arrays: made anew, their pages cost more than
    // the transforms.
    thread_local const std::unique_ptr<double[], FftwFree> real(
        fftw_alloc_real(Transform::kLength));
    thread_local const std::unique_ptr<fftw_complex[], FftwFree> spectrum(
        fftw_alloc_complex(Transform::kLength / 2 + 1));
    Autocorrelation result;
    std::fill_n(real.get(), Transform::kLength, 0.0);
    for (std::size_t i = 0; i < samples; ++i) {
        real[i] = bits[i] != 0 ? 1.0 : -1.0;
        result.mean += real[i];
    }
    result.mean /= static_cast<double>(samples);
    fftw_execute_dft_r2c(plans.forward, real.get(), spectrum.get());
    for (int k = 0; k <= Transform::kLength / 2; ++k) {
        auto& bin = spectrum[k];
        bin[0] = bin[0] * bin[0] + bin[1] * bin[1];
        bin[1] = 0.0;
    }
    fftw_execute_dft_c2r(plans.backward, spectrum.get(), real.get());
    // Lags further than half the samples rest on too few products.
    const int reach = std::min(kReach, static_cast<int>(samples / 2));
    result.lags.assign(kReach + 1, 0.0);
    for (int m = 0; m <= reach; ++m) {
        result.lags[static_cast<std::size_t>(m)] =
            real[m] / Transform::kLength /
            static_cast<double>(samples - static_cast<std::size_t>(m));
    }
    return result;
}

// The weights of one window's samples, the newest 1.
const std::vector<double>& windowWeights() {
    static const std::vector<double> weights = [] {
        std::vector<double> w(kWindow);
        double weight = 1.0;
        for (int i = kWindow - 1; i >= 0; --i) {
            w[static_cast<std::size_t>(i)] = weight;
            weight *= SectorCorrelator::kDecay;
        }
        return w;
    }();
    return weights;
}

// Sums of the products of the weights of one window's samples shift apart,
// shift = -kWindow..kWindow.
const std::vector<double>& shiftedWeights() {
    static const std::vector<double> sums = [] {
        const auto& w = windowWeights();
        std::vector<double> s(2 * kWindow + 1, 0.0);
        for (int shift = -kWindow; shift <= kWindow; ++shift) {
            for (int i = std::max(0, -shift); i < kWindow && i + shift < kWindow; ++i) {
                s[static_cast<std::size_t>(shift + kWindow)] +=
                    w[static_cast<std::size_t>(i)] * w[static_cast<std::size_t>(i + shift)];
            }
        }
        return s;
    }();
    return sums;
}

// Sums of the products of the weights of samples m apart, m = 0..kSpan,
// over windows contiguous windows, divided by windows squared: the mean's
// weights.
std::vector<double> pairWeights(int windows) {
    const auto& shifted = shiftedWeights();
    std::vector<double> pairs(kSpan + 1, 0.0);
    for (int m = 0; m <= kSpan; ++m) {
        double sum = 0.0;
        for (int apart = 0; apart < windows; ++apart) {
            const int shift = m - apart * kWindow; // from a window's sample to the other's
            if (shift < -kWindow) {
                break;
            }
            if (shift <= kWindow) {
                sum += (windows - apart) * shifted[static_cast<std::size_t>(shift + kWindow)];
            }
        }
        pairs[static_cast<std::size_t>(m)] = sum / (static_cast<double>(windows) * windows);
    }
    return pairs;
}

// sum over d of (kAxisLength - |d|) * values(m + d), for m = -kSpan..kSpan:
// a box of the axis's length run twice over values(j), j = -kReach..kReach.
std::vector<double> triangleSums(const std::function<double(int)>& values) {
    constexpr int n = Bearing::kAxisLength;
    std::vector<double> prefix(2 * kReach + 2, 0.0);
    for (int j = -kReach; j <= kReach; ++j) {
        prefix[static_cast<std::size_t>(j + kReach + 1)] =
            prefix[static_cast<std::size_t>(j + kReach)] + values(j);
    }
    const auto sum = [&](int from, int to) { // values(from..to)
        return prefix[static_cast<std::size_t>(to + kReach + 1)] -
               prefix[static_cast<std::size_t>(from + kReach)];
    };
    std::vector<double> boxPrefix(2 * kSpan + 2 * n + 1, 0.0);
    const int first = -kSpan - (n - 1);
    for (int j = first; j <= kSpan; ++j) {
        boxPrefix[static_cast<std::size_t>(j - first + 1)] =
            boxPrefix[static_cast<std::size_t>(j - first)] + sum(j, j + n - 1);
    }
    std::vector<double> triangle(2 * kSpan + 1);
    for (int m = -kSpan; m <= kSpan; ++m) {
        // boxes starting at m - (n - 1) .. m
        triangle[static_cast<std::size_t>(m + kSpan)] =
            boxPrefix[static_cast<std::size_t>(m - first + 1)] -
            boxPrefix[static_cast<std::size_t>(m - (n - 1) - first)];
    }
    return triangle;
}

// Lags over which the bits stay alike, beyond the lag range; or nothing.
std::optional<double> alikeWidth(const Autocorrelation& bits) {
    const double square = bits.mean * bits.mean;
    if (square >= 1.0) {
        return std::nullopt;
    }
    for (int m = 1; m <= kReach; ++m) {
        if ((bits.lags[static_cast<std::size_t>(m)] - square) / (1.0 - square) < kAlike) {
            return m > kMaxLag ? std::optional<double>(m) : std::nullopt;
        }
    }
    return kReach;
}

} // namespace

Bearing::Noise of(const std::uint8_t* right, const std::uint8_t* left, std::size_t samples,
                  int windows) {
    const std::size_t read = std::min(samples, kSamplesRead);
    const Autocorrelation x = autocorrelation(right, read);
    const Autocorrelation y = autocorrelation(left, read);
    const std::vector<double> pairs = pairWeights(windows);
    const double means = x.mean * x.mean * y.mean * y.mean;
    const auto rx = [&](int m) { return x.lags[static_cast<std::size_t>(std::abs(m))]; };
    const auto ry = [&](int m) { return y.lags[static_cast<std::size_t>(std::abs(m))]; };
    // A quarter of the paired weights times the covariance of the products
    // they weigh: of one lag with itself, and of every two lags, the mean
    // over the axis's pairs of lags.
    const std::vector<double> triangle = triangleSums(ry);
    constexpr double pairsOfLags = double{Bearing::kAxisLength} * Bearing::kAxisLength;
    double variance = 0.0;
    double shared = 0.0;
    for (int m = -kSpan; m <= kSpan; ++m) {
        const double weight = pairs[static_cast<std::size_t>(std::abs(m))];
        variance += weight * (rx(m) * ry(m) - means);
        shared +=
            weight * (rx(m) * triangle[static_cast<std::size_t>(m + kSpan)] / pairsOfLags - means);
    }
    variance *= 0.25;
    shared *= 0.25;
    const double white = Bearing::noiseFloor(windows);
    Bearing::Noise noise;
    noise.floor = std::max(std::sqrt(std::max(variance - shared, 0.0)), 0.5 * white);
    const auto wide = [](std::optional<double> a, std::optional<double> b) {
        return a && b ? std::optional(std::min(*a, *b)) : std::nullopt;
    };
    noise.width = wide(alikeWidth(x), alikeWidth(y));
    return noise;
}

} // namespace CorrelationNoise
