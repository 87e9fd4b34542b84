#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

// The upper of the two middle values when there is an even number, as the
// instrument takes it; values must not be empty.
inline double median(std::vector<double> values) {
    const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}
