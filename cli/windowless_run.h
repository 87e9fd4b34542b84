#pragma once

#include "capture_files.h"
#include "capture_source.h"
#include "command_line.h"

#include <memory>
#include <ostream>

// The program's work without the window, for scripts and folders of
// captures: one scan from source, kept whole with --output, and analysed
// with --csv, the correlogram written to out. A failure writes the
// operator's message to err.
namespace WindowlessRun {

inline constexpr int kSucceeded = 0;
inline constexpr int kFailed = 1;

// Returns the program's exit status.
int run(const CommandLine& line, const std::shared_ptr<CaptureSource>& source, CaptureFiles& files,
        std::ostream& out, std::ostream& err);

} // namespace WindowlessRun
