#include "window_sums.h"

#include "instrument_constants.h"
#include "sector_correlator.h"

namespace WindowSums {

namespace {

// The lags go in tiles small enough for their running values to stay in
// vector registers through a whole window.
constexpr int kTile = 32;
static_assert(kLanes % kTile == 0);

[[gnu::always_inline]] inline void
sumWindows(const std::uint8_t* reference, const std::uint8_t* compared, int windows, double* sums) {
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

// The same work built for each instruction set.
[[gnu::target("avx512f")]] void sumWindowsAvx512(const std::uint8_t* reference,
                                                 const std::uint8_t* compared, int windows,
                                                 double* sums) {
    sumWindows(reference, compared, windows, sums);
}

[[gnu::target("avx2")]] void sumWindowsAvx2(const std::uint8_t* reference,
                                            const std::uint8_t* compared, int windows,
                                            double* sums) {
    sumWindows(reference, compared, windows, sums);
}

void sumWindowsPlain(const std::uint8_t* reference, const std::uint8_t* compared, int windows,
                     double* sums) {
    sumWindows(reference, compared, windows, sums);
}

} // namespace

// The instruction set is chosen at run time, so that the package runs on
// any x86-64 machine and uses the widest vectors it has. Chosen by hand
// rather than by the loader's indirect functions, which run before a
// sanitizer's runtime is ready.
void add(const std::uint8_t* reference, const std::uint8_t* compared, int windows, double* sums) {
    static const auto chosen = __builtin_cpu_supports("avx512f") ? sumWindowsAvx512
                               : __builtin_cpu_supports("avx2")  ? sumWindowsAvx2
                                                                 : sumWindowsPlain;
    chosen(reference, compared, windows, sums);
}

} // namespace WindowSums
