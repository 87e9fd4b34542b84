#include "row_queue.h"

#include "result_csv.h"

RowQueue::~RowQueue() {
    stopRecording();
}

void RowQueue::push(Follower::Row row) {
    recordRow(row);
    const BearingTimePlot::Line colours = BearingTimePlot::lineOf(row);
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        first = rows_.empty();
        if (!first) {
            rows_.back().row.runs.clear();
        }
        if (rows_.size() == BearingTimePlot::kRows) {
            rows_.erase(rows_.begin());
        }
        rows_.push_back({std::move(row), colours});
    }
    if (first) {
        wake_();
    }
}

// The recording is held here while the line is written, so that stopping it
// meanwhile closes its file only after.
void RowQueue::recordRow(const Follower::Row& row) {
    std::shared_ptr<RowRecording> recording;
    {
        const std::lock_guard lock(mutex_);
        recording = recording_;
    }
    if (!recording) {
        return;
    }
    try {
        recording->append(ResultCsv::row(row.arrived, row.windows, row.lost, row.result));
    } catch (const OperatorError& error) {
        const std::lock_guard lock(mutex_);
        if (recording_ == recording) {
            recording_.reset();
            failure_ = error;
        }
    }
}

std::vector<RowQueue::Shown> RowQueue::take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(rows_, {});
}

void RowQueue::record(const std::string& path) {
    auto recording = std::make_shared<RowRecording>(path);
    const std::lock_guard lock(mutex_);
    recording_.swap(recording);
    failure_.reset();
}

// The file a recording leaves is closed once the lock is let go.
void RowQueue::stopRecording() {
    std::shared_ptr<RowRecording> recording;
    const std::lock_guard lock(mutex_);
    recording_.swap(recording);
}

std::optional<OperatorError> RowQueue::recordingFailure() {
    const std::lock_guard lock(mutex_);
    return std::exchange(failure_, std::nullopt);
}
