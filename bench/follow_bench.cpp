// Continuous scanning of libsigrok's demo analyser through a session for a
// fixed time, at the fastest common analysers' rate and at 1 MHz, the rows
// recorded to a file and taken by a thread as the window's would be: windows
// analysed a second, samples dropped, how long after its last sample came
// each row was taken, and the CPU time of each thread.

#include "device_capture.h"
#include "result_csv.h"
#include "session.h"
#include "session_files.h"
#include "whitened_correlator.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Each thread's CPU seconds by name, from /proc.
std::map<std::string, double> threadSeconds() {
    std::map<std::string, double> seconds;
    DIR* tasks = ::opendir("/proc/self/task");
    if (tasks == nullptr) {
        return seconds;
    }
    const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
    while (const dirent* task = ::readdir(tasks)) {
        if (task->d_name[0] == '.') {
            continue;
        }
        std::ifstream stat(std::string("/proc/self/task/") + task->d_name + "/stat");
        std::string line;
        std::getline(stat, line);
        const auto open = line.find('(');
        const auto close = line.rfind(')');
        if (open == std::string::npos || close == std::string::npos) {
            continue;
        }
        const std::string name = line.substr(open + 1, close - open - 1);
        std::vector<std::string> fields;
        std::string field;
        for (std::size_t i = close + 2; i <= line.size(); ++i) {
            if (i == line.size() || line[i] == ' ') {
                fields.push_back(field);
                field.clear();
            } else {
                field += line[i];
            }
        }
        // utime and stime are fields 14 and 15, the 12th and 13th after the name.
        if (fields.size() > 12) {
            seconds[name] += (std::stod(fields[11]) + std::stod(fields[12])) / tick;
        }
    }
    ::closedir(tasks);
    return seconds;
}

// Wakes the taking thread as the window's would be woken.
class Wake final : public Session::Observer {
public:
    void rowsWaiting() override {
        const std::lock_guard lock(mutex);
        changed.notify_one();
    }
    void followingEnded(const Follower::End&) override {}

    std::mutex mutex;
    std::condition_variable changed;
};

double percentile(std::vector<double> values, double p) {
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p / 100.0 * static_cast<double>(values.size() - 1));
    return values[index];
}

void BM_Follow(benchmark::State& state) {
    const auto rate = static_cast<std::uint64_t>(state.range(0));
    const auto runFor = std::chrono::seconds(state.range(1));
    for (auto _ : state) {
        std::vector<double> latencies;
        long windows = 0;
        long lost = 0;
        SessionFiles files({});
        Session session(nullptr, files, {ResultCsv::kRowHeader, ResultCsv::row}, false);
        // As in a window started with whitening chosen, whose plans were made
        // meanwhile: the first rows do not wait for them.
        session.setWhitening(state.range(2) != 0);
        WhitenedCorrelator::preparePlans();
        Wake wake;
        session.setObserver(&wake);
        char recording[] = "/tmp/follow_bench_XXXXXX";
        ::close(::mkstemp(recording));
        session.follow(std::make_shared<DeviceCapture>(CaptureOptions::Analyser{
                           CaptureOptions::parseDeviceSpec("demo"), {}, rate, {}}),
                       PortOrigin{});
        session.record(recording);
        std::atomic<bool> taking{true};
        std::thread taker([&] {
            while (taking) {
                {
                    std::unique_lock lock(wake.mutex);
                    wake.changed.wait_for(lock, std::chrono::milliseconds(20));
                }
                const auto taken = std::chrono::steady_clock::now();
                for (const Follower::Row& row : session.takeRows()) {
                    latencies.push_back(
                        std::chrono::duration<double, std::milli>(taken - row.arrivedSteady)
                            .count());
                    windows += row.windows;
                    lost += row.lost;
                }
            }
        });
        const auto processSeconds = [] {
            rusage usage{};
            ::getrusage(RUSAGE_SELF, &usage);
            const auto seconds = [](const timeval& time) {
                return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
            };
            return seconds(usage.ru_utime) + seconds(usage.ru_stime);
        };
        const double processBefore = processSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(runFor);
        const auto threads = threadSeconds();
        // The sector threads of each row end with it: only the whole shows them.
        const double process = processSeconds() - processBefore;
        taking = false;
        taker.join();
        const auto dropped = session.droppedSamples();
        session.stopFollowing();
        const auto stopped = std::chrono::steady_clock::now();
        session.waitForEnd(std::chrono::seconds(10));
        const double ended =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - stopped)
                .count();
        session.setObserver(nullptr);
        ::unlink(recording);
        const double elapsed = std::chrono::duration<double>(stopped - start).count();
        state.counters["windows_per_s"] = static_cast<double>(windows) / elapsed;
        state.counters["rows"] = static_cast<double>(latencies.size());
        state.counters["dropped_samples"] = static_cast<double>(dropped);
        state.counters["lost_windows"] = static_cast<double>(lost);
        state.counters["latency_p50_ms"] = percentile(latencies, 50);
        state.counters["latency_p99_ms"] = percentile(latencies, 99);
        state.counters["latency_max_ms"] = percentile(latencies, 100);
        state.counters["stop_ms"] = ended;
        for (const auto& [name, cpu] : threads) {
            state.counters["cpu_s_" + name] = cpu;
        }
        state.counters["cpu_s_process"] = process;
    }
}
// Rate, seconds, whitened.
BENCHMARK(BM_Follow)
    ->Args({24'000'000, 60, 0})
    ->Args({24'000'000, 60, 1})
    ->Args({1'000'000, 60, 0})
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

} // namespace
