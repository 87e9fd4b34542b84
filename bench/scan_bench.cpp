#include "linux_port_io.h"
#include "operator_error.h"
#include "operator_message.h"
#include "parallel_port_scan.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// A port that costs nothing: receivers at rest, every line high.
class IdlePort final : public PortIo {
public:
    void PortOut(int, std::uint8_t) override {}
    std::uint8_t PortIn(int) override { return 0xFF; }
};

// Passes every call on to a port and notes the time of every read, into room
// taken before the scan starts, so that it adds no more than a clock reading
// per sample.
class TimestampingPort final : public PortIo {
public:
    explicit TimestampingPort(PortIo& port) : port_(port), reads_(kSamples) {}

    void PortOut(int address, std::uint8_t value) override { port_.PortOut(address, value); }
    void release() override { port_.release(); }
    std::uint8_t PortIn(int address) override {
        const std::uint8_t value = port_.PortIn(address);
        reads_[count_++] = Clock::now();
        return value;
    }

    void restart() { count_ = 0; }
    const std::vector<Clock::time_point>& reads() const { return reads_; }

private:
    PortIo& port_;
    std::vector<Clock::time_point> reads_;
    std::size_t count_ = 0;
};

struct Spacing {
    double meanUs;
    double stddevUs;
    double p99DeviationUs;
    double worstDeviationUs;
    double longGaps;
};

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

// Deviations are of each interval between consecutive reads from the chosen
// period, taken over all the scans' intervals together.
Spacing spacingOf(const std::vector<double>& intervalsUs, double periodUs) {
    const auto n = static_cast<double>(intervalsUs.size());
    double sum = 0.0;
    for (const double interval : intervalsUs) {
        sum += interval;
    }
    const double mean = sum / n;
    double squares = 0.0;
    std::vector<double> deviations;
    deviations.reserve(intervalsUs.size());
    for (const double interval : intervalsUs) {
        squares += (interval - mean) * (interval - mean);
        deviations.push_back(std::abs(interval - periodUs));
    }
    const auto p99 = deviations.begin() + static_cast<std::ptrdiff_t>(0.99 * (n - 1));
    std::nth_element(deviations.begin(), p99, deviations.end());
    const double worst = *std::max_element(p99, deviations.end());
    const auto longGaps =
        std::count_if(intervalsUs.begin(), intervalsUs.end(),
                      [periodUs](double interval) { return interval >= 2.0 * periodUs; });
    return {mean, std::sqrt(squares / n), *p99, worst, static_cast<double>(longGaps)};
}

void pacedScan(benchmark::State& state, PortIo& target) {
    TimestampingPort port(target);
    ParallelPortScan scan(port);
    // On this thread, which holds the port's access, with no deadline.
    struct NoDeadline final : CaptureWorker::Progress {
        void enter(OperatorError::Kind, std::chrono::milliseconds, std::function<void()>) override {
        }
    } progress;
    std::vector<double> intervalsUs;
    intervalsUs.reserve(static_cast<std::size_t>(state.max_iterations) * kSamples);
    double scanSeconds = 0.0;

    for (auto _ : state) {
        port.restart();
        const auto start = Clock::now();
        const Capture capture = scan.capture(progress);
        scanSeconds += std::chrono::duration<double>(Clock::now() - start).count();
        benchmark::DoNotOptimize(capture.samples.data());

        state.PauseTiming();
        const auto& reads = port.reads();
        for (std::size_t i = 1; i < reads.size(); ++i) {
            intervalsUs.push_back(microseconds(reads[i] - reads[i - 1]));
        }
        state.ResumeTiming();
    }

    const double periodUs = microseconds(kPortPeriod);
    const Spacing spacing = spacingOf(intervalsUs, periodUs);
    state.counters["period_us"] = spacing.meanUs;
    state.counters["stddev_us"] = spacing.stddevUs;
    state.counters["p99_dev_us"] = spacing.p99DeviationUs;
    state.counters["p99_dev_%"] = 100.0 * spacing.p99DeviationUs / periodUs;
    state.counters["worst_dev_us"] = spacing.worstDeviationUs;
    // Interruptions long enough for the scan to give up a slot.
    state.counters["long_gaps"] = spacing.longGaps;
    state.counters["scan_s"] = scanSeconds / static_cast<double>(state.iterations());
}

// The pacing loop alone.
void BM_PacedScan(benchmark::State& state) {
    IdlePort port;
    pacedScan(state, port);
}
BENCHMARK(BM_PacedScan)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// The real port, through whichever way the port layer reaches it; skipped,
// with the operator's message, where it cannot.
bool reached(benchmark::State& state, LinuxPortIo& port) {
    try {
        port.PortOut(kPortAddress, ParallelPortScan::kAllLinesHigh);
        return true;
    } catch (const OperatorError& error) {
        state.SkipWithError(operatorMessage(error).c_str());
        return false;
    }
}

void BM_PacedScanOnPort(benchmark::State& state) {
    LinuxPortIo port;
    if (reached(state, port)) {
        pacedScan(state, port);
    }
}
BENCHMARK(BM_PacedScanOnPort)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

// What one sample costs on the port: a write and a read.
void BM_PortWriteRead(benchmark::State& state) {
    LinuxPortIo port;
    if (!reached(state, port)) {
        return;
    }
    for (auto _ : state) {
        port.PortOut(kPortAddress, ParallelPortScan::kAllLinesHigh);
        benchmark::DoNotOptimize(port.PortIn(kPortAddress));
    }
}
BENCHMARK(BM_PortWriteRead)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace
