#include "whitened_correlator.h"

#include "fft_plans.h"
#include "instrument_constants.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace {

// Hann over length samples, periodic: over a whole block its spectrum has
// three lines, so a frequency spreads to its two neighbours only.
std::vector<double> hann(std::size_t length) {
    std::vector<double> taper(length);
    for (std::size_t n = 0; n < length; ++n) {
        taper[n] = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * static_cast<double>(n) /
                                        static_cast<double>(length));
    }
    return taper;
}

std::size_t checkedBlock(std::size_t block) {
    if (block % 2 != 0 || block < 2 * kMaxLag + 2) {
        throw std::invalid_argument("whitened correlator: bad block length");
    }
    return block;
}

} // namespace

WhitenedCorrelator::WhitenedCorrelator(std::size_t block)
    : block_(checkedBlock(block)), plans_(FftPlans::forLength(block_)), taper_(hann(block_)),
      series_(block_), spectrum_(block_), cross_(block_ / 2 + 1), noiseFloor_(taper_) {}

void WhitenedCorrelator::add(const std::uint8_t* right, const std::uint8_t* left,
                             std::size_t samples) {
    samples_ += samples;
    if (samples >= block_) {
        const std::size_t hop = block_ / 2;
        const auto blocks = static_cast<int>((samples - block_) / hop + 1);
        for (int b = 0; b < blocks; ++b) {
            const auto start = static_cast<std::size_t>(b) * hop;
            addBlock(right + start, left + start, taper_);
        }
        noiseFloor_.addRun(blocks);
        blocks_ += blocks;
    } else if (samples >= static_cast<std::size_t>(kMinimumSamples)) {
        const std::vector<double> taper = hann(samples);
        addBlock(right, left, taper);
        noiseFloor_.addShort(taper);
        ++blocks_;
    }
}

// Both streams in one complex transform, right + i left, then parted by the
// symmetry of real series' spectra: with Z the transform and Z' = Z at the
// negative frequency, R conj(L) = Im(Z Z') / 2 + i (|Z|^2 - |Z'|^2) / 4.
void WhitenedCorrelator::addBlock(const std::uint8_t* right, const std::uint8_t* left,
                                  const std::vector<double>& taper) {
    const std::size_t length = taper.size();
    for (std::size_t n = 0; n < length; ++n) {
        series_[n] = {(2.0 * right[n] - 1.0) * taper[n], (2.0 * left[n] - 1.0) * taper[n]};
    }
    std::fill(series_.data() + length, series_.data() + block_, std::complex<double>{});
    plans_.forward(series_.data(), spectrum_.data());
    for (std::size_t k = 0; k <= block_ / 2; ++k) {
        const std::complex<double> z = spectrum_[k];
        const std::complex<double> mirror = spectrum_[(block_ - k) % block_];
        const double imagOfProduct = z.real() * mirror.imag() + z.imag() * mirror.real();
        cross_[k] +=
            std::complex<double>(imagOfProduct / 2.0, (std::norm(z) - std::norm(mirror)) / 4.0);
    }
}

Bearing::Axis WhitenedCorrelator::coefficients() const {
    AlignedBuffer<std::complex<double>> phases(block_ / 2 + 1);
    AlignedBuffer<double> lags(block_);
    // Each frequency that holds anything counts once, or twice with its
    // negative twin: the mean of the phasors is 1 at most.
    double frequencies = 0.0;
    for (std::size_t k = 0; k <= block_ / 2; ++k) {
        const double magnitude = std::sqrt(std::norm(cross_[k]));
        if (magnitude > 0.0) {
            phases[k] = cross_[k] / magnitude;
            frequencies += k == 0 || k == block_ / 2 ? 1.0 : 2.0;
        }
    }
    Bearing::Axis axis{};
    if (frequencies == 0.0) {
        return axis;
    }
    plans_.inverse(phases.data(), lags.data());
    // The transform of R conj(L) holds at index m the sum of right[i + m]
    // left[i], which is lag -m.
    for (int tau = -kMaxLag; tau <= kMaxLag; ++tau) {
        const auto index = static_cast<std::size_t>(static_cast<int>(block_) - tau) % block_;
        axis[static_cast<std::size_t>(tau + kMaxLag)] =
            std::clamp(lags[index] / frequencies, -1.0, 1.0);
    }
    return axis;
}
