#include "noise_source_simulator.h"
#include "sector_correlator.h"
#include "test_values.h"
#include "twister_random.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <vector>

namespace {

// Plays back chosen values, over and over, and counts the draws.
class ScriptedRandom final : public UniformRandom {
public:
    explicit ScriptedRandom(std::vector<float> values) : values_(std::move(values)) {}
    float next() override { return values_[draws++ % values_.size()]; }
    std::size_t draws = 0;

private:
    std::vector<float> values_;
};

constexpr int kBlocks =
    NoiseSourceSimulator::kLastGenerated / NoiseSourceSimulator::kBlockLength + 1;

bool sameStore(const SampleStore& a, const SampleStore& b) {
    return std::memcmp(&a, &b, sizeof(SampleStore)) == 0;
}

TEST(NoiseSourceSimulator, RefusesDelaysOutsideTheLagRangeAndLeavesTheStoreAlone) {
    ScriptedRandom random({0.3F});
    NoiseSourceSimulator simulator(random);
    auto store = std::make_unique<SampleStore>();
    store->channelLeft[5] = 1;
    store->simulatedDelay = 9;
    const auto before = std::make_unique<SampleStore>(*store);

    for (const int delay : {-1, 121, 30000, -32768}) {
        EXPECT_THROW(simulator.simulate(*store, Side::Left, delay), std::out_of_range);
        EXPECT_THROW(simulator.simulate(*store, Side::Right, delay), std::out_of_range);
    }
    EXPECT_TRUE(sameStore(*store, *before));
    EXPECT_EQ(random.draws, 0U);
}

TEST(NoiseSourceSimulator, OddHundredthsGiveOneComputedInDouble) {
    // 0.01f lies just below 0.01: in double r * 100 stays below 1 and the bit
    // is 0, where a single-precision product would round up to 1.
    const std::vector<float> draws = {0.0F, 0.01F, 0.015F, 0.5F, 0.995F, 0x1.fffffeP-1F};
    const std::vector<std::uint8_t> bits = {0, 0, 1, 0, 1, 1};
    ScriptedRandom random(draws);
    NoiseSourceSimulator simulator(random);
    auto store = std::make_unique<SampleStore>();

    simulator.simulate(*store, Side::Left, 0);

    for (int block = 0; block < kBlocks; ++block) {
        const auto expected = bits[static_cast<std::size_t>(block) % bits.size()];
        for (int j = 0; j < NoiseSourceSimulator::kBlockLength; ++j) {
            ASSERT_EQ(store->channelRight[block * 5 + j], expected) << "block " << block;
        }
    }
    EXPECT_EQ(random.draws, static_cast<std::size_t>(kBlocks));
}

// Noise of all zeros over a store of ones shows exactly which entries a
// simulation writes, and the copy must follow the noise D samples ahead.
TEST(NoiseSourceSimulator, WritesOnlyItsOwnRangesOnEitherSide) {
    for (const Side side : {Side::Left, Side::Right}) {
        for (const int delay : {0, 1, 37, 120}) {
            ScriptedRandom random({0.0F});
            NoiseSourceSimulator simulator(random);
            auto store = std::make_unique<SampleStore>();
            store->channelLeft.fill(1);
            store->channelRight.fill(1);
            store->rawSamples.fill(0xA5);
            store->correlationLeft.fill(1.5);
            store->correlationRight.fill(2.5);
            simulator.simulate(*store, side, delay);

            const auto& noise = side == Side::Left ? store->channelRight : store->channelLeft;
            const auto& copy = side == Side::Left ? store->channelLeft : store->channelRight;
            for (int i = 0; i <= kSamples; ++i) {
                ASSERT_EQ(noise[i], i <= 24004 ? 0 : 1) << "noise " << i;
                ASSERT_EQ(copy[i], i >= 1 && i <= 10000 ? 0 : 1) << "copy " << i;
            }
            EXPECT_EQ(store->simulatedDelay, delay);
            EXPECT_TRUE(std::all_of(store->rawSamples.begin(), store->rawSamples.end(),
                                    [](auto b) { return b == 0xA5; }));
            EXPECT_EQ(store->correlationLeft[0], 1.5);
            EXPECT_EQ(store->correlationRight[1000], 2.5);
        }
    }
}

struct Peak {
    int lag;
    double value;
};

Peak peakOf(const SampleStore::Correlogram& correlogram) {
    const auto* first = correlogram.data();
    const auto* top = std::max_element(first, first + kMaxLag + 1);
    return {static_cast<int>(top - first), *top};
}

TEST(NoiseSourceSimulator, CorrelogramOfTheSourcesSidePeaksAtTheDelay) {
    TwisterRandom random;
    NoiseSourceSimulator simulator(random);
    auto store = std::make_unique<SampleStore>();
    const auto ignore = [](Side, int, double) {};

    for (const Side side : {Side::Left, Side::Right}) {
        for (const int delay : {0, 1, 7, 64, 119, 120}) {
            simulator.simulate(*store, side, delay);
            SectorCorrelator::analyse(*store, ignore);
            const auto& own = side == Side::Left ? store->correlationLeft : store->correlationRight;
            const auto& other =
                side == Side::Left ? store->correlationRight : store->correlationLeft;

            const Peak peak = peakOf(own);
            EXPECT_EQ(peak.lag, delay);
            EXPECT_EQ(peak.value, kAllAgree);
            // Only a source on the axis (D = 0) matches the other sector too.
            EXPECT_EQ(peakOf(other).value == kAllAgree, delay == 0) << "delay " << delay;
        }
    }
}

TEST(NoiseSourceSimulator, RepeatedSimulationsDrawNewNoiseWithTheSamePeak) {
    TwisterRandom random;
    NoiseSourceSimulator simulator(random);
    auto store = std::make_unique<SampleStore>();
    const auto ignore = [](Side, int, double) {};

    simulator.simulate(*store, Side::Right, 42);
    const SampleStore::Bits firstNoise = store->channelLeft;
    SectorCorrelator::analyse(*store, ignore);
    const Peak first = peakOf(store->correlationRight);

    simulator.simulate(*store, Side::Right, 42);
    EXPECT_NE(store->channelLeft, firstNoise);
    SectorCorrelator::analyse(*store, ignore);
    EXPECT_EQ(peakOf(store->correlationRight).lag, first.lag);
    EXPECT_EQ(first.lag, 42);
}

TEST(TwisterRandom, StaysBelowOneOnA24BitGrid) {
    TwisterRandom random;
    for (int n = 0; n < 200000; ++n) {
        const float r = random.next();
        ASSERT_GE(r, 0.0F);
        ASSERT_LT(r, 1.0F);
        ASSERT_EQ(r * 0x1p24F, static_cast<float>(static_cast<int>(r * 0x1p24F)));
    }
}

} // namespace
