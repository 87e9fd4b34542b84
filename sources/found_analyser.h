#pragma once

#include "offered_rates.h"

#include <string>
#include <vector>

// An analyser that a driver's scan found, as the operator picks it.
struct FoundAnalyser {
    // How -d names it, as "fx2lafw:conn=1.5", or the driver alone.
    std::string address;
    std::string connection; // empty for a driver that needs none
    std::string vendor;
    std::string model;
    std::vector<std::string> logicChannels; // in index order
    OfferedRates rates;

    // "Saleae Logic"; the demo has no vendor.
    std::string name() const { return vendor.empty() ? model : vendor + " " + model; }
};
