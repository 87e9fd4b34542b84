#pragma once

#include "bearing_time_plot.h"
#include "follower.h"
#include "operator_error.h"
#include "row_recording.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Rows on their way from the analysing thread to the window's. Each row is
// recorded as it comes, while a recording runs, given its colours there,
// and then waits for the window's next frame, which shows every row waiting
// at once. Rows beyond what the display holds are not kept, nor the samples
// of any but the last. The lock the window's thread takes is never held
// while a row is written.
class RowQueue {
public:
    // wake is called, on the analysing thread, when the first row waits.
    explicit RowQueue(std::function<void()> wake) : wake_(std::move(wake)) {}
    ~RowQueue();

    // A row and its line of the bearing-time display.
    struct Shown {
        Follower::Row row;
        BearingTimePlot::Line line;
    };

    void push(Follower::Row row);
    std::vector<Shown> take();

    // Appends each row's CSV line to path, after the header if the file is
    // new. Throws OperatorError when it cannot be opened.
    void record(const std::string& path);
    void stopRecording();
    // Why a recording stopped by itself, once, if it did.
    std::optional<OperatorError> recordingFailure();

private:
    void recordRow(const Follower::Row& row);

    std::function<void()> wake_;
    std::mutex mutex_;
    std::vector<Shown> rows_;
    std::shared_ptr<RowRecording> recording_;
    std::optional<OperatorError> failure_;
};
