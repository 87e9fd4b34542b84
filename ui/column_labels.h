#pragma once

#include "bearing.h"

#include <QString>
#include <cstdint>
#include <vector>

// Round values along the signed lag axis for the bearing-time display's
// columns: degrees for a baseline, metres from the right sensor along a
// pipe, each at the lag where the geometry puts it at that rate.
namespace ColumnLabels {

struct Label {
    double lag; // fractional, negative on the left
    QString text;
    bool operator==(const Label&) const = default;
};

// Left to right.
std::vector<Label> of(std::uint64_t sampleRate, const Bearing::Geometry& geometry);

} // namespace ColumnLabels
