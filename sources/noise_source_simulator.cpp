#include "noise_source_simulator.h"

#include <cmath>
#include <stdexcept>
#include <string>

std::uint8_t NoiseSourceSimulator::nextBit() {
    // r * 100 is exact in double for any float r; an odd hundredth gives 1.
    const double n = std::floor(static_cast<double>(random_.next()) * 100.0);
    return static_cast<std::uint8_t>(static_cast<int>(n) % 2);
}

void NoiseSourceSimulator::simulate(SampleStore& store, Side side, int delay) {
    if (delay < 0 || delay > kMaxLag) {
        throw std::out_of_range("simulated delay " + std::to_string(delay) + " outside 0.." +
                                std::to_string(kMaxLag));
    }
    // The copy is read D samples ahead in the noise, so the source's own side
    // sees every noise value D samples before the other side does.
    auto& noise = side == Side::Left ? store.channelRight : store.channelLeft;
    auto& copy = side == Side::Left ? store.channelLeft : store.channelRight;

    store.simulatedDelay = static_cast<std::int16_t>(delay);
    for (int i = 0; i + kBlockLength - 1 <= kLastGenerated; i += kBlockLength) {
        const std::uint8_t bit = nextBit();
        for (int j = 0; j < kBlockLength; ++j) {
            noise[i + j] = bit;
        }
    }
    for (int i = 1; i <= kLastCopied; ++i) {
        copy[i] = noise[i + delay];
    }
}
