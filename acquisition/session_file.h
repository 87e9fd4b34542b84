#pragma once

#include "capture_options.h"
#include "capture_source.h"

#include <cstdint>
#include <span>
#include <string>

// A capture kept in a sigrok session file (.sr), the format of PulseView and
// sigrok-cli. Opening one is a scan like any other: its first kSamples
// samples of the receivers' two channels, zeros past its end. Failures throw
// OperatorError with a File kind naming the file.
class SessionFile final : public CaptureSource {
public:
    // Fewer samples than the analysis reads make no scan.
    static constexpr int kMinimumSamples = 1320;

    SessionFile(std::string path, CaptureOptions::Channels channels);

    void scan(SampleStore& store) override;
    // The rate the file declares, once a scan has read it.
    std::uint64_t sampleRate() const override { return sampleRate_; }

    // Writes samples, the right receiver on bit 0 and the left on bit 1, as
    // the logic channels D0 and D1 of a session file at sampleRate. The file
    // is written under a temporary name and then renamed, so that a failure
    // leaves an older file of that name as it was.
    static void write(const std::string& path, std::span<const std::uint8_t> samples,
                      std::uint64_t sampleRate);

private:
    std::string path_;
    CaptureOptions::Channels channels_;
    std::uint64_t sampleRate_ = CaptureOptions::kDefaultSampleRate;
};
