#pragma once

#include "bearing.h"
#include "capture_options.h"
#include "session.h"

#include <chrono>
#include <optional>

// What the window remembers between runs, and the only code that reads or
// writes it. Each value read back passes the checks the command line and
// the dialogs make; one that does not, edited by hand or written by another
// version, is taken as its default rather than trusted.
namespace WindowSettings {

// Where scans come from: the parallel port, an analyser or the simulator.
CaptureOptions::Source sourceChoice();
void saveSourceChoice(const CaptureOptions::Source& source);
// The receivers' geometry; none, and so no bearing, until one is given.
std::optional<Bearing::Geometry> geometry();
void saveGeometry(const Bearing::Geometry& geometry);
// Continuous scanning's row period; kRowPeriod until one is chosen.
std::chrono::milliseconds rowPeriod();
void saveRowPeriod(std::chrono::milliseconds period);
// Whether an analysis integrates every whole window held.
bool integrating();
void saveIntegrating(bool whole);
// Whether an analysis is the whitened correlation of every sample held.
bool whitening();
void saveWhitening(bool whitening);
// The session's choices, as remembered.
Session::Choices choices();

} // namespace WindowSettings
