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

// Arrays of std::complex are read and written as interleaved real and
// imaginary parts, as the standard lays them out. Built for AVX2 too, the
// loops gained about 5 % of the whole: not worth choosing at run time.

// The bits as +-1, tapered: right + i left.
void taperBits(const std::uint8_t* right, const std::uint8_t* left, const double* taper,
               std::size_t length, double* series) {
    for (std::size_t n = 0; n < length; ++n) {
        series[2 * n] = (2.0 * right[n] - 1.0) * taper[n];
        series[2 * n + 1] = (2.0 * left[n] - 1.0) * taper[n];
    }
}

// Both streams came in one complex transform, parted here by the symmetry
// of real series' spectra: with Z the transform and Z' = Z at the negative
// frequency, 4 R conj(L) = 2 Im(Z Z') + i (|Z|^2 - |Z'|^2). The common
// factor 4 is no matter to the phases.
void addCrossSpectrum(const double* spectrum, std::size_t length, double* cross) {
    cross[0] += 4.0 * spectrum[0] * spectrum[1]; // frequency 0 is its own mirror
    for (std::size_t k = 1; k <= length / 2; ++k) {
        const double re = spectrum[2 * k];
        const double im = spectrum[2 * k + 1];
        const double mirrorRe = spectrum[2 * (length - k)];
        const double mirrorIm = spectrum[2 * (length - k) + 1];
        cross[2 * k] += 2.0 * (re * mirrorIm + im * mirrorRe);
        cross[2 * k + 1] += (re * re + im * im) - (mirrorRe * mirrorRe + mirrorIm * mirrorIm);
    }
}

} // namespace

WhitenedCorrelator::WhitenedCorrelator(std::size_t block)
    : block_(checkedBlock(block)), plans_(FftPlans::forLength(block_)), taper_(hann(block_)),
      series_(block_), spectrum_(block_), cross_(block_ / 2 + 1), noiseFloor_(taper_) {}

void WhitenedCorrelator::preparePlans() {
    FftPlans::forLength(kBlock);
}

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

void WhitenedCorrelator::addBlock(const std::uint8_t* right, const std::uint8_t* left,
                                  const std::vector<double>& taper) {
    auto* series = reinterpret_cast<double*>(series_.data());
    taperBits(right, left, taper.data(), taper.size(), series);
    std::fill(series + 2 * taper.size(), series + 2 * block_, 0.0);
    plans_.forward(series_.data(), spectrum_.data());
    addCrossSpectrum(reinterpret_cast<const double*>(spectrum_.data()), block_,
                     reinterpret_cast<double*>(cross_.data()));
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
