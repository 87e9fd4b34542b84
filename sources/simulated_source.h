#pragma once

#include "capture_options.h"
#include "capture_source.h"
#include "moving_noise.h"
#include "sample_stream.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

// A noise source that stands still or moves back and forth, as a scan or a
// stream at the simulation's rate. Each capture and each stream starts the
// motion afresh with noise of its own, the same for the same seed.
class SimulatedSource final : public CaptureSource, public SampleStream {
public:
    static constexpr std::uint64_t kSeed = 20'261'208;
    // A stream hands its samples on in pieces of this much time, within
    // these sizes at the lowest and highest rates.
    static constexpr std::chrono::milliseconds kPiece{4};
    static constexpr std::uint64_t kFewestSamples = 64;
    static constexpr std::uint64_t kMostSamples = 4'194'304;

    explicit SimulatedSource(const CaptureOptions::Simulation& simulation,
                             std::uint64_t seed = kSeed)
        : simulation_(simulation), seed_(seed) {}

    // kSamples samples from the start of the motion, at once.
    Capture capture(CaptureWorker::Progress& progress) override;
    // The motion in real time, each piece given once its last sample is due.
    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override;
    std::uint64_t streamRate() const override { return simulation_.rate; }
    std::string subject() const override;

private:
    MovingNoise motion();

    CaptureOptions::Simulation simulation_;
    std::uint64_t seed_;
    // Captures and streams started, each with the next seed: they may run on
    // workers of their own at once.
    std::atomic<std::uint64_t> runs_{0};
};
