#pragma once

#include "capture_worker.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <utility>

// A capture's progress whose phases all end by one deadline: each phase's
// own limit is cut to what is left until then.
class BoundedProgress final : public CaptureWorker::Progress {
public:
    BoundedProgress(CaptureWorker::Progress& progress,
                    std::chrono::steady_clock::time_point deadline)
        : progress_(progress), deadline_(deadline) {}

    void enter(OperatorError::Kind overrun, std::chrono::milliseconds limit,
               std::function<void()> stop = {}) override {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(
            deadline_ - std::chrono::steady_clock::now());
        progress_.enter(overrun, std::clamp(left, std::chrono::milliseconds(1), limit),
                        std::move(stop));
    }

private:
    CaptureWorker::Progress& progress_;
    std::chrono::steady_clock::time_point deadline_;
};
