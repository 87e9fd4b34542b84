#pragma once

#include "offered_rates.h"

namespace sigrok {
class Device;
}

// The rates an open device lists, one by one or as a range with a step.
OfferedRates offeredRatesOf(sigrok::Device& device);
