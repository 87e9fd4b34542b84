#pragma once

#include "capture_files.h"
#include "capture_source.h"
#include "capture_sources.h"
#include "command_line.h"
#include "session.h"

#include <atomic>
#include <chrono>
#include <functional>
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

// Writes text to out, and returns the program's exit status: kFailed, with
// the message on err, when out refused it.
int print(const std::string& text, std::ostream& out, std::ostream& err);

// Returns the program's exit status.
int run(const CommandLine& line, const std::shared_ptr<CaptureSource>& source, CaptureFiles& files,
        std::ostream& out, std::ostream& err);

// A capture to sum up, the name its row gives it, and for a file the same
// read whole as a recording, opened when it is read.
struct Named {
    std::string name;
    std::shared_ptr<CaptureSource> source;
    std::function<std::shared_ptr<SampleStream>()> recording;
};

// One CSV row per capture, with the header first: what each analysis found.
// A capture that fails gives its row with the message, and the others go
// on. Returns kFailed when any failed, or at once when out refuses a row,
// with the message on err.
int summarize(const CommandLine& line, const std::vector<Named>& captures, std::ostream& out,
              std::ostream& err);

// The whole listing takes at most this, however many drivers hang.
inline constexpr std::chrono::seconds kListingBound{15};

// The analysers found, as sigrok-cli --scan lists them: with where, its
// devices; without it, those of every logic analyser driver, one after the
// other, all within bound. A driver that fails is told on err, and the
// others go on; once the bound is spent, err names those that did not
// answer or were not reached. Returns kFailed when none is found or out
// refused the list.
int listAnalysers(CaptureSources& sources, const std::optional<CaptureOptions::DeviceSpec>& where,
                  std::chrono::milliseconds bound, std::ostream& out, std::ostream& err);

// Follows stream, whose samples come from origin, row by row through
// session: the header line, then one CSV line per row, flushed as it
// comes, until count rows, interrupted, the end of a recording (told on
// err), a fault or out refuses a line. A row period raised to one window's
// span is told on err. Returns kFailed after a fault or a refused line,
// with its message on err.
int follow(const CommandLine& line, Session& session, const std::shared_ptr<SampleStream>& stream,
           const CaptureOrigin& origin, const std::atomic<bool>& interrupted, std::ostream& out,
           std::ostream& err);

} // namespace WindowlessRun
