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

// Every piece is due on one grid from the start, in double seconds, which
// stay exact to the nanosecond for months of samples.
void SimulatedSource::stream(StreamSink& sink, CaptureWorker::Progress& progress) {
    MovingNoise noise = motion();
    const std::uint64_t rate = simulation_.rate;
    std::vector<std::uint8_t> piece(std::clamp(
        rate * static_cast<std::uint64_t>(kPiece.count()) / 1'000, kFewestSamples, kMostSamples));
    const Clock::time_point start = Clock::now();
    std::uint64_t given = 0;
    for (;;) {
        progress.enter(OperatorError::Kind::SimulationStalled, kPieceLimit);
        noise.fill(piece);
        given += piece.size();
        const std::chrono::duration<double> due(static_cast<double>(given) /
                                                static_cast<double>(rate));
        if (!waitUntil(start + std::chrono::duration_cast<Clock::duration>(due), sink)) {
            return;
        }
        sink.take(piece);
    }
}

std::string SimulatedSource::subject() const {
    return "simulatore";
}
