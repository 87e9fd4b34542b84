#pragma once

#include "capture_files.h"
#include "capture_options.h"

#include <utility>

// Captures kept as sigrok session files, read on the receivers' channels.
class SessionFiles final : public CaptureFiles {
public:
    explicit SessionFiles(CaptureOptions::Channels channels) : channels_(std::move(channels)) {}

    std::shared_ptr<CaptureSource> open(const std::string& path) override;
    std::shared_ptr<CaptureSource> openWith(const std::string& path,
                                            const CaptureOptions::Channels& channels) override;
    // Throws FileReadStalled when checking the file's start overruns.
    std::shared_ptr<SampleStream> stream(const std::string& path,
                                         const CaptureOptions::Channels& channels) override;
    void save(const std::string& path, std::span<const std::uint8_t> samples,
              std::uint64_t sampleRate) override;

private:
    CaptureOptions::Channels channels_;
};
