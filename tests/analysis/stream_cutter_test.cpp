#include "instrument_constants.h"
#include "sector_correlator.h"
#include "stream_cutter.h"

#include <gtest/gtest.h>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Sample i of the stream, different enough from its neighbours that a run
// read from the wrong place cannot match.
std::uint8_t sampleAt(std::uint64_t i) {
    return static_cast<std::uint8_t>((i * 2654435761u >> 13) & 3);
}

// Feeds samples [from, to) of the stream in uneven chunks.
void feed(StreamCutter& cutter, std::uint64_t from, std::uint64_t to) {
    static constexpr std::uint64_t kChunks[] = {1, 4096, 7, 1319, 1321, 250'000, 2};
    for (std::size_t c = 0; from < to; ++c) {
        const std::uint64_t size = std::min(kChunks[c % std::size(kChunks)], to - from);
        std::vector<std::uint8_t> chunk(size);
        for (std::uint64_t i = 0; i < size; ++i) {
            chunk[i] = sampleAt(from + i);
        }
        cutter.take(chunk);
        from += size;
    }
}

// The run holds windows from window first on, sample for sample.
void expectRunAt(const SectorCorrelator::Run& run, std::uint64_t first) {
    const std::uint64_t start = first * kWindow;
    const std::size_t count = static_cast<std::size_t>(run.windows) * kWindow + kMaxLag;
    ASSERT_GE(run.right.size(), count + 1 + SectorCorrelator::kRunPadding);
    for (std::size_t i = 0; i < count; ++i) {
        ASSERT_EQ(run.right[i + 1] | run.left[i + 1] << 1, sampleAt(start + i))
            << "window " << first << " sample " << i;
    }
}

// Row r holds windows floor(r W) to floor((r + 1) W) - 1, each continuing
// the one before: every sample in a window, none twice as a reference.
TEST(StreamCutter, RowsAreContiguousWindowsCutBySampleCount) {
    const struct {
        std::uint64_t rate;
        std::chrono::milliseconds period;
        std::uint64_t windows, per; // windows a row: windows / per
        bool raised;
    } cases[] = {
        {1'000'000, 100ms, 250, 3, false}, // 83.33 windows a row
        {50'000, 50ms, 25, 12, false},
        {24'000'000, 100ms, 2'000, 1, false},
        {kLowestScanRate, 100ms, 1, 1, true}, // one window, the period raised
    };
    for (const auto& c : cases) {
        StreamCutter cutter(c.rate, c.period);
        EXPECT_EQ(cutter.periodRaised(), c.raised);
        const std::uint64_t rows = c.rate > 10'000'000 ? 3 : 40;
        const std::uint64_t samples = (rows * c.windows / c.per + 2) * kWindow + kMaxLag;
        feed(cutter, 0, samples);
        const auto cut = cutter.finished();
        ASSERT_GE(cut.size(), rows) << c.rate;
        std::uint64_t window = 0;
        for (std::uint64_t r = 0; r < cut.size(); ++r) {
            const auto& row = cut[r];
            const std::uint64_t end = (r + 1) * c.windows / c.per;
            EXPECT_EQ(row.index, r);
            ASSERT_EQ(row.runs.size(), 1u);
            EXPECT_EQ(row.windows, static_cast<int>(end - window)) << c.rate << " row " << r;
            EXPECT_EQ(row.lost, 0);
            expectRunAt(row.runs.front(), window);
            window = end;
        }
    }
}

// Samples lost cost the windows that touch them, whole; the next window
// starts on the grid after them, and the row says how many it lost.
TEST(StreamCutter, LostSamplesCostWholeWindowsAndAreCounted) {
    StreamCutter cutter(50'000, 100ms); // 4.1666 windows a row: 0-3, 4-7, 8-11, 12-15
    feed(cutter, 0, 5 * kWindow + 500);
    cutter.lose(3000); // samples 6500..9499: window 4 ends before them; 5, 6, 7 lost
    feed(cutter, 5 * kWindow + 3500, 16 * kWindow);
    const auto cut = cutter.finished();
    ASSERT_EQ(cut.size(), 3u);
    EXPECT_EQ(cut[0].windows, 4);
    EXPECT_EQ(cut[1].windows, 1);
    EXPECT_EQ(cut[1].lost, 3);
    expectRunAt(cut[1].runs.at(0), 4);
    EXPECT_EQ(cut[2].windows, 4);
    expectRunAt(cut[2].runs.front(), 8);
}

// Runs sum their windows in order: a stretch cut in two gives the mean of
// the stretch whole, bit for bit.
TEST(StreamCutter, RunsIntegrateAsOneStretch) {
    StreamCutter cutter(1'000'000, 100ms);
    feed(cutter, 0, 90 * kWindow);
    const auto whole = cutter.finished().at(0).runs.at(0);
    ASSERT_EQ(whole.windows, 83);
    const auto part = [&](int first, int windows) {
        const auto from = static_cast<std::ptrdiff_t>(first) * kWindow;
        const auto count = static_cast<std::ptrdiff_t>(windows) * kWindow + kMaxLag;
        SectorCorrelator::Run run{{0}, {0}, windows};
        run.right.insert(run.right.end(), whole.right.begin() + 1 + from,
                         whole.right.begin() + 1 + from + count);
        run.left.insert(run.left.end(), whole.left.begin() + 1 + from,
                        whole.left.begin() + 1 + from + count);
        run.right.resize(run.right.size() + SectorCorrelator::kRunPadding);
        run.left.resize(run.left.size() + SectorCorrelator::kRunPadding);
        return run;
    };
    SampleStore::Correlogram wholeLeft{};
    SampleStore::Correlogram wholeRight{};
    SampleStore::Correlogram partsLeft{};
    SampleStore::Correlogram partsRight{};
    EXPECT_EQ(SectorCorrelator::integrate({whole}, wholeLeft, wholeRight), 83);
    EXPECT_EQ(SectorCorrelator::integrate({part(0, 40), part(40, 43)}, partsLeft, partsRight), 83);
    EXPECT_EQ(partsLeft, wholeLeft);
    EXPECT_EQ(partsRight, wholeRight);
}

} // namespace
