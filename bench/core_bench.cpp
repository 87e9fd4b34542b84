#include "noise_source_simulator.h"
#include "sector_correlator.h"
#include "twister_random.h"

#include <benchmark/benchmark.h>
#include <memory>

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
