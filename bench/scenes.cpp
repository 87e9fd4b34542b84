#include "scenes.h"

#include "real_fft.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <numbers>
#include <random>

namespace {

using Bins = std::vector<std::complex<double>>;

// Each part of a scene draws from a stream of its own, so that changing one
// part's settings leaves the others' draws as they were.
enum class Stream : std::uint32_t { Lag, Source, OtherSource, LeftTail, RightTail, Noise };

std::mt19937_64 engine(std::uint64_t seed, Stream stream) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(stream)};
    return std::mt19937_64(sequence);
}

// Below this, pink noise is flat, so that its power stays finite.
constexpr double kPinkCorner = 10.0;

// The source's period: the samples kept, the largest delay either way and,
// in a room, the whole tail, as a power of two.
int periodOf(const SceneSettings& settings) {
    double needed = settings.samples + settings.largestLag + 2.0;
    if (settings.room == Room::Reverberant) {
        needed += settings.rt60 * settings.rate;
    }
    return static_cast<int>(std::bit_ceil(static_cast<unsigned>(std::ceil(needed))));
}

// The spectrum's amplitude at a frequency, against white noise of unit power.
double shapeAt(const SceneSettings& settings, double frequency) {
    switch (settings.spectrum) {
    case Spectrum::White:
        return 1.0;
    case Spectrum::Pink:
        return std::sqrt(kPinkCorner / std::max(frequency, kPinkCorner));
    case Spectrum::Band:
        return frequency >= settings.bandLow && frequency <= settings.bandHigh ? 1.0 : 0.0;
    case Spectrum::Tone:
        return std::pow(10.0, settings.toneNoiseDb / 20.0);
    }
    return 0.0;
}

// One period of the source, as its bins; DC and Nyquist left empty so that
// any delay keeps the signal real.
Bins sourceBins(const SceneSettings& settings, int period, std::mt19937_64& random) {
    const int bins = period / 2 + 1;
    Bins spectrum(static_cast<std::size_t>(bins));
    std::normal_distribution<double> normal;
    // A bin of white noise of unit power holds period / 2 in each part.
    const double scale = std::sqrt(period / 2.0);
    for (int k = 1; k < bins - 1; ++k) {
        const double gain = scale * shapeAt(settings, k * settings.rate / period);
        const double real = normal(random);
        spectrum[static_cast<std::size_t>(k)] = gain * std::complex<double>(real, normal(random));
    }
    if (settings.spectrum == Spectrum::Tone) {
        const auto bin = std::clamp(
            static_cast<int>(std::lround(settings.tone * period / settings.rate)), 1, bins - 2);
        std::uniform_real_distribution<double> phase(0.0, 2.0 * std::numbers::pi);
        // Amplitude sqrt(2): a tone of unit power.
        spectrum[static_cast<std::size_t>(bin)] +=
            std::polar(std::numbers::sqrt2 * period / 2.0, phase(random));
    }
    return spectrum;
}

Bins delayed(const Bins& spectrum, double delay, int period) {
    Bins shifted(spectrum.size());
    const double step = -2.0 * std::numbers::pi * delay / period;
    for (std::size_t k = 0; k < spectrum.size(); ++k) {
        shifted[k] = spectrum[k] * std::polar(1.0, step * static_cast<double>(k));
    }
    return shifted;
}

// A receiver's reflections, on whole samples after its direct path at delay.
std::vector<double> tailOf(const SceneSettings& settings, double delay, int period,
                           std::mt19937_64& random) {
    std::vector<double> tail(static_cast<std::size_t>(period));
    std::poisson_distribution<long> count(settings.reflectionsPerSecond *
                                          (settings.rt60 - settings.firstReflection));
    std::uniform_real_distribution<double> time(settings.firstReflection, settings.rt60);
    std::bernoulli_distribution negative;
    for (long reflection = count(random); reflection > 0; --reflection) {
        const double at = time(random);
        const double amplitude = std::pow(10.0, -3.0 * at / settings.rt60);
        const long sample = std::lround(delay + at * settings.rate);
        const auto index = static_cast<std::size_t>(((sample % period) + period) % period);
        tail[index] += negative(random) ? -amplitude : amplitude;
    }
    double energy = 0.0;
    for (const double value : tail) {
        energy += value * value;
    }
    if (energy > 0.0) {
        const double gain =
            std::sqrt(std::pow(10.0, -settings.directToReverberantDb / 10.0) / energy);
        std::transform(tail.begin(), tail.end(), tail.begin(),
                       [gain](double value) { return value * gain; });
    }
    return tail;
}

std::vector<double> firstSamples(RealFft& fft, const Bins& spectrum, int samples) {
    const auto& signal = fft.inverse(spectrum);
    return {signal.begin(), signal.begin() + samples};
}

// What one receiver hears of the source, before its own noise.
std::vector<double> heardAt(const SceneSettings& settings, RealFft& fft, const Bins& source,
                            double delay, Stream tailStream, std::uint64_t seed) {
    Bins spectrum = delayed(source, delay, fft.size());
    if (settings.room == Room::Reverberant) {
        auto random = engine(seed, tailStream);
        const Bins& tail = fft.forward(tailOf(settings, delay, fft.size(), random));
        for (std::size_t k = 0; k < spectrum.size(); ++k) {
            spectrum[k] += source[k] * tail[k];
        }
    }
    return firstSamples(fft, spectrum, settings.samples);
}

std::vector<double> unitNoise(int samples, std::mt19937_64& random) {
    std::vector<double> noise(static_cast<std::size_t>(samples));
    std::normal_distribution<double> normal;
    std::generate(noise.begin(), noise.end(), [&] { return normal(random); });
    return noise;
}

void addNoise(std::vector<double>& signal, const std::vector<double>& noise, double snrDb) {
    double power = 0.0;
    for (const double value : signal) {
        power += value * value;
    }
    power /= static_cast<double>(signal.size());
    const double gain = std::sqrt(power / std::pow(10.0, snrDb / 10.0));
    for (std::size_t i = 0; i < signal.size(); ++i) {
        signal[i] += gain * noise[i];
    }
}

std::vector<std::uint8_t> bitsOf(const std::vector<double>& signal) {
    std::vector<std::uint8_t> bits(signal.size());
    std::transform(signal.begin(), signal.end(), bits.begin(),
                   [](double value) { return static_cast<std::uint8_t>(value > 0.0); });
    return bits;
}

} // namespace

SceneGenerator::SceneGenerator(const SceneSettings& settings) : settings_(settings) {}

Arrival SceneGenerator::source(std::uint64_t seed) const {
    auto lagRandom = engine(seed, Stream::Lag);
    const double lag = std::uniform_real_distribution<double>(-settings_.largestLag,
                                                              settings_.largestLag)(lagRandom);
    RealFft fft(periodOf(settings_));
    auto sourceRandom = engine(seed, Stream::Source);
    const Bins source = sourceBins(settings_, fft.size(), sourceRandom);
    auto noiseRandom = engine(seed, Stream::Noise);
    Arrival arrival;
    arrival.lag = lag;
    arrival.left = heardAt(settings_, fft, source, lag / 2.0, Stream::LeftTail, seed);
    arrival.right = heardAt(settings_, fft, source, -lag / 2.0, Stream::RightTail, seed);
    arrival.leftNoise = unitNoise(settings_.samples, noiseRandom);
    arrival.rightNoise = unitNoise(settings_.samples, noiseRandom);
    return arrival;
}

Arrival SceneGenerator::null(std::uint64_t seed) const {
    SceneSettings open = settings_;
    open.room = Room::Free;
    RealFft fft(periodOf(open));
    auto leftRandom = engine(seed, Stream::Source);
    auto rightRandom = engine(seed, Stream::OtherSource);
    auto noiseRandom = engine(seed, Stream::Noise);
    Arrival arrival;
    arrival.left = firstSamples(fft, sourceBins(open, fft.size(), leftRandom), open.samples);
    arrival.right = firstSamples(fft, sourceBins(open, fft.size(), rightRandom), open.samples);
    arrival.leftNoise = unitNoise(open.samples, noiseRandom);
    arrival.rightNoise = unitNoise(open.samples, noiseRandom);
    return arrival;
}

Scene SceneGenerator::hear(const Arrival& arrival, double snrDb) const {
    Scene scene{settings_.rate, arrival.lag, arrival.left, arrival.right, {}, {}};
    if (std::isfinite(snrDb)) {
        addNoise(scene.left, arrival.leftNoise, snrDb);
        addNoise(scene.right, arrival.rightNoise, snrDb);
    }
    scene.leftBits = bitsOf(scene.left);
    scene.rightBits = bitsOf(scene.right);
    return scene;
}
