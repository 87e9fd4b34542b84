#pragma once

#include "operator_error.h"

#include <deque>
#include <mutex>
#include <string>
#include <vector>

// The last warnings and errors libsigrok wrote. Its exceptions say no more
// than "generic/unspecified error": the reason a device could not be used is
// in these lines. Lines arrive from whichever thread runs libsigrok.
class LibsigrokLog {
public:
    void record(std::string line);
    void clear();
    std::vector<std::string> lines() const;
    // The lines in one, for a message.
    std::string text() const;

    // What the lines say went wrong with a device, or otherwise when they
    // tell nothing more specific.
    static OperatorError::Kind failureKind(const std::vector<std::string>& lines,
                                           OperatorError::Kind otherwise);

private:
    static constexpr std::size_t kKept = 4;

    mutable std::mutex mutex_;
    std::deque<std::string> lines_;
};
