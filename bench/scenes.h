#pragma once

#include "instrument_constants.h"

#include <cstdint>
#include <optional>
#include <vector>

// Simulated scenes for judging lag estimators: a noise source heard by two
// receivers, in the open or in a reverberant room, each receiver with noise
// of its own; or, with no common source, two unrelated ones.
//
// The model. The source is stationary Gaussian noise (or a tone), made in
// the frequency domain as one period of a periodic signal, long enough that
// the period never shows in the samples kept; a delay, fractional too, is a
// phase shift there, and so is exact. Each receiver hears the source through
// its own impulse response:
// - free field: the direct path alone, delayed by the receiver's delay;
// - room: the direct path (amplitude 1) plus a tail of reflections, a
//   Poisson train of constant density from firstReflection after the direct
//   path, each of random sign, with amplitudes falling 60 dB in rt60 and
//   ending there, scaled so that direct over tail energy is
//   directToReverberantDb. The two tails are drawn independently, so only
//   the direct paths are common. Reflections fall on whole samples. As the
//   source is periodic, the circular convolution is the steady state of a
//   source that has played for ever.
// Then each receiver adds white Gaussian noise at the chosen SNR: the power
// of what it hears over the power of that noise.
enum class Spectrum {
    White,
    Pink, // power falling as 1/f, flat below 10 Hz
    Band, // flat between bandLow and bandHigh, nothing outside
    Tone, // a sine of random phase, with white noise of its own
};

enum class Room { Free, Reverberant };

struct SceneSettings {
    Spectrum spectrum = Spectrum::White;
    Room room = Room::Free;
    double rate = 1e6; // samples per second
    int samples = kSamples;
    double bandLow = 2'000.0; // Hz
    double bandHigh = 8'000.0;
    double tone = 3'000.0;      // Hz, moved to the nearest whole period in the source's length
    double toneNoiseDb = -20.0; // the tone's own white noise, relative to the tone
    double rt60 = 0.3;          // seconds
    double directToReverberantDb = 0.0;
    double reflectionsPerSecond = 50'000.0;
    double firstReflection = 0.002; // seconds after the direct path
    double largestLag = 100.0;      // the true lag is drawn from +-this, in samples
};

// What reaches the two receivers, and their own noise at unit power, kept
// apart so that one scene can be heard at every SNR.
struct Arrival {
    std::optional<double> lag; // nothing when there is no common source
    std::vector<double> left;
    std::vector<double> right;
    std::vector<double> leftNoise;
    std::vector<double> rightNoise;
};

struct Scene {
    double rate = 0.0;
    // Samples, the left receiver's delay minus the right's: negative when the
    // left one hears the source first. Nothing for a null scene.
    std::optional<double> lag;
    std::vector<double> left;
    std::vector<double> right;
    // 1 where the signal is above 0; index 0 is the first sample.
    std::vector<std::uint8_t> leftBits;
    std::vector<std::uint8_t> rightBits;
};

// Every scene follows from its settings and its seed alone.
class SceneGenerator {
public:
    explicit SceneGenerator(const SceneSettings& settings);

    const SceneSettings& settings() const { return settings_; }
    // One source, its lag drawn from the seed.
    Arrival source(std::uint64_t seed) const;
    // Two independent sources of the same spectrum, one per receiver, in
    // the free field.
    Arrival null(std::uint64_t seed) const;
    // With each receiver's noise at snrDb; none at all when it is infinite.
    Scene hear(const Arrival& arrival, double snrDb) const;

private:
    SceneSettings settings_;
};
