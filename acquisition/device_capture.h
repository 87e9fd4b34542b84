#pragma once

#include "capture_options.h"
#include "capture_source.h"

#include <chrono>
#include <cstdint>
#include <functional>

namespace sigrok {
class Device;
}

// A scan from a logic analyser that libsigrok drives, on the analyser's own
// clock: kSamples samples of the two receivers' channels. The device is found
// and opened for each scan and closed when it ends, so that other programs
// can use it in between. Failures throw OperatorError with a Device kind.
class DeviceCapture final : public CaptureSource {
public:
    // Called on the opened device after it has been set up for the scan, to
    // change what the command line cannot, such as a demo pattern.
    using Setup = std::function<void(sigrok::Device&)>;

    // Checks the driver and its scan options against libsigrok's, and throws
    // OperatorError naming what exists when one is unknown.
    DeviceCapture(CaptureOptions::DeviceSpec device, CaptureOptions::Channels channels,
                  std::uint64_t sampleRate, Setup setup = {});

    // Captures on a thread of its own, which libsigrok's event loop needs,
    // and waits for it: the caller's thread takes no events meanwhile.
    void scan(SampleStore& store) override;
    std::uint64_t sampleRate() const override { return sampleRate_; }

    // Longest a capture may run before it is stopped: twice its own length,
    // with room to open the device and load its firmware.
    std::chrono::milliseconds timeLimit() const;

private:
    CaptureOptions::DeviceSpec device_;
    CaptureOptions::Channels channels_;
    std::uint64_t sampleRate_;
    Setup setup_;
};
