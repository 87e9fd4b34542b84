// Replaying a long session file: its logic chunks inflated by libzip alone,
// the file as a stream into a sink that keeps nothing, and the same stream
// through the Follower with 100 ms rows at 1 MHz. The file holds
// REPLAY_BENCH_MB megabytes of samples (64 unless set) and is written once,
// into a temporary folder, without ever being held whole:
//
//     REPLAY_BENCH_MB=1024 /usr/bin/time -v build/default/bench/replay_bench

#include "follower.h"
#include "session_file_stream.h"

#include <algorithm>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>
#include <zip.h>

namespace {

// As libsigrok's writer cuts a long capture.
constexpr std::size_t kChunkBytes = 4 << 20;
constexpr std::uint64_t kRate = 1'000'000;

std::filesystem::path folder;
std::string sessionPath;
std::uint64_t sampleCount = 0;

// A chunk of noise on the two receivers' bits, made as libzip reads it.
class NoiseChunk {
public:
    NoiseChunk(std::size_t size, std::uint64_t seed) : size_(size), seed_(seed | 1) {
        zip_error_init(&error_);
    }
    ~NoiseChunk() { zip_error_fini(&error_); }
    NoiseChunk(const NoiseChunk&) = delete;
    NoiseChunk& operator=(const NoiseChunk&) = delete;

    static zip_int64_t call(void* state, void* data, zip_uint64_t length,
                            zip_source_cmd_t command) {
        return static_cast<NoiseChunk*>(state)->answer(data, length, command);
    }

private:
    zip_int64_t answer(void* data, zip_uint64_t length, zip_source_cmd_t command) {
        switch (command) {
        case ZIP_SOURCE_OPEN:
            offset_ = 0;
            random_ = seed_;
            return 0;
        case ZIP_SOURCE_READ:
            return static_cast<zip_int64_t>(fill(static_cast<std::uint8_t*>(data), length));
        case ZIP_SOURCE_STAT: {
            auto* stat = static_cast<zip_stat_t*>(data);
            zip_stat_init(stat);
            stat->size = size_;
            stat->valid |= ZIP_STAT_SIZE;
            return sizeof(zip_stat_t);
        }
        case ZIP_SOURCE_ERROR:
            return zip_error_to_data(&error_, data, length);
        case ZIP_SOURCE_FREE:
            delete this;
            return 0;
        case ZIP_SOURCE_SUPPORTS:
            return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ,
                                                  ZIP_SOURCE_CLOSE, ZIP_SOURCE_STAT,
                                                  ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
        default:
            return 0;
        }
    }

    std::size_t fill(std::uint8_t* bytes, zip_uint64_t length) {
        const std::size_t count = std::min<std::size_t>(length, size_ - offset_);
        for (std::size_t i = 0; i < count; ++i) {
            random_ ^= random_ << 13;
            random_ ^= random_ >> 7;
            random_ ^= random_ << 17;
            bytes[i] = static_cast<std::uint8_t>(random_ >> 32 & 3);
        }
        offset_ += count;
        return count;
    }

    std::size_t size_;
    std::uint64_t seed_;
    std::uint64_t random_ = 0;
    std::size_t offset_ = 0;
    zip_error_t error_;
};

// Deflated at the fastest level: the default takes a minute for 64 MB of
// noise, and inflating costs much the same whatever the level.
void addEntry(zip_t* archive, const std::string& name, zip_source_t* source) {
    const zip_int64_t index =
        source == nullptr ? -1 : zip_file_add(archive, name.c_str(), source, 0);
    if (index < 0) {
        zip_source_free(source);
        throw std::runtime_error("cannot add " + name);
    }
    zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE, 1);
}

void writeSession(const std::string& path, std::uint64_t bytes) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    static const std::string version = "2";
    static const std::string metadata =
        "[global]\nsigrok version=0.5.2\n\n[device 1]\ncapturefile=logic-1\ntotal probes=2\n"
        "samplerate=1 MHz\ntotal analog=0\nprobe1=D0\nprobe2=D1\nunitsize=1\n";
    addEntry(archive, "version", zip_source_buffer(archive, version.data(), version.size(), 0));
    addEntry(archive, "metadata", zip_source_buffer(archive, metadata.data(), metadata.size(), 0));
    for (std::uint64_t chunk = 1; (chunk - 1) * kChunkBytes < bytes; ++chunk) {
        const auto size = std::min<std::uint64_t>(kChunkBytes, bytes - (chunk - 1) * kChunkBytes);
        addEntry(archive, "logic-1-" + std::to_string(chunk),
                 zip_source_function(archive, NoiseChunk::call,
                                     new NoiseChunk(static_cast<std::size_t>(size), chunk)));
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write " + path);
    }
}

// The process's CPU time, all threads told: on a machine shared with other
// work, samples per CPU second say what the replay would do on its own.
double cpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& time) {
        return static_cast<double>(time.tv_sec) + static_cast<double>(time.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Keeps nothing.
class Discard final : public StreamSink {
public:
    void take(std::span<const std::uint8_t> samples) override { taken += samples.size(); }
    void lose(std::uint64_t) override {}
    bool stopping() const override { return false; }
    std::uint64_t rowSamples() const override { return kRate / 10; }

    std::uint64_t taken = 0;
};

void BM_Inflate(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(1 << 20);
    std::uint64_t total = 0;
    state.counters["file_mb"] = static_cast<double>(std::filesystem::file_size(sessionPath)) / 1e6;
    for (auto _ : state) {
        int error = 0;
        zip_t* archive = zip_open(sessionPath.c_str(), ZIP_RDONLY, &error);
        for (int chunk = 1;; ++chunk) {
            zip_file_t* entry = zip_fopen(archive, ("logic-1-" + std::to_string(chunk)).c_str(), 0);
            if (entry == nullptr) {
                break;
            }
            for (zip_int64_t got; (got = zip_fread(entry, buffer.data(), buffer.size())) > 0;) {
                total += static_cast<std::uint64_t>(got);
            }
            zip_fclose(entry);
        }
        zip_discard(archive);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(total));
}
BENCHMARK(BM_Inflate)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Stream(benchmark::State& state) {
    std::uint64_t total = 0;
    const double cpuStart = cpuSeconds();
    for (auto _ : state) {
        SessionFileStream stream(sessionPath, {});
        Discard sink;
        CaptureWorker::perform<bool>(
            [&](CaptureWorker::Progress& progress) {
                stream.stream(sink, progress);
                return true;
            },
            stream.subject());
        total += sink.taken;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(total));
    state.SetBytesProcessed(static_cast<std::int64_t>(total)); // one byte a sample
    state.counters["samples_per_cpu_s"] = static_cast<double>(total) / (cpuSeconds() - cpuStart);
}
BENCHMARK(BM_Stream)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Follow(benchmark::State& state) {
    std::uint64_t rows = 0;
    const double cpuStart = cpuSeconds();
    for (auto _ : state) {
        std::atomic<std::uint64_t> counted{0};
        std::atomic<bool> faulted{false};
        Follower follower(
            std::make_shared<SessionFileStream>(sessionPath, CaptureOptions::Channels{}),
            std::chrono::milliseconds(100), {},
            {[&](Follower::Row) { ++counted; },
             [&](const Follower::End& end) { faulted = end.fault.has_value(); }});
        if (!follower.waitForEnd(std::chrono::hours(1)) || faulted) {
            state.SkipWithError("the replay did not end well");
            return;
        }
        rows += counted;
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(rows * kRate / 10));
    state.counters["rows"] = static_cast<double>(rows);
    state.counters["samples_per_cpu_s"] =
        static_cast<double>(rows * kRate / 10) / (cpuSeconds() - cpuStart);
}
BENCHMARK(BM_Follow)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    const char* megabytes = std::getenv("REPLAY_BENCH_MB");
    sampleCount = (megabytes != nullptr ? std::stoull(megabytes) : 64) << 20;
    folder =
        std::filesystem::temp_directory_path() / ("replay_bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    sessionPath = (folder / "replay.sr").string();
    writeSession(sessionPath, sampleCount);
    benchmark::Initialize(&argc, argv);
    benchmark::AddCustomContext("samples", std::to_string(sampleCount));
    benchmark::AddCustomContext("file bytes",
                                std::to_string(std::filesystem::file_size(sessionPath)));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::filesystem::remove_all(folder);
    return 0;
}
