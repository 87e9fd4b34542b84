#include "bearing.h"
#include "follower.h"
#include "instrument_constants.h"
#include "sector_correlator.h"
#include "simulated_source.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <future>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

using namespace std::chrono_literals;
using CaptureOptions::Simulation;

struct NoDeadline final : CaptureWorker::Progress {
    void enter(OperatorError::Kind, std::chrono::milliseconds, std::function<void()>) override {}
};

// The samples a stream gives until it has count of them, or until stopped.
class Collector final : public StreamSink {
public:
    explicit Collector(std::size_t count) : count_(count) {}
    void take(std::span<const std::uint8_t> samples) override {
        const std::lock_guard lock(mutex_);
        taken.insert(taken.end(), samples.begin(), samples.end());
    }
    void lose(std::uint64_t) override {}
    bool stopping() const override {
        const std::lock_guard lock(mutex_);
        return stopped_ || taken.size() >= count_;
    }
    std::uint64_t rowSamples() const override { return kSamples; }
    void stop() {
        const std::lock_guard lock(mutex_);
        stopped_ = true;
    }

    std::vector<std::uint8_t> taken; // read once the stream has ended

private:
    std::size_t count_;
    bool stopped_ = false;
    mutable std::mutex mutex_;
};

Capture captureOf(SimulatedSource& source) {
    NoDeadline progress;
    return source.capture(progress);
}

// The capture as the instrument analyses it: every whole window, then the
// stated result.
Bearing::Result assessed(const Capture& capture) {
    const std::size_t size = capture.samples.size() + 1;
    std::vector<std::uint8_t> right(size + SectorCorrelator::kRunPadding);
    std::vector<std::uint8_t> left(size + SectorCorrelator::kRunPadding);
    for (std::size_t i = 1; i < size; ++i) {
        right[i] = capture.samples[i - 1] & 1U;
        left[i] = (capture.samples[i - 1] >> 1U) & 1U;
    }
    SampleStore::Correlogram leftSector{};
    SampleStore::Correlogram rightSector{};
    const int windows = SectorCorrelator::integrate(
        right, left, static_cast<int>(capture.samples.size()), leftSector, rightSector);
    return Bearing::assess(leftSector, rightSector, capture.sampleRate, windows, {}, std::nullopt);
}

// The triangle as the operator pictures it: at lag, then at lagEnd half a
// period later, then back.
double triangle(const Simulation& s, double t) {
    const double seconds = t / static_cast<double>(s.rate);
    const double u = seconds / (2 * s.seconds) - std::floor(seconds / (2 * s.seconds));
    return s.lagEnd + (s.lag - s.lagEnd) * std::abs(1 - 2 * u);
}

TEST(SimulatedSource, AStillSourceIsFoundAtItsLagWithItsSign) {
    for (const int lag : {-30, 30, 0, -1, 1, -97, 64}) {
        SimulatedSource source({lag, lag, 0, kPortRate});
        const Capture capture = captureOf(source);
        ASSERT_EQ(capture.samples.size(), static_cast<std::size_t>(kSamples));
        EXPECT_EQ(capture.sampleRate, kPortRate);
        EXPECT_EQ(std::get<SimulatedSourceOrigin>(capture.origin).simulation.lag, lag);
        const Bearing::Result result = assessed(capture);
        EXPECT_EQ(result.verdict, Bearing::Verdict::Source) << lag;
        EXPECT_NEAR(result.lag, lag, 0.5);
    }
}

// The same seed gives the same motion, as a capture or as a stream; each
// new capture draws new noise with the same lag.
TEST(SimulatedSource, ASeedFixesTheNoiseAndEachRunDrawsAfresh) {
    const Simulation moving{-40, 40, 0.5, 200'000};
    SimulatedSource first(moving, 7);
    SimulatedSource twin(moving, 7);
    SimulatedSource other(moving, 8);
    const Capture captured = captureOf(first);
    EXPECT_EQ(captured.samples, captureOf(twin).samples);
    EXPECT_NE(captured.samples, captureOf(other).samples);

    SimulatedSource streamed(moving, 7);
    Collector collector(kSamples);
    NoDeadline progress;
    streamed.stream(collector, progress);
    collector.taken.resize(kSamples);
    EXPECT_EQ(collector.taken, captured.samples);

    SimulatedSource still({-30, -30, 0, kPortRate});
    const Capture again = captureOf(still);
    const Capture later = captureOf(still);
    EXPECT_NE(again.samples, later.samples);
    EXPECT_NEAR(assessed(later).lag, -30, 0.5);
}

// Rows of continuous scanning, each a twentieth of a sweep, follow the
// lag out to the far end and back within a sample.
TEST(SimulatedSource, AMovingSourcesRowsFollowTheTriangle) {
    const Simulation moving{10, -10, 1.0, 1'000'000};
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Follower::Row> rows;
    Follower follower(std::make_shared<SimulatedSource>(moving), kShortestRowPeriod, std::nullopt,
                      {[&](Follower::Row row) {
                           const std::lock_guard lock(mutex);
                           row.runs.clear();
                           rows.push_back(std::move(row));
                           changed.notify_all();
                       },
                       [](const std::optional<OperatorError>&) {}});
    constexpr std::size_t kRows = 45; // a whole triangle and a little more
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, 30s, [&] { return rows.size() >= kRows; }));
    }
    follower.stop();
    ASSERT_TRUE(follower.waitForEnd(10s));

    const double windowsPerRow = 1e6 * 0.05 / kWindow;
    int far = 0;
    for (const Follower::Row& row : rows) {
        if (row.lost > 0) {
            continue;
        }
        const double first = std::floor(static_cast<double>(row.index) * windowsPerRow);
        const double end = std::floor(static_cast<double>(row.index + 1) * windowsPerRow);
        const double middle = (first + end) * kWindow / 2;
        EXPECT_NEAR(row.result.lag, triangle(moving, middle), 1.0) << "row " << row.index;
        far += row.result.lag < -9 ? 1 : 0;
    }
    EXPECT_GT(far, 0);
}

// At 1 Hz a piece is a minute long: the stream still ends as soon as asked.
TEST(SimulatedSource, AStreamEndsWhenAskedEvenMidPiece) {
    SimulatedSource source({5, -5, 10, 1});
    Collector collector(1);
    NoDeadline progress;
    auto streaming = std::async(std::launch::async, [&] { source.stream(collector, progress); });
    EXPECT_EQ(streaming.wait_for(100ms), std::future_status::timeout);
    collector.stop();
    EXPECT_EQ(streaming.wait_for(20s), std::future_status::ready);
    EXPECT_TRUE(collector.taken.empty());
}

} // namespace
