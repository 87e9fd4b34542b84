#include "instrument.h"
#include "simulated_source.h"

#include <cmath>
#include <future>
#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;
using CaptureOptions::Simulation;

struct NoDeadline final : CaptureWorker::Progress {
    void enter(OperatorError::Kind, std::chrono::milliseconds, std::function<void()>) override {}
};

// Counts what a stream gives until it is stopped.
struct Collector final : StreamSink {
    void take(std::span<const std::uint8_t> s) override { taken += s.size(); }
    void lose(std::uint64_t) override {}
    bool stopping() const override { return stopped; }
    std::uint64_t rowSamples() const override { return kSamples; }
    std::atomic<bool> stopped{false};
    std::size_t taken = 0;
};

// At lag, at lagEnd half a period later, then back: |1 - 2u| over each period.
double triangle(const Simulation& s, double sample) {
    const double periods = sample / static_cast<double>(s.rate) / (2 * s.seconds);
    return s.lagEnd + (s.lag - s.lagEnd) * std::abs(1 - 2 * (periods - std::floor(periods)));
}

// Scanned and analysed as the window does: the lag, and so its side, stated.
TEST(SimulatedSource, AStillSourceIsFoundAtItsLagWithItsSign) {
    for (const int lag : {-30, 30, 0, -1, 1, -97, 64}) {
        Instrument instrument;
        instrument.scan(std::make_shared<SimulatedSource>(Simulation{lag, lag, 0, kPortRate}));
        instrument.integrate();
        const Bearing::Result result = instrument.assess(std::nullopt);
        EXPECT_EQ(result.verdict, Bearing::Verdict::Source) << lag;
        EXPECT_NEAR(result.lag, lag, 0.5);
    }
}

// Rows a twentieth of a sweep long follow the lag out and back within a sample.
TEST(SimulatedSource, AMovingSourcesRowsFollowTheTriangle) {
    const Simulation moving{10, -10, 1.0, 1'000'000};
    std::vector<Follower::Row> rows;
    std::promise<void> enough;
    Follower follower(std::make_shared<SimulatedSource>(moving), kShortestRowPeriod, {},
                      {[&](Follower::Row row) {
                           rows.push_back(std::move(row));
                           if (rows.size() == 45) { // a whole triangle and a little more
                               enough.set_value();
                           }
                       },
                       [](const Follower::End&) {}});
    ASSERT_EQ(enough.get_future().wait_for(30s), std::future_status::ready);
    follower.stop();
    ASSERT_TRUE(follower.waitForEnd(10s));

    const double windowsPerRow = 1e6 * 0.05 / kWindow;
    int whole = 0;
    for (const Follower::Row& row : rows) {
        const double first = std::floor(static_cast<double>(row.index) * windowsPerRow);
        const double end = std::floor(static_cast<double>(row.index + 1) * windowsPerRow);
        if (row.lost == 0) {
            EXPECT_NEAR(row.result.lag, triangle(moving, (first + end) * kWindow / 2), 1.0)
                << "row " << row.index;
            ++whole;
        }
    }
    EXPECT_GT(whole, 30);
}

// At 1 Hz a piece is a minute long: the stream still ends when asked.
TEST(SimulatedSource, AStreamEndsWhenAskedEvenMidPiece) {
    SimulatedSource source({5, -5, 10, 1});
    Collector collector;
    NoDeadline progress;
    auto streaming = std::async(std::launch::async, [&] { source.stream(collector, progress); });
    EXPECT_EQ(streaming.wait_for(100ms), std::future_status::timeout);
    collector.stopped = true;
    EXPECT_EQ(streaming.wait_for(20s), std::future_status::ready);
    EXPECT_EQ(collector.taken, 0U);
}

} // namespace
