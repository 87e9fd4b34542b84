#include "capture_worker.h"

#include "thread_name.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

namespace {

using Clock = std::chrono::steady_clock;
using Kind = OperatorError::Kind;

// How often the waiting thread's idle work runs.
constexpr std::chrono::milliseconds kIdlePeriod{10};
// The job's first phase starts at once; until it does, this bounds the wait.
constexpr std::chrono::seconds kFirstPhase{5};

std::atomic<int> abandonedWorkers{0};
// Stops handed to threads of their own that have not yet returned.
std::atomic<int> stopsUnderway{0};

// Shared by the worker, the waiting thread and a stop's thread, and kept
// alive by whichever of them ends last.
class Exchange final : public CaptureWorker::Progress {
public:
    void enter(Kind overrun, std::chrono::milliseconds limit,
               std::function<void()> stopping) override {
        std::function<void()> replaced;
        {
            const std::lock_guard lock(mutex);
            overrun_ = overrun;
            limit_ = limit;
            deadline = Clock::now() + limit;
            replaced = std::exchange(stop, std::move(stopping));
            changed.notify_all();
        }
        // What the stop held, perhaps a session, goes here, outside the lock.
    }

    // Called once, with whichever the job ended with, if it failed.
    template <typename Outcome> void finish(Outcome& slot, Outcome outcome) {
        const std::lock_guard lock(mutex);
        slot = std::move(outcome);
        finished = true;
        changed.notify_all();
    }
    void finish() {
        const std::lock_guard lock(mutex);
        finished = true;
        changed.notify_all();
    }

    OperatorError overrun(const std::string& subject) const {
        return CaptureWorker::overrun(overrun_, subject, limit_);
    }

    std::mutex mutex;
    std::condition_variable changed;
    bool finished = false;
    // An operator's error is copied across, so that no exception object is
    // shared between the threads; anything else is a fault, passed on as is.
    std::optional<OperatorError> refusal;
    std::exception_ptr failure;
    Clock::time_point deadline = Clock::now() + kFirstPhase;
    std::function<void()> stop;
    // A stop under way on a thread of its own, and one that has returned,
    // kept for the waiting thread to let go of.
    bool stopUnderway = false;
    std::function<void()> spent;

private:
    Kind overrun_ = Kind::DeviceScanStalled;
    std::chrono::milliseconds limit_ = kFirstPhase;
};

// A stop may block in the driver as the job does, so it runs on a thread of
// its own, left to itself if it never returns; the waiting thread only waits
// for it, to the deadline. Called with the exchange's lock held.
void stopApart(const std::shared_ptr<Exchange>& exchange) {
    exchange->stopUnderway = true;
    stopsUnderway.fetch_add(1);
    std::thread([exchange, stop = std::exchange(exchange->stop, nullptr)]() mutable {
        nameThisThread("arresto");
        stop();
        stopsUnderway.fetch_sub(1);
        const std::lock_guard lock(exchange->mutex);
        // Let go of on the waiting thread, after the job, never beside it.
        exchange->spent = std::move(stop);
        exchange->stopUnderway = false;
        exchange->changed.notify_all();
    }).detach();
}

} // namespace

Capture CaptureWorker::run(Job job, const std::string& subject, const Idle& idle) {
    return perform(std::move(job), subject, idle);
}

OperatorError CaptureWorker::overrun(OperatorError::Kind kind, const std::string& subject,
                                     std::chrono::milliseconds limit) {
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(limit).count();
    return {kind, subject, std::to_string(seconds)};
}

void CaptureWorker::wait(std::function<void(Progress&)> job, const std::string& subject,
                         const Idle& idle) {
    const auto exchange = std::make_shared<Exchange>();
    // Detached at once: a thread blocked for good must never be joined, and
    // a joinable one must never be destroyed.
    std::thread([exchange, job = std::move(job)] {
        nameThisThread("acquisizione");
        try {
            job(*exchange);
            exchange->finish();
        } catch (const OperatorError& error) {
            exchange->finish(exchange->refusal, std::optional<OperatorError>(error));
        } catch (...) {
            exchange->finish(exchange->failure, std::current_exception());
        }
    }).detach();

    std::unique_lock lock(exchange->mutex);
    while (!exchange->finished || exchange->stopUnderway) {
        const auto now = Clock::now();
        if (now >= exchange->deadline) {
            if (exchange->finished) {
                break; // the job is done; its stop, still blocked, is left to itself
            }
            if (!exchange->stop) {
                abandonedWorkers.fetch_add(1);
                throw exchange->overrun(subject);
            }
            exchange->deadline = now + kGrace;
            stopApart(exchange);
            continue;
        }
        if (!idle) {
            exchange->changed.wait_until(lock, exchange->deadline);
            continue;
        }
        exchange->changed.wait_until(lock, std::min(exchange->deadline, now + kIdlePeriod));
        lock.unlock();
        idle();
        lock.lock();
    }
    const auto spent = std::exchange(exchange->spent, nullptr);
    lock.unlock();
    if (exchange->refusal) {
        throw OperatorError(std::move(*exchange->refusal));
    }
    if (exchange->failure) {
        std::rethrow_exception(exchange->failure);
    }
}

int CaptureWorker::abandoned() {
    return abandonedWorkers.load() + stopsUnderway.load();
}
