#pragma once

#include "bearing.h"

#include <optional>

class QWidget;

// Asks for the receivers' geometry, starting from current or, without one,
// from a metre in air: the distance between the receivers and the speed of
// the waves, with presets for air and water. Nothing when cancelled.
namespace GeometryDialog {

std::optional<Bearing::Geometry> ask(QWidget* parent,
                                     const std::optional<Bearing::Geometry>& current);

} // namespace GeometryDialog
