#pragma once

#include "zip_handles.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <zip.h>

// A session's logic data as libsigrok's loader takes it: the entry the
// metadata name, or else that name's chunks numbered from 1, one after
// another. libzip checks each entry's checksum as it reads the entry's end.
class LogicEntries {
public:
    // archive outlives this; subject names the file in errors.
    LogicEntries(zip_t* archive, std::string captureFile, std::string subject)
        : archive_(archive), captureFile_(std::move(captureFile)), subject_(std::move(subject)) {}

    // The next bytes, up to the buffer's size; 0 at the end of the data.
    // Throws OperatorError naming the entry: FileCorrupt when it fails its
    // checksum or cannot be unpacked, FileCompressionUnsupported.
    std::size_t read(std::span<std::uint8_t> buffer);

private:
    // Opens the entry after the one read to its end, if there is one.
    void openNext();

    zip_t* archive_;
    std::string captureFile_;
    std::string subject_;
    int chunk_ = -1; // 0 for the one entry, else the chunk's number
    std::string name_;
    ZipHandles::Entry entry_;
    bool ended_ = false;
};
