// Continuous scanning through seams: a synthetic stream, a fault in it, and
// an analysis that cannot keep up.

#include "follower.h"
#include "instrument_constants.h"

#include <atomic>
#include <condition_variable>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;
using Kind = OperatorError::Kind;

constexpr std::uint64_t kRate = 1'000'000; // 83.33 windows a 100 ms row
constexpr int kDelay = 17;                 // the left receiver lags the right

// Noise on the right receiver, the same kDelay samples later on the left: a
// source on the right. It streams in chunks, as fast as it is let, until
// stopped, or fails after failAfter samples.
class SyntheticStream final : public SampleStream {
public:
    std::uint64_t failAfter = 0;
    std::uint64_t chunk = 4'096;
    std::atomic<std::uint64_t> sent{0};

    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override {
        progress.enter(Kind::DeviceCaptureStalled, 10s);
        std::mt19937 random(7);
        std::vector<std::uint8_t> right(kDelay, 0);
        std::vector<std::uint8_t> samples(chunk);
        while (!sink.stopping()) {
            for (auto& sample : samples) {
                const auto bit = static_cast<std::uint8_t>(random() & 1);
                sample = static_cast<std::uint8_t>(bit | right[sent % kDelay] << 1);
                right[sent % kDelay] = bit;
                ++sent;
            }
            sink.take(samples);
            if (failAfter > 0 && sent >= failAfter) {
                throw OperatorError(Kind::DeviceLost, "sintetico");
            }
            std::this_thread::yield();
        }
    }
    std::uint64_t streamRate() const override { return kRate; }
    std::string subject() const override { return "sintetico"; }
};

// What the handlers were given.
struct Seen {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Follower::Row> rows;
    std::optional<Follower::End> ended;
    // Runs on the analysing thread before each row is kept.
    std::function<void(const Follower::Row&)> onRow;

    Follower::Handlers handlers() {
        return {[this](Follower::Row row) {
                    if (onRow) {
                        onRow(row);
                    }
                    const std::lock_guard lock(mutex);
                    row.runs.clear();
                    rows.push_back(std::move(row));
                    changed.notify_all();
                },
                [this](const Follower::End& end) {
                    const std::lock_guard lock(mutex);
                    ended = end;
                    changed.notify_all();
                }};
    }
    bool waitForRows(std::size_t count) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, 20s, [&] { return rows.size() >= count || ended; });
    }
};

TEST(Follower, RowsComeInOrderUntilStopped) {
    auto stream = std::make_shared<SyntheticStream>();
    Seen seen;
    Follower follower(stream, kRowPeriod, {}, seen.handlers());
    ASSERT_TRUE(seen.waitForRows(6));
    follower.stop();
    ASSERT_TRUE(follower.waitForEnd(10s));
    const std::lock_guard lock(seen.mutex);
    ASSERT_TRUE(seen.ended);
    EXPECT_FALSE(seen.ended->fault) << seen.ended->fault->what();
    EXPECT_FALSE(seen.ended->reachedEnd);
    for (std::size_t r = 0; r < seen.rows.size(); ++r) {
        const auto& row = seen.rows[r];
        EXPECT_EQ(row.index, r);
        EXPECT_EQ(row.windows + row.lost, static_cast<int>((r + 1) * 250 / 3 - r * 250 / 3));
        if (row.lost == 0) {
            EXPECT_EQ(row.result.verdict, Bearing::Verdict::Source) << r;
            EXPECT_NEAR(row.result.lag, kDelay, 0.5) << r;
        }
    }
}

// Every row the stream completed before its fault is given, then the fault.
TEST(Follower, AFaultEndsTheModeAfterTheRowsBeforeIt) {
    auto stream = std::make_shared<SyntheticStream>();
    stream->chunk = 1'000;
    stream->failAfter = 350'000; // rows 0..2 end by sample 300,120
    Seen seen;
    Follower follower(stream, kRowPeriod, {}, seen.handlers());
    ASSERT_TRUE(follower.waitForEnd(10s));
    const std::lock_guard lock(seen.mutex);
    ASSERT_TRUE(seen.ended && seen.ended->fault);
    EXPECT_EQ(seen.ended->fault->kind(), Kind::DeviceLost);
    EXPECT_EQ(seen.rows.size(), 3u); // row 3 would end at sample 399,720
}

// An analysis held up on its first row, with room for less than a row
// meanwhile, falls behind: whole windows are dropped and each row counts
// those it lost; none goes unaccounted.
TEST(Follower, AnAnalysisThatFallsBehindLosesWholeWindowsAndSaysSo) {
    auto stream = std::make_shared<SyntheticStream>();
    Seen seen;
    seen.onRow = [&stream](const Follower::Row& row) {
        const std::uint64_t until = stream->sent + 500'000;
        while (row.index == 0 && stream->sent < until) {
            std::this_thread::yield();
        }
    };
    Follower follower(stream, kRowPeriod, {}, seen.handlers(), 20'000);
    ASSERT_TRUE(seen.waitForRows(8));
    follower.stop();
    ASSERT_TRUE(follower.waitForEnd(10s));
    EXPECT_GT(follower.droppedSamples(), 0u);
    const std::lock_guard lock(seen.mutex);
    int lost = 0;
    for (std::size_t r = 0; r < seen.rows.size(); ++r) {
        const auto& row = seen.rows[r];
        EXPECT_EQ(row.windows + row.lost, static_cast<int>((r + 1) * 250 / 3 - r * 250 / 3));
        lost += row.lost;
    }
    EXPECT_GT(lost, 0);
}

} // namespace
