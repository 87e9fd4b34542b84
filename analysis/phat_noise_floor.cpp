#include "phat_noise_floor.h"

#include "aligned_buffer.h"
#include "fft_plans.h"
#include "instrument_constants.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace {

// Bins whose correlation is below this add less than length * kNegligible
// to a variance near 1.5, and the tapers' spectra fall so fast that they
// are most of the bins.
constexpr double kNegligible = 1e-12;

// How far the phases of two circular complex Gaussians that correlate by
// rho agree: (pi / 4) rho 2F1(1/2, 1/2; 2; rho^2), through the complete
// elliptic integrals, or its series where they would cancel.
double phaseAgreement(double rho) {
    if (rho >= 1.0) {
        return 1.0;
    }
    const double rho2 = rho * rho;
    if (rho < 0.01) {
        return std::numbers::pi / 4 * rho * (1.0 + rho2 / 8 + 3 * rho2 * rho2 / 64);
    }
    return (std::comp_ellint_2(rho) - (1.0 - rho2) * std::comp_ellint_1(rho)) / rho;
}

// The mean of cos(2 pi j m / length) over the lags m = -kMaxLag..kMaxLag.
double lagMean(std::size_t j, std::size_t length) {
    if (j == 0) {
        return 1.0;
    }
    constexpr double lags = 2 * kMaxLag + 1;
    const double x = std::numbers::pi * static_cast<double>(j) / static_cast<double>(length);
    return std::sin(lags * x) / (lags * std::sin(x));
}

} // namespace

PhatNoiseFloor::PhatNoiseFloor(std::span<const double> taper)
    : length_(taper.size()), wholePower_(power(taper, taper)),
      overlapPower_(power(taper.first(length_ / 2), taper.last(length_ / 2))),
      shortPower_(length_) {}

std::vector<double> PhatNoiseFloor::power(std::span<const double> first,
                                          std::span<const double> second) const {
    AlignedBuffer<std::complex<double>> series(length_);
    AlignedBuffer<std::complex<double>> spectrum(length_);
    for (std::size_t n = 0; n < first.size(); ++n) {
        series[n] = first[n] * second[n];
    }
    FftPlans::forLength(length_).forward(series.data(), spectrum.data());
    std::vector<double> result(length_);
    for (std::size_t j = 0; j < length_; ++j) {
        result[j] = std::norm(spectrum[j]);
    }
    return result;
}

void PhatNoiseFloor::addRun(int blocks) {
    wholeBlocks_ += blocks;
    overlaps_ += blocks - 1;
    blocks_ += blocks;
}

void PhatNoiseFloor::addShort(std::span<const double> taper) {
    const std::vector<double> added = power(taper, taper);
    for (std::size_t j = 0; j < length_; ++j) {
        shortPower_[j] += added[j];
    }
    ++blocks_;
}

double PhatNoiseFloor::value() const {
    if (blocks_ == 0) {
        return 0.0;
    }
    const auto correlation = [this](std::size_t j) {
        return wholeBlocks_ * wholePower_[j] + 2.0 * overlaps_ * overlapPower_[j] + shortPower_[j];
    };
    const double atZero = correlation(0);
    double variance = 0.0;
    for (std::size_t j = 0; j < length_; ++j) {
        const double g = correlation(j) / atZero;
        if (g < kNegligible) {
            continue;
        }
        const double agreement =
            blocks_ == 1 ? std::pow(phaseAgreement(std::sqrt(g)), 2) : phaseAgreement(g);
        variance += agreement * lagMean(j, length_);
    }
    return std::sqrt(variance / static_cast<double>(length_));
}
