#pragma once

#include "capture_options.h"
#include "capture_source.h"
#include "found_analyser.h"
#include "operator_error.h"
#include "sample_stream.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sigrok {
class Device;
class Session;
} // namespace sigrok

namespace SigrokRecorder {
struct ChannelBits;
}

// How long each phase of a device scan may take. A device that hangs in a
// phase costs that long and a message. The acquisition may take twice its
// own length and the margin besides.
struct DeviceLimits {
    std::chrono::milliseconds scan{std::chrono::seconds(10)};
    std::chrono::milliseconds open{std::chrono::seconds(20)}; // firmware uploads take seconds
    std::chrono::milliseconds start{std::chrono::seconds(5)};
    std::chrono::milliseconds acquisitionMargin{std::chrono::seconds(5)};
    std::chrono::milliseconds stop{std::chrono::seconds(5)};
    std::chrono::milliseconds close{std::chrono::seconds(5)};
};

// A scan from a logic analyser that libsigrok drives, on the analyser's own
// clock: kSamples samples of the two receivers' channels, or what a board
// with less memory holds, with the device options the operator gave. The
// device is found and opened for each scan and closed when it ends, so that
// other programs can use it in between. Failures throw OperatorError with a
// Device kind.
class DeviceCapture final : public CaptureSource, public SampleStream {
public:
    // Called on the opened device after it has been set up for the scan, to
    // change what the command line cannot, such as a demo pattern.
    using Setup = std::function<void(sigrok::Device&)>;
    // Called on the worker as each phase starts, with the kind the phase
    // fails with: a place to hold a phase up. A stop made at a deadline from
    // outside calls it too, with the stop's kind, on the thread that stops.
    using PhaseStarted = std::function<void(OperatorError::Kind phase)>;
    // What a board can do that drivers do not all offer.
    struct Board {
        bool streams = true;                 // acquires without end when given no limit
        std::optional<std::uint64_t> memory; // the samples it holds, when it says
    };
    // Asked of the opened device with the receivers' channels enabled, since
    // some boards hold more samples of fewer channels.
    using BoardQuery = std::function<Board(sigrok::Device&)>;
    static Board boardOf(sigrok::Device& device);

    // Checks the driver and its scan options against libsigrok's, and throws
    // OperatorError naming what exists when one is unknown.
    explicit DeviceCapture(CaptureOptions::Analyser analyser, Setup setup = {},
                           DeviceLimits limits = {}, PhaseStarted phaseStarted = {},
                           BoardQuery board = boardOf);

    // The drivers libsigrok classes as logic analysers' drivers (some
    // oscilloscopes with logic channels among them).
    static std::vector<std::string> analyserDrivers();
    // Scans for where's devices, each opened to read its rates, on the
    // capture worker.
    static std::vector<FoundAnalyser> find(const CaptureOptions::DeviceSpec& where,
                                           CaptureWorker::Progress& progress,
                                           const DeviceLimits& limits = {});

    Capture capture(CaptureWorker::Progress& progress) override;
    // Continuous acquisition, without a sample limit; from a board that
    // cannot stream, one capture after another, the time between them told
    // as lost samples.
    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override;
    std::uint64_t streamRate() const override { return analyser_.sampleRate; }
    std::string subject() const override { return analyser_.device.text; }

private:
    // What a run asks of each acquisition.
    struct Run {
        std::uint64_t wanted; // samples, at most
        bool streams;         // without a limit, where the board can
    };

    std::chrono::milliseconds acquisitionLimit(std::uint64_t samples) const;
    // The samples each acquisition asks for, 0 where the board streams;
    // throws DeviceMemoryTooSmall where it must fill its memory and that
    // holds too few for a window.
    std::uint64_t limitFor(const Board& board, Run run) const;
    // acquire is given the session, the channels' bits and the sample limit
    // set, 0 where the device acquires continuously.
    template <typename Acquire>
    void withSession(CaptureWorker::Progress& progress, Run run, Acquire&& acquire) const;
    void streamContinuously(const std::shared_ptr<sigrok::Session>& session,
                            const SigrokRecorder::ChannelBits& bits, StreamSink& sink,
                            CaptureWorker::Progress& progress) const;
    void followByCaptures(const std::shared_ptr<sigrok::Session>& session,
                          const SigrokRecorder::ChannelBits& bits, std::uint64_t limit,
                          StreamSink& sink, CaptureWorker::Progress& progress) const;
    void enter(CaptureWorker::Progress& progress, OperatorError::Kind phase,
               std::chrono::milliseconds limit, std::function<void()> stop = {}) const;

    CaptureOptions::Analyser analyser_;
    Setup setup_;
    DeviceLimits limits_;
    PhaseStarted phaseStarted_;
    BoardQuery board_;
};
