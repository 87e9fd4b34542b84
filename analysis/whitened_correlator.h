#pragma once

#include "aligned_buffer.h"
#include "bearing.h"
#include "phat_noise_floor.h"

#include <complex>
#include <cstddef>
#include <cstdint>
#include <vector>

class FftPlans;

// The two receivers' bits correlated after whitening (GCC-PHAT), which a
// coloured source's spectrum (pink, band-limited, tonal) cannot swamp as it
// does the plain count of agreements. Welch's method: blocks of a stretch
// of samples, each starting halfway into the last, Hann-tapered, their
// cross-spectra summed; then each frequency cut to its phase and the whole
// transformed back to lags. The coefficient at lag tau correlates right[i]
// with left[i + tau], as the plain analysis's axis: a source on the left,
// heard first by the left receiver, peaks at a negative lag. Identical
// streams give 1 at lag 0, and every value lies in [-1, 1].
//
// An instance holds its own arrays and may run on any one thread at a time,
// beside others on other threads.
class WhitenedCorrelator {
public:
    // 8192 rather than 4096. Over a scan, weak sources stand out as far with
    // either (within 3 %), band-limited ones 7 to 23 % further with 8192 and
    // strong ones up to 37 %; 5,000 samples make one padded block of them
    // all rather than a whole block that leaves 904 out. 4096 did better
    // for white and pink sources on stretches of 20,000 samples (5 to 14 %),
    // summing twice the blocks.
    // It costs a sixth more: BM_Whitened takes 1.03 ms against 0.88, beside
    // BM_Analysis's 0.51, and keeps up with 120 million samples a second.
    static constexpr std::size_t kBlock = 8192;

    // An even block length of at least two lag axes, so that no lag wraps
    // onto another.
    explicit WhitenedCorrelator(std::size_t block = kBlock);
    // Makes the plans of kBlock's transforms, which the first instance
    // would otherwise make: about half a second, once per process.
    static void preparePlans();

    // A contiguous stretch of both receivers' bits, 0 or 1 a sample; no
    // block spans two stretches. A stretch shorter than a block but as long
    // as a plain window's reach makes one block of its own length, zero-padded;
    // a shorter one none.
    void add(const std::uint8_t* right, const std::uint8_t* left, std::size_t samples);

    // Lags -kMaxLag..kMaxLag; all 0 before any block.
    Bearing::Axis coefficients() const;
    int blocks() const { return blocks_; }
    std::size_t samples() const { return samples_; }
    // The standard deviation of one lag's coefficient for two independent
    // streams, over the blocks added.
    double noiseFloor() const { return noiseFloor_.value(); }

private:
    void addBlock(const std::uint8_t* right, const std::uint8_t* left,
                  const std::vector<double>& taper);

    std::size_t block_;
    const FftPlans& plans_;
    std::vector<double> taper_;
    AlignedBuffer<std::complex<double>> series_;   // right + i left, tapered and padded
    AlignedBuffer<std::complex<double>> spectrum_; // its transform
    std::vector<std::complex<double>> cross_;      // summed, frequencies 0..block / 2
    PhatNoiseFloor noiseFloor_;
    int blocks_ = 0;
    std::size_t samples_ = 0;
};
