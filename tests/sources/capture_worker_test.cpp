// The worker that every capture runs on: a phase that never ends costs its
// deadline and a message, never a hung caller.

#include "capture_worker.h"

#include <future>
#include <gtest/gtest.h>
#include <memory>

namespace {

using Kind = OperatorError::Kind;
using namespace std::chrono_literals;

// A phase that overruns gives its own error, and the caller goes on while
// the job stays blocked; a phase told to stop that then ends gives the
// job's own result.
TEST(CaptureWorker, APhaseThatOverrunsGivesItsErrorAndTheCallerGoesOn) {
    const struct {
        bool stoppable;
        Kind expected;
    } cases[] = {{false, Kind::DeviceStartStalled}, {true, Kind::DeviceShortCapture}};
    for (const auto& c : cases) {
        std::promise<void> release;
        std::shared_future<void> released = release.get_future().share();
        int idles = 0;
        try {
            CaptureWorker::run(
                [released, stoppable = c.stoppable](CaptureWorker::Progress& progress) -> Capture {
                    if (!stoppable) {
                        progress.enter(Kind::DeviceStartStalled, 50ms);
                        released.wait();
                        return {};
                    }
                    auto stopped = std::make_shared<std::promise<void>>();
                    auto ended = stopped->get_future();
                    progress.enter(Kind::DeviceStartStalled, 50ms,
                                   [stopped] { stopped->set_value(); });
                    ended.wait();
                    throw OperatorError(Kind::DeviceShortCapture, "demo", "0");
                },
                "demo", [&] { ++idles; });
            ADD_FAILURE() << "no error";
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), c.expected);
            EXPECT_EQ(error.subject(), "demo");
            if (!c.stoppable) {
                EXPECT_EQ(error.detail(), "1") << "the limit in whole seconds";
            }
        }
        release.set_value();
        EXPECT_GT(idles, 0) << "the waiting thread did its idle work";
    }
    EXPECT_EQ(CaptureWorker::abandoned(), 1);
}

} // namespace
