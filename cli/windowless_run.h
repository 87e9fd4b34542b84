#pragma once

#include "capture_files.h"
#include "capture_source.h"
#include "capture_sources.h"
#include "command_line.h"

#include <atomic>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

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

// A capture to sum up, and the name its row gives it.
struct Named {
    std::string name;
    std::shared_ptr<CaptureSource> source;
};

// One CSV row per capture, with the header first: what each analysis found.
// A capture that fails gives its row with the message, and the others go
// on. Returns kFailed when any failed.
int summarize(const CommandLine& line, const std::vector<Named>& captures, std::ostream& out);

// The analysers found, as sigrok-cli --scan lists them: with where, its
// devices; without it, those of every logic analyser driver. A driver that
// fails is told on err, and the others go on. Returns kFailed when none is
// found.
int listAnalysers(CaptureSources& sources, const std::optional<CaptureOptions::DeviceSpec>& where,
                  std::ostream& out, std::ostream& err);

// Follows a source row by row: the header line, then one CSV line per row,
// flushed as it comes, until count rows, interrupted or a fault. Returns
// kFailed after a fault, with its message on err.
int follow(const CommandLine& line, const std::shared_ptr<SampleStream>& stream,
           const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err);

} // namespace WindowlessRun
