#include "offered_rates.h"

#include "instrument_constants.h"

#include <algorithm>

bool OfferedRates::offers(std::uint64_t rate) const {
    if (range) {
        const auto [lowest, highest, step] = *range;
        return rate >= lowest && rate <= highest && (step == 0 || (rate - lowest) % step == 0);
    }
    return listed.empty() || std::find(listed.begin(), listed.end(), rate) != listed.end();
}

std::vector<std::uint64_t> OfferedRates::choices() const {
    std::vector<std::uint64_t> rates;
    if (range) {
        const auto [lowest, highest, step] = *range;
        rates.push_back(lowest);
        for (std::uint64_t decade = 1;; decade *= 10) {
            for (const std::uint64_t digit : {1, 2, 5}) {
                if (const std::uint64_t rate = digit * decade;
                    rate > lowest && rate < highest && offers(rate)) {
                    rates.push_back(rate);
                }
            }
            if (decade > highest / 10) {
                break;
            }
        }
        rates.push_back(highest);
    } else {
        rates = listed;
    }
    std::erase_if(rates, [](std::uint64_t rate) { return rate < kLowestScanRate; });
    std::sort(rates.begin(), rates.end());
    rates.erase(std::unique(rates.begin(), rates.end()), rates.end());
    return rates;
}
