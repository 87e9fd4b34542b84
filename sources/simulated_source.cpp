#include "simulated_source.h"

#include "instrument_constants.h"

#include <algorithm>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Generating a piece takes microseconds; this only bounds a system that
// holds the worker up for good.
constexpr std::chrono::seconds kPieceLimit{5};
// How long a wait may go without looking whether the stream should end.
constexpr std::chrono::milliseconds kSlice{2};

// Waits until due or until the sink asks the stream to end; whether it did.
bool waitUntil(Clock::time_point due, const StreamSink& sink) {
    for (auto now = Clock::now(); now < due; now = Clock::now()) {
        if (sink.stopping()) {
            return false;
        }
        std::this_thread::sleep_for(std::min<Clock::duration>(due - now, kSlice));
    }
    return !sink.stopping();
}

// How long count samples last at rate, in double seconds, which stay exact
// to the nanosecond for weeks of samples.
Clock::duration timeOf(std::uint64_t count, std::uint64_t rate) {
    return std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(static_cast<double>(count) / static_cast<double>(rate)));
}

} // namespace

MovingNoise SimulatedSource::motion() {
    return MovingNoise(simulation_, seed_ + runs_++);
}

Capture SimulatedSource::capture(CaptureWorker::Progress& progress) {
    progress.enter(OperatorError::Kind::SimulationStalled, kPieceLimit);
    std::vector<std::uint8_t> samples(kSamples);
    motion().fill(samples);
    return {std::move(samples), simulation_.rate, SimulatedSourceOrigin{simulation_}};
}

// Every piece is due on one grid from the start. Each piece's phase lasts
// until it is due, however slow the rate.
void SimulatedSource::stream(StreamSink& sink, CaptureWorker::Progress& progress) {
    MovingNoise noise = motion();
    const std::uint64_t rate = simulation_.rate;
    std::vector<std::uint8_t> piece(std::clamp(
        rate * static_cast<std::uint64_t>(kPiece.count()) / 1'000, kFewestSamples, kMostSamples));
    const Clock::time_point start = Clock::now();
    std::uint64_t given = 0;
    for (;;) {
        given += piece.size();
        const Clock::time_point due = start + timeOf(given, rate);
        const auto wait = std::max(due - Clock::now(), Clock::duration::zero());
        progress.enter(OperatorError::Kind::SimulationStalled,
                       std::chrono::ceil<std::chrono::milliseconds>(wait) + kPieceLimit);
        noise.fill(piece);
        if (!waitUntil(due, sink)) {
            return;
        }
        sink.take(piece);
    }
}

std::string SimulatedSource::subject() const {
    return "simulatore";
}
