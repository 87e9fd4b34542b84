#include "follower.h"

#include "correlation_noise.h"
#include "stream_buffer.h"
#include "stream_cutter.h"
#include "thread_name.h"
#include "whitened_correlator.h"

#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using namespace std::chrono_literals;

// How long the analysis sleeps at most between looks at the stream.
constexpr auto kPoll = 50ms;

} // namespace

// What the threads share with the Follower, kept alive by the last of them.
struct Follower::Shared {
    Shared(std::size_t capacity, std::uint64_t rowSamples, bool recorded)
        : buffer(capacity, rowSamples, recorded) {}

    StreamBuffer buffer;
    std::atomic<bool> stopAsked{false};
    std::mutex mutex; // the handlers and the ends
    std::condition_variable changed;
    Handlers handlers;
    bool calling = false; // a handler runs, outside the lock
    bool streamEnded = false;
    std::optional<OperatorError> fault;
    bool ended = false;

    // Calls call with the handlers as they stand, outside the lock; a row
    // only while the mode is not stopped.
    template <typename Call> void callHandler(bool row, Call&& call) {
        Handlers current;
        {
            const std::lock_guard lock(mutex);
            if (row && stopAsked) {
                return;
            }
            current = handlers;
            calling = true;
        }
        call(current);
        const std::lock_guard lock(mutex);
        calling = false;
        changed.notify_all();
    }
};

namespace {

std::size_t samplesIn(const SectorCorrelator::Run& run) {
    return static_cast<std::size_t>(run.windows) * kWindow + kMaxLag;
}

// The whitened correlation of every run's samples, blocks never spanning a
// gap.
void whiten(const std::vector<SectorCorrelator::Run>& runs, Follower::Row& row) {
    WhitenedCorrelator correlator;
    for (const auto& run : runs) {
        if (run.windows > 0) {
            correlator.add(run.right.data() + 1, run.left.data() + 1, samplesIn(run));
        }
    }
    row.axis = correlator.coefficients();
    row.noise.floor = correlator.noiseFloor();
    row.basis = {Bearing::Basis::Kind::Whitened, row.windows, correlator.samples()};
}

Follower::Row analysed(StreamCutter::Row cut, std::uint64_t rate,
                       const Follower::Analysis& analysis) {
    Follower::Row row;
    row.index = cut.index;
    row.firstSample = cut.firstSample;
    row.lost = cut.lost;
    row.windows = cut.windows;
    if (row.windows > 0) {
        // The noise is told by the first run's bits, a row's longest but
        // for a loss.
        const auto& first = cut.runs.front();
        row.noise = CorrelationNoise::of(first.right.data() + 1, first.left.data() + 1,
                                         samplesIn(first), row.windows);
        if (analysis.whitening) {
            whiten(cut.runs, row);
        } else {
            SampleStore::Correlogram left{};
            SampleStore::Correlogram right{};
            SectorCorrelator::integrate(cut.runs, left, right);
            row.axis = Bearing::signedAxis(left, right);
            row.basis = {Bearing::Basis::Kind::Mean, row.windows, 0};
        }
        row.result = Bearing::assess(row.axis, rate, row.basis, row.noise,
                                     {cut.stuckRight, cut.stuckLeft}, analysis.geometry);
    }
    row.runs = std::move(cut.runs);
    return row;
}

} // namespace

Follower::Follower(std::shared_ptr<SampleStream> source, std::chrono::milliseconds period,
                   Analysis analysis, Handlers handlers, std::size_t bufferSamples) {
    const std::uint64_t rate = source->streamRate();
    const StreamCutter cutting(rate, period);
    shared_ = std::make_shared<Shared>(bufferSamples, cutting.rowSamples(), source->recorded());
    period_ = cutting.period();
    raised_ = cutting.periodRaised();
    shared_->handlers = std::move(handlers);

    // The stream, under the capture worker's deadlines.
    std::thread([shared = shared_, source] {
        nameThisThread("attesa");
        std::optional<OperatorError> fault;
        try {
            CaptureWorker::perform<bool>(
                [shared, source](CaptureWorker::Progress& progress) {
                    source->stream(shared->buffer, progress);
                    return true;
                },
                source->subject());
        } catch (const OperatorError& error) {
            fault = error;
        } catch (const std::exception& error) {
            fault = OperatorError(OperatorError::Kind::DeviceUnexpected, source->subject(),
                                  error.what());
        }
        {
            const std::lock_guard lock(shared->mutex);
            shared->streamEnded = true;
            shared->fault = std::move(fault);
            shared->changed.notify_all();
        }
        shared->buffer.stop();
    }).detach();

    // The analysis: rows as the stream completes them, in order. After a
    // fault the rows the stream completed are still given; after a stop,
    // nothing more.
    std::thread([shared = shared_, rate, period, analysis, recorded = source->recorded()] {
        nameThisThread("analisi");
        StreamCutter cutter(rate, period);
        for (;;) {
            const auto pieces = shared->buffer.wait(kPoll);
            for (const auto& piece : pieces) {
                if (shared->stopAsked) {
                    break;
                }
                if (piece.lost > 0) {
                    cutter.lose(piece.lost);
                } else {
                    cutter.take(piece.samples);
                }
                for (auto& cut : cutter.finished()) {
                    Row row = analysed(std::move(cut), rate, analysis);
                    if (!recorded) {
                        row.arrived = piece.arrivedOnTheClock;
                    }
                    row.arrivedSteady = piece.arrived;
                    shared->callHandler(true, [&row](const Handlers& current) {
                        if (current.row) {
                            current.row(std::move(row));
                        }
                    });
                }
            }
            if (shared->stopAsked) {
                break;
            }
            const std::lock_guard lock(shared->mutex);
            if (shared->streamEnded && pieces.empty()) {
                break;
            }
        }
        End end;
        {
            // The stream's thread ends within its worker's deadlines.
            std::unique_lock lock(shared->mutex);
            shared->changed.wait(lock, [&] { return shared->streamEnded; });
            end.fault = shared->fault;
            end.reachedEnd = recorded && !end.fault && !shared->stopAsked;
        }
        shared->callHandler(false, [&end](const Handlers& current) {
            if (current.ended) {
                current.ended(end);
            }
        });
        const std::lock_guard lock(shared->mutex);
        shared->ended = true;
        shared->changed.notify_all();
    }).detach();
}

Follower::~Follower() {
    stop();
    std::unique_lock lock(shared_->mutex);
    shared_->handlers = {};
    shared_->changed.wait_for(lock, kHandlerLimit, [this] { return !shared_->calling; });
}

void Follower::stop() {
    shared_->stopAsked = true;
    shared_->buffer.stop();
}

bool Follower::waitForEnd(std::chrono::milliseconds limit) {
    std::unique_lock lock(shared_->mutex);
    return shared_->changed.wait_for(lock, limit, [this] { return shared_->ended; });
}

std::uint64_t Follower::droppedSamples() const {
    return shared_->buffer.dropped();
}
