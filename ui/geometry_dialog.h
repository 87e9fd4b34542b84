#pragma once

#include "bearing.h"

#include <cstdint>
#include <optional>

class QWidget;

// Asks for the receivers' geometry, starting from current or, without one,
// from a metre in air: two receivers in open space, or two sensors on a
// pipe; the distance between them and the speed of the waves, with presets
// for air and water, and for common water-filled pipes. Under the fields,
// what the lags see at sampleRate, the rate of the data held, as the fields
// change. Nothing when cancelled.
namespace GeometryDialog {

std::optional<Bearing::Geometry>
ask(QWidget* parent, const std::optional<Bearing::Geometry>& current, std::uint64_t sampleRate);

} // namespace GeometryDialog
