#include "bearing.h"
#include "correlation_noise.h"
#include "noise_source_simulator.h"
#include "sector_correlator.h"
#include "twister_random.h"
#include "whitened_correlator.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <memory>
#include <random>
#include <vector>

namespace {

void BM_Analysis(benchmark::State& state) {
    TwisterRandom random;
    auto store = std::make_unique<SampleStore>();
    NoiseSourceSimulator(random).simulate(*store, Side::Left, 60);
    double sink = 0.0;
    for (auto _ : state) {
        SectorCorrelator::analyse(*store, [&](Side, int, double value) { sink += value; });
        benchmark::DoNotOptimize(sink);
    }
    state.counters["steps/s"] = benchmark::Counter(2.0 * (kMaxLag + 1) * kWindow,
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Analysis)->Unit(benchmark::kMicrosecond);

// The mean over all 108 windows of a scan; compare with BM_Analysis, which
// computes the first window alone.
void BM_IntegratedAnalysis(benchmark::State& state) {
    std::mt19937 random(3);
    std::bernoulli_distribution bit;
    std::vector<std::uint8_t> right(kSamples + 1);
    std::vector<std::uint8_t> left(kSamples + 1);
    for (std::size_t i = 1; i <= kSamples; ++i) {
        right[i] = static_cast<std::uint8_t>(bit(random));
        left[i] = static_cast<std::uint8_t>(bit(random));
    }
    auto store = std::make_unique<SampleStore>();
    for (auto _ : state) {
        SectorCorrelator::integrate(right, left, kSamples, store->correlationLeft,
                                    store->correlationRight);
        benchmark::DoNotOptimize(store->correlationLeft.data());
    }
    state.counters["windows/s"] = benchmark::Counter(SectorCorrelator::windowsIn(kSamples),
                                                     benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_IntegratedAnalysis)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The whitened correlation of a scan's 130,000 samples, from a new
// correlator to its coefficients and noise floor; compare with BM_Analysis.
// A scan's worth of two independent receivers' bits.
struct Bits {
    std::vector<std::uint8_t> right = std::vector<std::uint8_t>(kSamples);
    std::vector<std::uint8_t> left = std::vector<std::uint8_t>(kSamples);
    explicit Bits(unsigned seed) {
        std::mt19937 random(seed);
        std::bernoulli_distribution bit;
        for (std::size_t i = 0; i < right.size(); ++i) {
            right[i] = static_cast<std::uint8_t>(bit(random));
            left[i] = static_cast<std::uint8_t>(bit(random));
        }
    }
};

void BM_Whitened(benchmark::State& state) {
    const auto [right, left] = Bits(3);
    WhitenedCorrelator{}; // the plans are made once per process, not timed
    for (auto _ : state) {
        WhitenedCorrelator correlator;
        correlator.add(right.data(), left.data(), right.size());
        benchmark::DoNotOptimize(correlator.coefficients());
        benchmark::DoNotOptimize(correlator.noiseFloor());
    }
    state.counters["samples/s"] =
        benchmark::Counter(kSamples, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Whitened)->Unit(benchmark::kMicrosecond);

// The noise floor every plain analysis and the peak-width check of the
// whitened one take from the receivers' bits.
void BM_CorrelationNoise(benchmark::State& state) {
    const auto [right, left] = Bits(5);
    CorrelationNoise::of(right.data(), left.data(), right.size(), 1); // plans made once
    for (auto _ : state) {
        benchmark::DoNotOptimize(CorrelationNoise::of(right.data(), left.data(), right.size(), 1));
    }
}
BENCHMARK(BM_CorrelationNoise)->Unit(benchmark::kMicrosecond);

void BM_Simulation(benchmark::State& state) {
    TwisterRandom random;
    NoiseSourceSimulator simulator(random);
    auto store = std::make_unique<SampleStore>();
    for (auto _ : state) {
        simulator.simulate(*store, Side::Right, 60);
        benchmark::DoNotOptimize(store->channelRight.data());
    }
}
BENCHMARK(BM_Simulation)->Unit(benchmark::kMicrosecond);

} // namespace

namespace {

// Two receivers hearing unrelated noise, each in blocks of equal bits as
// the simulator makes it: any source claimed is a false one. Reports the
// share of 10,000 seeded analyses that claim one, and the largest contrast.
void BM_FalseClaims(benchmark::State& state) {
    constexpr int kAnalyses = 10'000;
    int claims = 0;
    double largest = 0.0;
    std::vector<double> contrasts;
    for (auto _ : state) {
        std::mt19937 random(12345);
        std::bernoulli_distribution bit;
        claims = 0;
        largest = 0.0;
        auto store = std::make_unique<SampleStore>();
        for (int run = 0; run < kAnalyses; ++run) {
            for (auto* channel : {&store->channelLeft, &store->channelRight}) {
                for (int i = 0; i <= kMinimumSamples; i += NoiseSourceSimulator::kBlockLength) {
                    const auto value = static_cast<std::uint8_t>(bit(random));
                    for (int j = i; j < i + NoiseSourceSimulator::kBlockLength; ++j) {
                        (*channel)[static_cast<std::size_t>(j)] = value;
                    }
                }
            }
            SectorCorrelator::analyse(*store, [](Side, int, double) {});
            const auto result = Bearing::assess(
                Bearing::signedAxis(store->correlationLeft, store->correlationRight), kPortRate, {},
                CorrelationNoise::of(&store->channelRight[1], &store->channelLeft[1],
                                     kMinimumSamples, 1),
                {}, {});
            largest = std::max(largest, result.contrast);
            contrasts.push_back(result.contrast);
            claims += result.verdict != Bearing::Verdict::None;
        }
    }
    state.counters["false_claims_per_1000"] = 1000.0 * claims / kAnalyses;
    state.counters["largest_contrast"] = largest;
    std::sort(contrasts.begin(), contrasts.end());
    state.counters["contrast_p999"] = contrasts[contrasts.size() * 999 / 1000];
}
BENCHMARK(BM_FalseClaims)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
