#pragma once

#include "capture_options.h"

#include <optional>

// The source the operator chose for the window's scans, remembered between
// runs: an analyser, or the parallel port (nothing).
namespace SourceSettings {

std::optional<CaptureOptions::Analyser> load();
void save(const std::optional<CaptureOptions::Analyser>& analyser);

} // namespace SourceSettings
