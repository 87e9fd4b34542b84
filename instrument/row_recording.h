#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>

// The file a recording appends rows to, a whole line at a time: a line that
// cannot be written whole is taken back, so that the file always ends at the
// end of a row. Only a regular file is ever opened, and opening it never
// waits on a FIFO or a device.
class RowRecording {
public:
    // Opens path for appending, and writes the header line into a file that
    // is new or empty. Throws OperatorError naming path.
    RowRecording(std::string path, const std::string& header);
    RowRecording(const RowRecording&) = delete;
    RowRecording& operator=(const RowRecording&) = delete;
    ~RowRecording();

    // Appends line and its line end. Throws OperatorError, and then writes
    // nothing more, when the path no longer names the file opened or when
    // the line could not be written whole.
    void append(const std::string& line);

private:
    void open(const std::string& header);
    // The open file's size, while path still names it.
    off_t namedSize() const;
    // Appends bytes to a file of size start, or cuts it back to start.
    void writeWhole(const std::string& bytes, off_t start);

    std::string path_;
    int descriptor_ = -1;
    std::uint64_t rows_ = 0; // written whole by this recording
};
