#include "window_sums.h"

#include "instrument_constants.h"
#include "sector_correlator.h"

namespace WindowSums {

// The lags go in tiles small enough for their running values to stay in
// vector registers through a whole window.
constexpr int kTile = 32;
static_assert(kLanes % kTile == 0);

// The instruction set is chosen at run time, so that the package runs on
// any x86-64 machine and uses the widest vectors it has.
__attribute__((target_clones("avx512f", "avx2", "default"))) void
add(const std::uint8_t* reference, const std::uint8_t* compared, int windows, double* sums) {
    for (int w = 0; w < windows; ++w) {
        const std::uint8_t* ref = reference + static_cast<std::size_t>(w) * kWindow;
        for (int tile = 0; tile < kLanes; tile += kTile) {
            const std::uint8_t* cmp = compared + static_cast<std::size_t>(w) * kWindow + tile;
            double value[kTile] = {};
            for (int i = 1; i <= kWindow; ++i) {
                const std::uint8_t bit = ref[i];
                const std::uint8_t* ahead = cmp + i;
                for (int d = 0; d < kTile; ++d) {
                    value[d] = value[d] * SectorCorrelator::kDecay + (bit == ahead[d] ? 1.0 : 0.0);
                }
            }
            for (int d = 0; d < kTile; ++d) {
                sums[tile + d] += value[d];
            }
        }
    }
}

} // namespace WindowSums
