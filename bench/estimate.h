#pragma once

#include "scenes.h"

#include <functional>
#include <limits>
#include <string>

// What an estimator says of one scene: whether it claims a source, the lag
// it finds there (samples, signed as Scene::lag), the interval it gives that
// lag, if any, and how far its peak stands out.
struct Estimate {
    bool claimed = false;
    double lag = 0.0;
    double low = std::numeric_limits<double>::quiet_NaN();
    double high = std::numeric_limits<double>::quiet_NaN();
    double contrast = 0.0;
};

using Estimator = std::function<Estimate(const Scene&)>;

struct NamedEstimator {
    std::string name;
    Estimator estimate;
};
