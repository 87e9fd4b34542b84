#pragma once

#include "capture.h"
#include "capture_options.h"

#include <optional>
#include <string>

// Where the samples come from, in Italian, for the operator to see beside
// the result.

// Which channels were read when the data had none of the default names, or
// nothing when the channels were the default ones or named.
std::string channelsNote(const std::optional<CaptureOrigin>& origin);
// How many samples a board with less memory than a scan takes held, or
// nothing.
std::string memoryNote(const std::optional<CaptureOrigin>& origin);
// Both notes, those there are.
std::string originNotes(const std::optional<CaptureOrigin>& origin);
// The source of the window's scans: the port, or an analyser.
std::string sourceText(const CaptureOptions::Source& source);
