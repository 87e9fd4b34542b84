#include "capture_worker.h"

#include "thread_name.h"

#include <atomic>
#include <condition_variable>
#include <exception>
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

// Shared by the worker and the waiting thread, and kept alive by whichever
// of them ends last.
class Exchange final : public CaptureWorker::Progress {
public:
    void enter(Kind overrun, std::chrono::milliseconds limit,
               std::function<void()> stopping) override {
        const std::lock_guard lock(mutex);
        overrun_ = overrun;
        limit_ = limit;
        deadline = Clock::now() + limit;
        stop = std::move(stopping);
        changed.notify_all();
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
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(limit_).count();
        return {overrun_, subject, std::to_string(seconds)};
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

private:
    Kind overrun_ = Kind::DeviceScanStalled;
    std::chrono::milliseconds limit_ = kFirstPhase;
};

} // namespace

Capture CaptureWorker::run(Job job, const std::string& subject, const Idle& idle) {
    return perform(std::move(job), subject, idle);
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
    while (!exchange->finished) {
        const auto now = Clock::now();
        if (now >= exchange->deadline) {
            if (!exchange->stop) {
                abandonedWorkers.fetch_add(1);
                throw exchange->overrun(subject);
            }
            const auto stop = std::exchange(exchange->stop, nullptr);
            exchange->deadline = now + kGrace;
            lock.unlock();
            stop();
            lock.lock();
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
    if (exchange->refusal) {
        throw OperatorError(std::move(*exchange->refusal));
    }
    if (exchange->failure) {
        std::rethrow_exception(exchange->failure);
    }
}

int CaptureWorker::abandoned() {
    return abandonedWorkers.load();
}
