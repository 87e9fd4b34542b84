#include "sector_correlator.h"

#include "thread_name.h"
#include "window_sums.h"

#include <cstdint>
#include <thread>

namespace {

// One agreement term: 1 when the bits are equal, 0 when they differ, worked out
// on 16-bit integers as the instrument always has.
double agreement(std::uint8_t reference, std::uint8_t compared) {
    const auto a = static_cast<std::int16_t>(reference);
    const auto b = static_cast<std::int16_t>(compared);
    return static_cast<std::int16_t>((1 - a) ^ b);
}

} // namespace

int SectorCorrelator::windowsIn(int samples) {
    return samples < kMinimumSamples ? 0 : (samples - kMaxLag) / kWindow;
}

const int SectorCorrelator::kRunPadding = WindowSums::kLanes;

int SectorCorrelator::integrate(const std::vector<std::uint8_t>& right,
                                const std::vector<std::uint8_t>& left, int samples,
                                SampleStore::Correlogram& leftSector,
                                SampleStore::Correlogram& rightSector) {
    // The lanes read past the last lag: the bits are copied with room after them.
    const auto padded = [](const std::vector<std::uint8_t>& bits) {
        std::vector<std::uint8_t> copy(bits);
        copy.resize(bits.size() + kRunPadding);
        return copy;
    };
    return integrate({{padded(right), padded(left), windowsIn(samples)}}, leftSector, rightSector);
}

SectorCorrelator::Sums::Sums() : left(WindowSums::kLanes), right(WindowSums::kLanes) {}

void SectorCorrelator::add(const std::vector<Run>& runs, Sums& sums) {
    int windows = 0;
    for (const Run& run : runs) {
        windows += run.windows;
    }
    if (windows == 0) {
        return;
    }
    const auto sector = [&runs](bool left, std::vector<double>& result) {
        for (const Run& run : runs) {
            const auto& reference = left ? run.left : run.right;
            const auto& compared = left ? run.right : run.left;
            WindowSums::add(reference.data(), compared.data(), run.windows, result.data());
        }
    };
    // One sector on another core meanwhile: they share nothing they write.
    std::thread other([&] {
        nameThisThread("settore");
        sector(false, sums.right);
    });
    sector(true, sums.left);
    other.join();
    sums.windows += windows;
}

int SectorCorrelator::mean(const Sums& sums, SampleStore::Correlogram& leftSector,
                           SampleStore::Correlogram& rightSector) {
    if (sums.windows == 0) {
        return 0;
    }
    for (int d = 0; d <= kMaxLag; ++d) {
        const auto lag = static_cast<std::size_t>(d);
        leftSector[lag] = sums.left[lag] / sums.windows;
        rightSector[lag] = sums.right[lag] / sums.windows;
    }
    return sums.windows;
}

int SectorCorrelator::integrate(const std::vector<Run>& runs, SampleStore::Correlogram& leftSector,
                                SampleStore::Correlogram& rightSector) {
    Sums sums;
    add(runs, sums);
    return mean(sums, leftSector, rightSector);
}

void SectorCorrelator::analyse(SampleStore& store, const LagConsumer& consumer) {
    computeSector(store, Side::Left, consumer);
    computeSector(store, Side::Right, consumer);
}

void SectorCorrelator::computeSector(SampleStore& store, Side sector, const LagConsumer& consumer) {
    const bool left = sector == Side::Left;
    const auto& reference = left ? store.channelLeft : store.channelRight;
    const auto& compared = left ? store.channelRight : store.channelLeft;
    auto& result = left ? store.correlationLeft : store.correlationRight;

    for (int d = 0; d <= kMaxLag; ++d) {
        result[d] = 0.0;
    }
    for (int d = 0; d <= kMaxLag; ++d) {
        // Multiply, then add, rounding each to double: the build forbids
        // contracting the two into a fused multiply-add.
        double value = 0.0;
        for (int i = 1; i <= kWindow; ++i) {
            value = value * kDecay + agreement(reference[i], compared[i + d]);
        }
        result[d] = value;
        consumer(sector, d, value);
    }
}
