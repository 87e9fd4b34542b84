#include "logic_entries.h"

#include "operator_error.h"

std::size_t LogicEntries::read(std::span<std::uint8_t> buffer) {
    while (!buffer.empty()) {
        if (!entry_) {
            openNext();
        }
        if (ended_) {
            return 0;
        }
        const zip_int64_t got = zip_fread(entry_.get(), buffer.data(), buffer.size());
        if (got < 0) {
            throw OperatorError(OperatorError::Kind::FileCorrupt, subject_, name_);
        }
        if (got > 0) {
            return static_cast<std::size_t>(got);
        }
        entry_.reset();
        // One entry holds all the data; chunks go on to the first missing.
        ended_ = chunk_ == 0;
    }
    return 0;
}

void LogicEntries::openNext() {
    if (ended_) {
        return;
    }
    ++chunk_;
    name_ = chunk_ == 0 ? captureFile_ : captureFile_ + "-" + std::to_string(chunk_);
    entry_.reset(zip_fopen(archive_, name_.c_str(), 0));
    if (entry_) {
        return;
    }
    if (zip_error_code_zip(zip_get_error(archive_)) != ZIP_ER_NOENT) {
        throw ZipHandles::entryRefusal(archive_, subject_, name_);
    }
    if (chunk_ == 0) {
        openNext(); // no one entry: chunks, then
    } else {
        ended_ = true;
    }
}
