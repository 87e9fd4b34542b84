#pragma once

#include "capture_options.h"
#include "capture_source.h"
#include "sample_stream.h"

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Where captures are kept and opened again: the file format stays out of the
// window, which only names the files.
class CaptureFiles {
public:
    virtual ~CaptureFiles() = default;

    // A source whose scan reads the capture at path, on the receivers'
    // channels the program was given.
    virtual std::shared_ptr<CaptureSource> open(const std::string& path) = 0;
    // The same on channels the operator picked for this file.
    virtual std::shared_ptr<CaptureSource> openWith(const std::string& path,
                                                    const CaptureOptions::Channels& channels) = 0;
    // A recording that plays every sample of the capture at path, on
    // channels; throws OperatorError when the file cannot be played.
    virtual std::shared_ptr<SampleStream> stream(const std::string& path,
                                                 const CaptureOptions::Channels& channels) = 0;
    // Keeps samples taken at sampleRate, the right receiver on bit 0 and the
    // left on bit 1, at path; throws OperatorError when it cannot.
    virtual void save(const std::string& path, std::span<const std::uint8_t> samples,
                      std::uint64_t sampleRate) = 0;
};
