#include "row_recording.h"

#include "operator_error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

using Kind = OperatorError::Kind;

} // namespace

RowRecording::RowRecording(std::string path, const std::string& header) : path_(std::move(path)) {
    try {
        open(header);
    } catch (...) {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        throw;
    }
}

RowRecording::~RowRecording() {
    ::close(descriptor_);
}

// The name is looked at first, so that a device is never opened at all; the
// open itself does not wait on a FIFO, and what it opened is looked at again,
// in case the name changed in between.
void RowRecording::open(const std::string& header) {
    struct stat info {};
    if (::stat(path_.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        throw OperatorError(Kind::FileTargetNotRegular, path_);
    }
    descriptor_ = ::open(path_.c_str(),
                         O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
    if (descriptor_ < 0 && (errno == ENXIO || errno == EISDIR)) {
        throw OperatorError(Kind::FileTargetNotRegular, path_);
    }
    if (descriptor_ < 0 || ::fstat(descriptor_, &info) != 0) {
        throw OperatorError(Kind::FileNotWritten, path_, std::strerror(errno));
    }
    if (!S_ISREG(info.st_mode)) {
        throw OperatorError(Kind::FileTargetNotRegular, path_);
    }
    // Writes to a regular file wait for the disk as usual.
    const int flags = ::fcntl(descriptor_, F_GETFL);
    if (flags < 0 || ::fcntl(descriptor_, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        throw OperatorError(Kind::FileNotWritten, path_, std::strerror(errno));
    }
    if (info.st_size == 0) {
        writeWhole(header + "\n", 0);
    }
}

void RowRecording::append(const std::string& line) {
    writeWhole(line + "\n", namedSize());
    ++rows_;
}

// Removed, moved or replaced, the file would take rows that nobody finds.
off_t RowRecording::namedSize() const {
    struct stat opened {};
    struct stat named {};
    if (::fstat(descriptor_, &opened) != 0 || ::stat(path_.c_str(), &named) != 0 ||
        opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
        throw OperatorError(Kind::RecordingFileGone, path_);
    }
    return opened.st_size;
}

void RowRecording::writeWhole(const std::string& bytes, off_t start) {
    std::string_view rest = bytes;
    while (!rest.empty()) {
        const ssize_t written = ::write(descriptor_, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            const int reason = written == 0 ? ENOSPC : errno;
            // Where even that fails, the message cannot promise whole rows.
            std::vector<std::string> kept;
            if (::ftruncate(descriptor_, start) == 0) {
                kept.push_back(std::to_string(rows_));
            }
            throw OperatorError(Kind::RecordingStopped, path_, std::strerror(reason),
                                std::move(kept));
        }
        rest.remove_prefix(static_cast<std::size_t>(written));
    }
}
