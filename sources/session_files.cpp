#include "session_files.h"

#include "session_file.h"
#include "session_file_stream.h"

std::shared_ptr<CaptureSource> SessionFiles::open(const std::string& path) {
    return openWith(path, channels_);
}

std::shared_ptr<CaptureSource> SessionFiles::openWith(const std::string& path,
                                                      const CaptureOptions::Channels& channels) {
    return std::make_shared<SessionFile>(path, channels);
}

// Opening checks the file's start: on the capture worker, under the read's
// deadline, so that a file system that stops answering holds the caller up
// no longer than a scan of the file would.
std::shared_ptr<SampleStream> SessionFiles::stream(const std::string& path,
                                                   const CaptureOptions::Channels& channels) {
    return CaptureWorker::perform<std::shared_ptr<SampleStream>>(
        [path, channels](CaptureWorker::Progress& progress) -> std::shared_ptr<SampleStream> {
            progress.enter(OperatorError::Kind::FileReadStalled, SessionFile::kReadLimit);
            return std::make_shared<SessionFileStream>(path, channels);
        },
        path);
}

void SessionFiles::save(const std::string& path, std::span<const std::uint8_t> samples,
                        std::uint64_t sampleRate) {
    SessionFile::write(path, samples, sampleRate);
}
