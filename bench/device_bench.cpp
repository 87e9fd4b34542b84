// One scan from libsigrok's demo analyser at 50 kHz, as the window makes it:
// find the device, open it, set it up, capture 130,000 samples, close it.
// The demo paces itself in real time, so the sampling alone takes 2.6 s;
// overhead_ms is what the scan costs beyond that.

#include "device_capture.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <memory>

namespace {

void BM_DemoDeviceScan(benchmark::State& state) {
    constexpr std::uint64_t kRate = 50'000;
    DeviceCapture capture(CaptureOptions::parseDeviceSpec("demo"), {}, kRate);
    auto store = std::make_unique<SampleStore>();
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        capture.scan(*store);
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(store->channelLeft.data());
    }
    const double sampling = static_cast<double>(CaptureSource::kSamples) / kRate;
    state.counters["overhead_ms"] =
        1000.0 * (seconds / static_cast<double>(state.iterations()) - sampling);
}
BENCHMARK(BM_DemoDeviceScan)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
