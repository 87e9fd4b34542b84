#pragma once

#include "capture_options.h"
#include "capture_source.h"
#include "found_analyser.h"
#include "operator_error.h"
#include "sample_stream.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace sigrok {
class Device;
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
// clock: kSamples samples of the two receivers' channels, with the device
// options the operator gave. The device is found
// and opened for each scan and closed when it ends, so that other programs
// can use it in between. Failures throw OperatorError with a Device kind.
class DeviceCapture final : public CaptureSource, public SampleStream {
public:
    // Called on the opened device after it has been set up for the scan, to
    // change what the command line cannot, such as a demo pattern.
    using Setup = std::function<void(sigrok::Device&)>;
    // Called on the worker as each phase starts, with the kind the phase
    // fails with: a place to hold a phase up. A stop made at a deadline from
    // outside calls it too, with the stop's kind, on the thread that stops.
    using PhaseStarted = std::function<void(OperatorError::Kind phase)>;

    // Checks the driver and its scan options against libsigrok's, and throws
    // OperatorError naming what exists when one is unknown.
    explicit DeviceCapture(CaptureOptions::Analyser analyser, Setup setup = {},
                           DeviceLimits limits = {}, PhaseStarted phaseStarted = {});

    // The drivers libsigrok classes as logic analysers' drivers (some
    // oscilloscopes with logic channels among them).
    static std::vector<std::string> analyserDrivers();
    // Scans for where's devices, each opened to read its rates, on the
    // capture worker.
    static std::vector<FoundAnalyser> find(const CaptureOptions::DeviceSpec& where,
                                           CaptureWorker::Progress& progress,
                                           const DeviceLimits& limits = {});

    Capture capture(CaptureWorker::Progress& progress) override;
    // Continuous acquisition, without a sample limit.
    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override;
    std::uint64_t streamRate() const override { return analyser_.sampleRate; }
    std::string subject() const override { return analyser_.device.text; }

    std::chrono::milliseconds acquisitionLimit() const;

private:
    // A sample limit of 0 acquires continuously.
    template <typename Acquire>
    void withSession(CaptureWorker::Progress& progress, std::uint64_t limit,
                     Acquire&& acquire) const;
    void enter(CaptureWorker::Progress& progress, OperatorError::Kind phase,
               std::chrono::milliseconds limit, std::function<void()> stop = {}) const;

    CaptureOptions::Analyser analyser_;
    Setup setup_;
    DeviceLimits limits_;
    PhaseStarted phaseStarted_;
};
