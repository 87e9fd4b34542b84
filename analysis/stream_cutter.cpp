#include "stream_cutter.h"

#include "instrument_constants.h"

#include <algorithm>
#include <utility>

namespace {

// A row period's windows are rate * milliseconds / kPerRow.
constexpr std::uint64_t kPerRow = std::uint64_t{kWindow} * 1000;

// Row boundaries for streams of any length: r * rate * period needs more
// than 64 bits after a few days at the fastest rates.
__extension__ using Wide = unsigned __int128;

} // namespace

StreamCutter::StreamCutter(std::uint64_t rate, std::chrono::milliseconds period)
    : windowsTimes_(rate * static_cast<std::uint64_t>(period.count())),
      raised_(windowsTimes_ < kPerRow), rate_(rate) {
    windowsTimes_ = std::max(windowsTimes_, kPerRow);
}

std::chrono::microseconds StreamCutter::period() const {
    return std::chrono::microseconds(static_cast<std::int64_t>(windowsTimes_ * 1000 / rate_));
}

std::uint64_t StreamCutter::rowSamples() const {
    return rowStart(1) * kWindow + kMaxLag;
}

std::uint64_t StreamCutter::rowStart(std::uint64_t row) const {
    return static_cast<std::uint64_t>(Wide{row} * windowsTimes_ / kPerRow);
}

void StreamCutter::take(std::span<const std::uint8_t> samples) {
    buffer_.insert(buffer_.end(), samples.begin(), samples.end());
    end_ += samples.size();
    cutReady();
}

// The windows before the gap are kept; those that touch it are lost, and
// the stream goes on at the first window that starts after it.
void StreamCutter::lose(std::uint64_t count) {
    if (count == 0) {
        return;
    }
    const std::uint64_t gapStart = end_;
    const std::uint64_t gapEnd = end_ + count;
    const std::uint64_t completeBefore = gapStart >= kMaxLag ? (gapStart - kMaxLag) / kWindow : 0;
    if (completeBefore > nextWindow_) {
        addRun(completeBefore);
    }
    countLost((gapEnd + kWindow - 1) / kWindow);
    end_ = gapEnd;
    buffer_.clear();
    bufferStart_ = gapEnd;
}

std::vector<StreamCutter::Row> StreamCutter::finished() {
    return std::exchange(finished_, {});
}

void StreamCutter::end() {
    const std::uint64_t complete = end_ >= kMaxLag ? (end_ - kMaxLag) / kWindow : 0;
    if (complete > nextWindow_) {
        addRun(complete);
    }
    if (row_.windows > 0 || row_.lost > 0) {
        finishRow();
    }
}

// Every row whose windows the samples now complete.
void StreamCutter::cutReady() {
    for (;;) {
        const std::uint64_t complete = end_ >= kMaxLag ? (end_ - kMaxLag) / kWindow : 0;
        const std::uint64_t rowEnd = rowStart(row_.index + 1);
        if (complete < rowEnd) {
            return;
        }
        addRun(rowEnd);
        finishRow();
    }
}

// Windows nextWindow_ to endWindow - 1, which the buffer holds.
void StreamCutter::addRun(std::uint64_t endWindow) {
    const std::size_t first = nextWindow_ * kWindow - bufferStart_;
    const std::size_t count = (endWindow - nextWindow_) * kWindow + kMaxLag;
    SectorCorrelator::Run run;
    run.windows = static_cast<int>(endWindow - nextWindow_);
    run.right.resize(count + 1 + SectorCorrelator::kRunPadding);
    run.left.resize(count + 1 + SectorCorrelator::kRunPadding);
    const std::uint8_t* samples = buffer_.data() + first;
    for (std::size_t i = 0; i < count; ++i) {
        const auto right = static_cast<std::uint8_t>(samples[i] & 1);
        const auto left = static_cast<std::uint8_t>((samples[i] >> 1) & 1);
        run.right[i + 1] = right;
        run.left[i + 1] = left;
        rightSeen_ |= static_cast<std::uint8_t>(1 << right);
        leftSeen_ |= static_cast<std::uint8_t>(1 << left);
    }
    row_.windows += run.windows;
    row_.runs.push_back(std::move(run));
    nextWindow_ = endWindow;
    // The next window starts here; what comes before is read for good.
    const std::size_t used = nextWindow_ * kWindow - bufferStart_;
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(used));
    bufferStart_ += used;
}

// A bit seen with one value only is stuck at it.
std::optional<int> StreamCutter::stuckAt(std::uint8_t seen) {
    return seen == 1 ? std::optional<int>(0) : seen == 2 ? std::optional<int>(1) : std::nullopt;
}

void StreamCutter::finishRow() {
    row_.stuckRight = stuckAt(rightSeen_);
    row_.stuckLeft = stuckAt(leftSeen_);
    const std::uint64_t next = row_.index + 1;
    finished_.push_back(std::move(row_));
    row_ = Row{};
    row_.index = next;
    row_.firstSample = rowStart(next) * kWindow;
    rightSeen_ = 0;
    leftSeen_ = 0;
}

// Windows nextWindow_ to endWindow - 1 are lost, row by row.
void StreamCutter::countLost(std::uint64_t endWindow) {
    while (nextWindow_ < endWindow) {
        const std::uint64_t rowEnd = rowStart(row_.index + 1);
        const std::uint64_t upTo = std::min(endWindow, rowEnd);
        row_.lost += static_cast<int>(upTo - nextWindow_);
        nextWindow_ = upTo;
        if (nextWindow_ == rowEnd) {
            finishRow();
        }
    }
}
