#pragma once

#include "capture.h"
#include "operator_error.h"

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

// Runs a capture on a thread of its own, as libsigrok's event loop needs, and
// waits for it with a deadline on each phase. A phase that overruns makes the
// capture give up with that phase's error; the thread, perhaps blocked in a
// driver call for good, is left to itself and never joined, holding what it
// uses, so that the program can still go on and end. The waiting thread
// itself makes no call that could block on a device.
class CaptureWorker {
public:
    // What the capture on the worker tells the waiting thread.
    class Progress {
    public:
        virtual ~Progress() = default;
        // A phase that must end within limit, or the capture fails with
        // overrun (a kind whose detail is the limit in seconds). stop, when
        // given, is called at the deadline on a thread of its own, and the
        // phase has a further grace period to end; a stop that has not
        // returned by then is left to itself, as the job is.
        virtual void enter(OperatorError::Kind overrun, std::chrono::milliseconds limit,
                           std::function<void()> stop = {}) = 0;
    };

    using Job = std::function<Capture(Progress&)>;
    // Called on the waiting thread every few milliseconds while it waits.
    using Idle = std::function<void()>;

    // How long a phase that was told to stop may take to end.
    static constexpr std::chrono::seconds kGrace{2};

    // Throws the job's OperatorError, or the overrun phase's with subject.
    static Capture run(Job job, const std::string& subject, const Idle& idle = {});
    // The same for a job that gives something other than a capture.
    template <typename Result>
    static Result perform(std::function<Result(Progress&)> job, const std::string& subject,
                          const Idle& idle = {}) {
        // The worker may outlive this call, so it holds the result's place too.
        const auto result = std::make_shared<std::optional<Result>>();
        wait([result, job = std::move(job)](Progress& progress) { *result = job(progress); },
             subject, idle);
        return std::move(**result);
    }

    // The error of a phase of kind that overran limit.
    static OperatorError overrun(OperatorError::Kind kind, const std::string& subject,
                                 std::chrono::milliseconds limit);

    // Workers given up on while still blocked, and stops not yet returned: a
    // driver they block in may hold state that must then be left alone.
    static int abandoned();

private:
    static void wait(std::function<void(Progress&)> job, const std::string& subject,
                     const Idle& idle);
};
