#include "instrument_constants.h"
#include "whitened_correlator.h"

#include <bit>
#include <cmath>
#include <complex>
#include <gtest/gtest.h>
#include <numbers>
#include <numeric>
#include <random>
#include <vector>

namespace {

using Bits = std::vector<std::uint8_t>;
enum class Colour { White, Pink, Band };

// Receiver noise thresholded to one bit: white; pink (Voss-McCartney, row r
// drawn anew every 2^r samples); or 2-8 kHz at 1 MHz, a band-pass biquad.
Bits noiseBits(Colour colour, std::size_t samples, std::mt19937& random) {
    std::normal_distribution<double> normal;
    std::vector<double> rows(16);
    double s[4] = {}; // the biquad's last two inputs and outputs
    const double w0 = 2 * std::numbers::pi * 4e3 / 1e6;
    const double alpha = std::sin(w0) / (2 * 4.0 / 6.0);
    Bits bits(samples);
    for (std::size_t i = 0; i < samples + 20'000; ++i) { // the filter settles first
        double x = normal(random);
        if (colour == Colour::Pink) {
            rows[static_cast<std::size_t>(std::countr_zero(i | 1u << 15))] = x;
            x = std::accumulate(rows.begin(), rows.end(), normal(random));
        } else if (colour == Colour::Band) {
            const double y =
                (alpha * (x - s[1]) + 2 * std::cos(w0) * s[2] - (1 - alpha) * s[3]) / (1 + alpha);
            s[1] = s[0], s[0] = x, s[3] = s[2], s[2] = y, x = y;
        }
        if (i >= 20'000) {
            bits[i - 20'000] = x > 0;
        }
    }
    return bits;
}

// right[i] = s[i + kMaxLag], left[i] = s[i + kMaxLag + delay], with a share
// of each receiver's bits flipped.
std::pair<Bits, Bits> delayed(const Bits& s, int delay, double flipped, std::mt19937& random) {
    std::bernoulli_distribution flip(flipped);
    Bits right(s.size() - 2 * kMaxLag), left(right.size());
    for (std::size_t i = 0; i < right.size(); ++i) {
        right[i] = s[i + kMaxLag] ^ flip(random);
        left[i] = s[static_cast<std::size_t>(static_cast<int>(i) + kMaxLag + delay)] ^ flip(random);
    }
    return {right, left};
}

// Welch-PHAT by the definitions: DFTs summed directly, and each lag's
// coefficient the mean over all frequencies of the phase times e^(-i w tau).
Bearing::Axis reference(const Bits& right, const Bits& left, std::size_t n,
                        const std::vector<std::size_t>& stretches) {
    std::vector<std::complex<double>> cross(n), turn(n);
    for (std::size_t j = 0; j < n; ++j) {
        turn[j] = std::polar(1.0, -2 * std::numbers::pi * double(j) / double(n));
    }
    const auto addBlock = [&](std::size_t start, std::size_t length) {
        std::vector<double> taper(length);
        for (std::size_t t = 0; t < length; ++t) {
            taper[t] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(t) / double(length));
        }
        for (std::size_t k = 0; k < n; ++k) {
            std::complex<double> r, l;
            for (std::size_t t = 0; t < length; ++t) {
                r += (right[start + t] ? taper[t] : -taper[t]) * turn[k * t % n];
                l += (left[start + t] ? taper[t] : -taper[t]) * turn[k * t % n];
            }
            cross[k] += r * std::conj(l);
        }
    };
    std::size_t start = 0;
    for (const std::size_t length : stretches) {
        for (std::size_t b = 0; b + n <= length; b += n / 2) {
            addBlock(start + b, n);
        }
        if (length < n && length >= kMinimumSamples) {
            addBlock(start, length);
        }
        start += length;
    }
    Bearing::Axis axis{};
    for (int tau = -kMaxLag; tau <= kMaxLag; ++tau) {
        for (std::size_t k = 0; k < n; ++k) {
            const auto phase = cross[k] / std::abs(cross[k]);
            axis[std::size_t(tau + kMaxLag)] +=
                std::real(phase * turn[k * std::size_t(tau + int(n)) % n]) / double(n);
        }
    }
    return axis;
}

// Blocks of a few lengths, whole and overlapping, short and padded, or too
// short to count, in stretches added one by one: none spans two of them.
TEST(WhitenedCorrelator, MatchesTheDirectComputation) {
    const struct {
        std::size_t block;
        std::vector<std::size_t> stretches;
        int blocks;
    } cases[] = {
        {256, {256}, 1},
        {256, {1000}, 6},
        {512, {868, 924}, 4}, // joined they would make 6
        {2048, {5000, 1400, 700, 2048}, 5},
    };
    std::mt19937 random(11);
    for (const auto& c : cases) {
        const std::size_t samples = std::accumulate(c.stretches.begin(), c.stretches.end(), 0ul);
        const auto [right, left] =
            delayed(noiseBits(Colour::Pink, samples + 2 * kMaxLag, random), 5, 0.3, random);
        WhitenedCorrelator correlator(c.block);
        for (std::size_t start = 0; const std::size_t length : c.stretches) {
            correlator.add(&right[start], &left[start], length);
            start += length;
        }
        EXPECT_EQ(correlator.blocks(), c.blocks);
        EXPECT_EQ(correlator.samples(), samples);
        const Bearing::Axis expected = reference(right, left, c.block, c.stretches);
        const Bearing::Axis axis = correlator.coefficients();
        for (std::size_t i = 0; i < axis.size(); ++i) {
            ASSERT_NEAR(axis[i], expected[i], 1e-9) << "block " << c.block << " index " << i;
        }
    }
}

// Identical streams: 1 at lag 0, to rounding; a delay on either side: the
// peak at its signed lag, a source on the left (its receiver first) negative.
TEST(WhitenedCorrelator, PeaksAtTheSignedDelay) {
    std::mt19937 random(5);
    for (const int delay : {0, 1, -1, 37, -37, kMaxLag, -kMaxLag}) {
        const auto [right, left] = delayed(noiseBits(Colour::Band, kSamples, random), delay,
                                           delay == 0 ? 0.0 : 0.2, random);
        WhitenedCorrelator correlator;
        correlator.add(right.data(), left.data(), right.size());
        const Bearing::Axis axis = correlator.coefficients();
        EXPECT_EQ(Bearing::peakIndex(axis), kMaxLag - delay) << delay;
        if (delay == 0) {
            EXPECT_NEAR(axis[kMaxLag], 1.0, 1e-12);
        }
    }
}

// Independent streams of any colour: the spread over every lag and seeded
// trial within 10 % of the noise floor, for a scan, 5,000 samples (a short
// block when blocks are longer), and one whole block.
TEST(WhitenedCorrelator, NoiseFloorIsTheSpreadOfIndependentStreams) {
    std::mt19937 random(2024);
    for (const Colour colour : {Colour::White, Colour::Pink, Colour::Band}) {
        for (const std::size_t samples :
             {std::size_t{kSamples}, 5'000ul, WhitenedCorrelator::kBlock}) {
            double squares = 0.0, floor = 0.0;
            for (int trial = 0; trial < 20; ++trial) {
                const Bits right = noiseBits(colour, samples, random);
                const Bits left = noiseBits(colour, samples, random);
                WhitenedCorrelator correlator;
                correlator.add(right.data(), left.data(), samples);
                const Bearing::Axis axis = correlator.coefficients();
                squares += std::inner_product(axis.begin(), axis.end(), axis.begin(), 0.0);
                floor = correlator.noiseFloor();
            }
            const double spread = std::sqrt(squares / (20 * Bearing::kAxisLength));
            EXPECT_NEAR(spread / floor, 1.0, 0.1) << int(colour) << " " << samples;
        }
    }
}

} // namespace
