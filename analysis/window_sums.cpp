#include "window_sums.h"

#include "instrument_constants.h"
#include "sector_correlator.h"

#include <immintrin.h>

namespace WindowSums {

namespace {

// The lags go in tiles small enough for their running values to stay in
// vector registers through a whole window.
constexpr int kTile = 32;
static_assert(kLanes % kTile == 0);
// Doubles in an AVX-512 register, and registers in a tile, whose 32 bytes
// one comparison covers.
constexpr int kWidth = 8;
constexpr int kVectors = kTile / kWidth;

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

// The same work built for each instruction set. With AVX-512 the tile's
// agreements come straight from a byte comparison's mask, with no widening.
[[gnu::target("avx512f,avx512bw,avx512vl")]] void sumWindowsAvx512(const std::uint8_t* reference,
                                                                   const std::uint8_t* compared,
                                                                   int windows, double* sums) {
    const __m512d decay = _mm512_set1_pd(SectorCorrelator::kDecay);
    const __m512d one = _mm512_set1_pd(1.0);
    for (int w = 0; w < windows; ++w) {
        const std::uint8_t* ref = reference + static_cast<std::size_t>(w) * kWindow;
        for (int tile = 0; tile < kLanes; tile += kTile) {
            const std::uint8_t* cmp = compared + static_cast<std::size_t>(w) * kWindow + tile;
            __m512d value[kVectors];
            for (__m512d& lanes : value) {
                lanes = _mm512_setzero_pd();
            }
            for (int i = 1; i <= kWindow; ++i) {
                const __m256i ahead = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(cmp + i));
                const __mmask32 agrees =
                    _mm256_cmpeq_epi8_mask(ahead, _mm256_set1_epi8(static_cast<char>(ref[i])));
                for (int v = 0; v < kVectors; ++v) {
                    const __m512d agreement =
                        _mm512_maskz_mov_pd(static_cast<__mmask8>(agrees >> (kWidth * v)), one);
                    value[v] = _mm512_add_pd(_mm512_mul_pd(value[v], decay), agreement);
                }
            }
            for (int v = 0; v < kVectors; ++v) {
                double* sum = sums + tile + kWidth * v;
                _mm512_storeu_pd(sum, _mm512_add_pd(_mm512_loadu_pd(sum), value[v]));
            }
        }
    }
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
std::vector<Kernel> kernels() {
    std::vector<Kernel> found;
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vl")) {
        found.push_back(sumWindowsAvx512);
    }
    if (__builtin_cpu_supports("avx2")) {
        found.push_back(sumWindowsAvx2);
    }
    found.push_back(sumWindowsPlain);
    return found;
}

void add(const std::uint8_t* reference, const std::uint8_t* compared, int windows, double* sums) {
    static const Kernel chosen = kernels().front();
    chosen(reference, compared, windows, sums);
}

} // namespace WindowSums
