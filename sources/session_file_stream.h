#pragma once

#include "capture_options.h"
#include "sample_stream.h"
#include "session_archive.h"

#include <cstdint>
#include <string>

// A sigrok session file (.sr) played as a recording: the receivers' two bits
// of every sample, first to last, at the file's rate, a piece at a time, so
// that a file of any length takes the same memory.
class SessionFileStream final : public SampleStream {
public:
    // Checks the file as opening it for a scan does, and throws
    // OperatorError with a File kind naming path where that refuses it.
    SessionFileStream(std::string path, const CaptureOptions::Channels& channels);

    // Throws FileCorrupt naming the entry that fails, once the samples read
    // before it were given: those of that entry's start among them, as its
    // checksum is known only at its end.
    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override;
    bool recorded() const override { return true; }
    std::uint64_t streamRate() const override { return opened_.checked.sampleRate(); }
    std::string subject() const override { return path_; }

    // The receivers' channels read.
    const CaptureOptions::Channels& channels() const { return opened_.receivers.channels; }

private:
    std::string path_;
    SessionArchive::Opened opened_;
};
