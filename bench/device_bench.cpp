// One scan from libsigrok's demo analyser at 50 kHz, as the window makes it:
// find the device, open it, set it up, capture 130,000 samples, close it.
// The demo paces itself in real time, so the sampling alone takes 2.6 s;
// overhead_ms is what the scan costs beyond that. BM_DemoScanSoak gives the
// resident memory over 300 scans.

#include "device_capture.h"
#include "instrument_constants.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <memory>
#include <unistd.h>

namespace {

void BM_DemoDeviceScan(benchmark::State& state) {
    constexpr std::uint64_t kRate = kPortRate;
    DeviceCapture capture({CaptureOptions::parseDeviceSpec("demo"), {}, kRate, {}});
    double seconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        CaptureWorker::run(
            [&](CaptureWorker::Progress& progress) { return capture.capture(progress); },
            capture.subject());
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    const double sampling = static_cast<double>(kSamples) / kRate;
    state.counters["overhead_ms"] =
        1000.0 * (seconds / static_cast<double>(state.iterations()) - sampling);
}
BENCHMARK(BM_DemoDeviceScan)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

long residentKilobytes() {
    long pages = 0;
    long resident = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm != nullptr) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * ::sysconf(_SC_PAGESIZE) / 1024;
}

// Many scans in one run, as a long session at the bench makes them: the
// resident memory must stay flat. A demo with many channels makes each
// device found large, so that one kept per scan would show at once.
void BM_DemoScanSoak(benchmark::State& state) {
    DeviceCapture capture(
        {CaptureOptions::parseDeviceSpec("demo:logic_channels=1000"), {}, 10'000'000, {}});
    for (int i = 0; i < 10; ++i) {
        CaptureWorker::run(
            [&](CaptureWorker::Progress& progress) { return capture.capture(progress); },
            capture.subject());
    }
    const long before = residentKilobytes();
    for (auto _ : state) {
        CaptureWorker::run(
            [&](CaptureWorker::Progress& progress) { return capture.capture(progress); },
            capture.subject());
    }
    state.counters["rss_start_kB"] = static_cast<double>(before);
    state.counters["rss_growth_kB_per_scan"] =
        static_cast<double>(residentKilobytes() - before) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DemoScanSoak)->Iterations(300)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace
