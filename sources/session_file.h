#pragma once

#include "capture_options.h"
#include "capture_source.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>

// A capture kept in a sigrok session file (.sr), the format of PulseView and
// sigrok-cli. Opening one is a scan like any other: its first kSamples
// samples of the receivers' two channels, at the file's rate. Failures throw
// OperatorError with a File kind naming the file.
class SessionFile final : public CaptureSource {
public:
    // Reading a file, or a piece of one played as a stream, takes a fraction
    // of a second; a file system that stops answering must not hold the
    // instrument up for longer than this.
    static constexpr std::chrono::seconds kReadLimit{10};

    SessionFile(std::string path, CaptureOptions::Channels channels);

    Capture capture(CaptureWorker::Progress& progress) override;
    std::string subject() const override { return path_; }

    // Writes samples, the right receiver on bit 0 and the left on bit 1, as
    // the logic channels D0 and D1 of a session file at sampleRate.
    static void write(const std::string& path, std::span<const std::uint8_t> samples,
                      std::uint64_t sampleRate);

private:
    std::string path_;
    CaptureOptions::Channels channels_;
};
