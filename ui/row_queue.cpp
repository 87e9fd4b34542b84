#include "row_queue.h"

#include "operator_error.h"
#include "result_csv.h"

#include <cerrno>
#include <cstring>

RowQueue::~RowQueue() {
    stopRecording();
}

void RowQueue::push(Follower::Row row) {
    const BearingTimePlot::Line colours = BearingTimePlot::lineOf(row);
    bool first = false;
    {
        const std::lock_guard lock(mutex_);
        if (record_ != nullptr) {
            const std::string line =
                ResultCsv::row(row.arrived, row.windows, row.lost, row.result) + "\n";
            if (std::fputs(line.c_str(), record_) < 0 || std::fflush(record_) != 0) {
                failure_ = recordPath_ + ": " + std::strerror(errno);
                std::fclose(record_);
                record_ = nullptr;
            }
        }
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

std::vector<RowQueue::Shown> RowQueue::take() {
    const std::lock_guard lock(mutex_);
    return std::exchange(rows_, {});
}

void RowQueue::record(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) {
        throw OperatorError(OperatorError::Kind::FileNotWritten, path, std::strerror(errno));
    }
    std::fseek(file, 0, SEEK_END);
    if (std::ftell(file) == 0) {
        std::fprintf(file, "%s\n", ResultCsv::kRowHeader);
        std::fflush(file);
    }
    stopRecording();
    const std::lock_guard lock(mutex_);
    record_ = file;
    recordPath_ = path;
}

void RowQueue::stopRecording() {
    const std::lock_guard lock(mutex_);
    if (record_ != nullptr) {
        std::fclose(record_);
        record_ = nullptr;
    }
}

std::optional<std::string> RowQueue::recordingFailure() {
    const std::lock_guard lock(mutex_);
    return std::exchange(failure_, std::nullopt);
}
