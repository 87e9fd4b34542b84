#include "moving_noise.h"

#include "instrument_constants.h"
#include "noise_source_simulator.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

// Halves round up, the same way on both sides of 0.
int rounded(double lag) {
    return static_cast<int>(std::floor(lag + 0.5));
}

} // namespace

MovingNoise::MovingNoise(const CaptureOptions::Simulation& simulation, std::uint64_t seed)
    : simulation_(simulation), sweep_(simulation.seconds * static_cast<double>(simulation.rate)),
      period_(2.0 * sweep_),
      slope_(sweep_ > 0.0 ? (simulation.lagEnd - simulation.lag) / sweep_ : 0.0), engine_(seed),
      noise_(static_cast<std::size_t>(kMaxLag)) {
    std::generate(noise_.begin(), noise_.end(), [this] { return nextNoise(); });
}

double MovingNoise::lagAtPhase(double phase) const {
    if (phase < sweep_ || sweep_ <= 0.0) {
        return simulation_.lag + slope_ * phase;
    }
    return simulation_.lagEnd - slope_ * (phase - sweep_);
}

std::uint8_t MovingNoise::nextNoise() {
    if (blockLeft_ == 0) {
        if (bitsLeft_ == 0) {
            bits_ = engine_();
            bitsLeft_ = 64;
        }
        bit_ = static_cast<std::uint8_t>(bits_ & 1U);
        bits_ >>= 1U;
        --bitsLeft_;
        blockLeft_ = NoiseSourceSimulator::kBlockLength;
    }
    --blockLeft_;
    return bit_;
}

// The phase is worked out afresh for each piece and then stepped a sample at
// a time, so that a long stream never drifts.
void MovingNoise::fill(std::span<std::uint8_t> samples) {
    const std::size_t history = static_cast<std::size_t>(kMaxLag);
    noise_.resize(history + samples.size());
    std::generate(noise_.begin() + kMaxLag, noise_.end(), [this] { return nextNoise(); });
    double phase = period_ > 0.0 ? std::fmod(static_cast<double>(position_), period_) : 0.0;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const int delay = rounded(lagAtPhase(phase));
        const std::uint8_t first = noise_[history + i];
        const std::uint8_t later = noise_[history + i - static_cast<std::size_t>(std::abs(delay))];
        samples[i] =
            static_cast<std::uint8_t>(delay < 0 ? first << 1U | later : later << 1U | first);
        phase += 1.0;
        if (period_ > 0.0 && phase >= period_) {
            phase = std::fmod(phase, period_);
        }
    }
    std::copy(noise_.end() - kMaxLag, noise_.end(), noise_.begin());
    position_ += samples.size();
}
