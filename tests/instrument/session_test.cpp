// The session following synthetic streams: live ones with a stop, a fault
// and a gap, and recordings replayed to their end.

#include "session.h"
#include "whole_recording.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Kind = OperatorError::Kind;

constexpr std::uint64_t kRate = 12'000; // ten windows a 1 s row
constexpr int kDelay = 9;               // the right receiver hears first

// Noise heard by the right receiver, kDelay samples later by the left.
std::vector<std::uint8_t> noise(std::size_t count, unsigned seed) {
    std::mt19937 random(seed);
    std::vector<std::uint8_t> right(count + kDelay);
    for (auto& bit : right) {
        bit = static_cast<std::uint8_t>(random() & 1);
    }
    std::vector<std::uint8_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::uint8_t>(right[i + kDelay] | right[i] << 1);
    }
    return samples;
}

// Gives its samples in pieces: a recording ends after them; a live stream
// then throws, or loses gap samples and goes on until stopped.
class Synthetic final : public SampleStream {
public:
    Synthetic(std::vector<std::uint8_t> samples, bool recording)
        : samples_(std::move(samples)), recording_(recording) {}

    std::optional<std::size_t> gapAt;
    std::uint64_t gap = 0;
    bool failAtEnd = false;

    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override {
        progress.enter(Kind::DeviceCaptureStalled, 10s);
        for (std::size_t at = 0; at < samples_.size() && !sink.stopping(); at += kPiece) {
            if (gapAt == at) {
                sink.lose(gap);
            }
            sink.take(std::span(samples_).subspan(at, std::min(kPiece, samples_.size() - at)));
        }
        if (failAtEnd) {
            throw OperatorError(Kind::DeviceLost, subject());
        }
        while (!recording_ && !sink.stopping()) {
            std::this_thread::sleep_for(5ms);
        }
    }
    std::uint64_t streamRate() const override { return kRate; }
    std::string subject() const override { return "sintetico"; }
    bool recorded() const override { return recording_; }

private:
    static constexpr std::size_t kPiece = 1'000;
    std::vector<std::uint8_t> samples_;
    bool recording_;
};

class NoFiles final : public CaptureFiles {
public:
    std::shared_ptr<CaptureSource> open(const std::string&) override { return nullptr; }
    std::shared_ptr<CaptureSource> openWith(const std::string&,
                                            const CaptureOptions::Channels&) override {
        return nullptr;
    }
    std::shared_ptr<SampleStream> stream(const std::string&,
                                         const CaptureOptions::Channels&) override {
        return nullptr;
    }
    void save(const std::string&, std::span<const std::uint8_t>, std::uint64_t) override {}
};

// Takes the rows as the window does, when woken.
class Taker final : public Session::Observer {
public:
    void rowsWaiting() override {
        const std::lock_guard lock(mutex_);
        changed_.notify_all();
    }
    void followingEnded(const Follower::End& end) override {
        const std::lock_guard lock(mutex_);
        ended = end;
        changed_.notify_all();
    }
    // Rows until the mode ends, or until count came.
    std::vector<Follower::Row> take(Session& session, std::size_t count = SIZE_MAX) {
        std::vector<Follower::Row> rows;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        for (;;) {
            bool over = false;
            {
                std::unique_lock lock(mutex_);
                changed_.wait_for(lock, 10ms);
                over = ended.has_value();
            }
            for (auto& row : session.takeRows()) {
                rows.push_back(std::move(row));
            }
            if (over || rows.size() >= count || std::chrono::steady_clock::now() > deadline) {
                return rows;
            }
        }
    }

    std::optional<Follower::End> ended;

private:
    std::mutex mutex_;
    std::condition_variable changed_;
};

struct Followed {
    std::vector<Follower::Row> rows;
    std::optional<Follower::End> ended;
};

Followed follow(const std::shared_ptr<Synthetic>& stream, std::size_t count = SIZE_MAX,
                bool keepNewestRowsOnly = false) {
    NoFiles files;
    Session session(nullptr, files, {}, keepNewestRowsOnly);
    session.choose({1000ms, true, false, std::nullopt});
    Taker taker;
    session.setObserver(&taker);
    session.follow(stream, PortOrigin{});
    Followed followed{taker.take(session, count), {}};
    session.stopFollowing();
    EXPECT_TRUE(session.waitForEnd(10s));
    followed.ended = taker.ended;
    return followed;
}

TEST(Session, LiveRowsComeInOrderUntilStoppedAFaultOrAGap) {
    const struct {
        const char* name;
        bool fails;
        bool gap;
        std::size_t rows; // taken before stopping, or all there are
        std::optional<Kind> fault;
    } cases[] = {{"stopped", false, false, 3, {}},
                 {"fault", true, false, SIZE_MAX, Kind::DeviceLost},
                 {"gap", false, true, 4, {}}};
    for (const auto& c : cases) {
        auto stream = std::make_shared<Synthetic>(noise(4 * 12'000 + 120, 1), false);
        stream->failAtEnd = c.fails;
        if (c.gap) {
            stream->gapAt = 12'000; // after row 0
            stream->gap = 6'000;
        }
        const auto followed = follow(stream, c.rows);
        ASSERT_TRUE(followed.ended) << c.name;
        EXPECT_EQ(followed.ended->fault ? std::optional(followed.ended->fault->kind())
                                        : std::nullopt,
                  c.fault)
            << c.name;
        EXPECT_FALSE(followed.ended->reachedEnd) << c.name;
        ASSERT_GE(followed.rows.size(), std::min<std::size_t>(c.rows, 4)) << c.name;
        for (std::size_t r = 0; r < followed.rows.size(); ++r) {
            const auto& row = followed.rows[r];
            EXPECT_EQ(row.index, r) << c.name;
            // Rows start where their windows do, the lost samples counted.
            EXPECT_EQ(row.firstSample, r * 12'000) << c.name;
            EXPECT_TRUE(row.arrived) << c.name;
            EXPECT_EQ(row.windows + row.lost, 10) << c.name;
            // The gap costs the windows it touches, in row 0 and row 1.
            const int lost = c.gap && r == 1 ? 5 : c.gap && r == 0 ? 1 : 0;
            EXPECT_EQ(row.lost, lost) << c.name << " row " << r;
            if (row.lost == 0) {
                EXPECT_EQ(row.result.verdict, Bearing::Verdict::Source) << c.name;
                EXPECT_NEAR(row.result.lag, kDelay, 0.5) << c.name;
            }
        }
    }
}

// A recording is replayed whole, none of its rows dropped however slowly
// they are taken, and each row is what integrating that row's samples alone
// would say, to the last bit.
TEST(Session, AReplayGivesEveryRowAsTheWholeRecordingOfItsWindowsWould) {
    const auto samples = noise(5 * 12'000 + 600, 2);
    const auto followed = follow(std::make_shared<Synthetic>(samples, true));
    ASSERT_TRUE(followed.ended);
    EXPECT_FALSE(followed.ended->fault);
    EXPECT_TRUE(followed.ended->reachedEnd);
    ASSERT_EQ(followed.rows.size(), 5u);
    for (const auto& row : followed.rows) {
        EXPECT_FALSE(row.arrived);
        const auto first = samples.begin() + static_cast<std::ptrdiff_t>(row.firstSample);
        const auto slice = std::make_shared<Synthetic>(
            std::vector<std::uint8_t>(first, first + row.windows * kWindow + kMaxLag), true);
        const auto whole = WholeRecording::assess(slice, {});
        EXPECT_EQ(whole.windows, row.windows);
        EXPECT_EQ(whole.result.lag, row.result.lag) << row.index;
        EXPECT_EQ(whole.result.contrast, row.result.contrast) << row.index;
    }
}

TEST(Session, AReplayWaitsForItsRowsToBeTaken) {
    const std::size_t rows = Session::kRowsWaiting + 20;
    NoFiles files;
    Session session(nullptr, files, {}, false);
    session.choose({50ms, true, false, std::nullopt});
    session.follow(std::make_shared<Synthetic>(noise(rows * kWindow + kMaxLag, 3), true),
                   PortOrigin{});
    EXPECT_FALSE(session.waitForEnd(300ms)) << "the replay went on with its rows untaken";
    std::size_t taken = 0;
    for (int i = 0; i < 200 && taken < rows; ++i) {
        taken += session.takeRows().size();
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(taken, rows);
    EXPECT_TRUE(session.waitForEnd(10s));
}

// Over a recording of n samples, M is every whole window: (n - 120) / 1200.
TEST(WholeRecording, TakesEveryWholeWindowOfARecordingOfAnyLength) {
    for (const std::size_t n : {std::size_t{1'320}, std::size_t{130'000}, std::size_t{400'119}}) {
        const auto whole =
            WholeRecording::assess(std::make_shared<Synthetic>(noise(n, 4), true), {});
        EXPECT_EQ(whole.windows, static_cast<int>((n - kMaxLag) / kWindow)) << n;
        EXPECT_NEAR(whole.result.lag, kDelay, 0.5) << n;
    }
    EXPECT_THROW(WholeRecording::assess(std::make_shared<Synthetic>(noise(1'319, 4), true), {}),
                 OperatorError);
}

} // namespace
