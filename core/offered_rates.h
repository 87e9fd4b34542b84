#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// The sample rates an analyser offers: one by one, or as a range with a
// step; a device that says neither is taken at its word.
struct OfferedRates {
    std::vector<std::uint64_t> listed;
    // The lowest, the highest and the step between them (0: any rate).
    std::optional<std::array<std::uint64_t, 3>> range;

    bool offers(std::uint64_t rate) const;
    // What the operator may pick from, from the lowest a scan accepts: the
    // list, or the 1-2-5 rates that the range offers, with its ends.
    std::vector<std::uint64_t> choices() const;
};
