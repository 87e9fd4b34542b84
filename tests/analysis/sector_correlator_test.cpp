#include "sector_correlator.h"
#include "test_values.h"
#include "window_sums.h"

#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <vector>

namespace {

struct Handed {
    Side sector;
    int lag;
    double value;
};

std::vector<Handed> analyse(SampleStore& store) {
    std::vector<Handed> handed;
    SectorCorrelator::analyse(store, [&](Side sector, int lag, double value) {
        handed.push_back({sector, lag, value});
    });
    return handed;
}

void expectEveryLag(const SampleStore& store, double expected) {
    for (int d = 0; d <= kMaxLag; ++d) {
        ASSERT_EQ(store.correlationLeft[d], expected) << "left lag " << d;
        ASSERT_EQ(store.correlationRight[d], expected) << "right lag " << d;
    }
}

TEST(SectorCorrelator, AgreeingChannelsGiveTheExactAllAgreeValue) {
    auto store = std::make_unique<SampleStore>();
    analyse(*store);
    expectEveryLag(*store, kAllAgree);

    store->channelLeft.fill(1);
    store->channelRight.fill(1);
    analyse(*store);
    expectEveryLag(*store, kAllAgree);
}

TEST(SectorCorrelator, OppositeChannelsGiveZero) {
    auto store = std::make_unique<SampleStore>();
    for (int i = 1; i <= kMinimumSamples; ++i) {
        store->channelRight[i] = 1;
    }
    analyse(*store);
    expectEveryLag(*store, 0.0);
}

TEST(SectorCorrelator, AlternatingChannelsAgreeAtEvenLagsOnly) {
    auto store = std::make_unique<SampleStore>();
    for (int i = 1; i <= kSamples; ++i) {
        store->channelLeft[i] = store->channelRight[i] = static_cast<std::uint8_t>(i % 2);
    }
    analyse(*store);
    for (int d = 0; d <= kMaxLag; ++d) {
        const double expected = d % 2 == 0 ? kAllAgree : 0.0;
        EXPECT_EQ(store->correlationLeft[d], expected) << d;
        EXPECT_EQ(store->correlationRight[d], expected) << d;
    }
}

TEST(SectorCorrelator, LaterSamplesWeighMore) {
    auto store = std::make_unique<SampleStore>();
    store->channelLeft[1200] = 1; // the newest sample of lag 0 disagrees
    analyse(*store);
    EXPECT_EQ(store->correlationLeft[0], kAllAgree - 1.0);
    EXPECT_EQ(store->correlationRight[0], kAllAgree - 1.0);

    store->channelLeft[1200] = 0;
    store->channelLeft[1] = 1; // the oldest one, weighed by (511/512)^1199
    analyse(*store);
    const double oldest = 0x1.cee1a33049dc7p+8;
    EXPECT_EQ(store->correlationLeft[0], oldest);
    EXPECT_NEAR(kAllAgree - oldest, std::pow(SectorCorrelator::kDecay, 1199), 1e-12);
    // channelLeft[1] is the reference of every left lag, but only lag 0 of
    // the right sector compares with it.
    EXPECT_EQ(store->correlationLeft[120], oldest);
    EXPECT_EQ(store->correlationRight[1], kAllAgree);
}

TEST(SectorCorrelator, ReadsOnlyTheFirstWindowAndItsLookAhead) {
    auto store = std::make_unique<SampleStore>();
    store->channelLeft[0] = store->channelRight[0] = 1;
    for (int i = 1321; i <= kSamples; ++i) {
        store->channelLeft[i] = store->channelRight[i] = static_cast<std::uint8_t>(i % 2);
    }
    // Past the window of the reference channel: only compared, from lag 1 on.
    store->channelLeft[1201] = 1;
    analyse(*store);
    for (int d = 0; d <= kMaxLag; ++d) {
        EXPECT_EQ(store->correlationLeft[d], kAllAgree) << d;
    }
    EXPECT_EQ(store->correlationRight[0], kAllAgree);
    EXPECT_EQ(store->correlationRight[1], kAllAgree - 1.0);

    store->channelLeft[1201] = 0;
    store->channelRight[kMinimumSamples] = 1; // the last sample lag 120 reads
    analyse(*store);
    EXPECT_EQ(store->correlationLeft[120], kAllAgree - 1.0);
    EXPECT_EQ(store->correlationLeft[119], kAllAgree);
}

TEST(SectorCorrelator, HandsEveryFinishedLagOverInOrder) {
    auto store = std::make_unique<SampleStore>();
    store->correlationLeft.fill(-7.0); // stale results must not leak in
    store->correlationRight.fill(-7.0);
    for (int i = 1; i <= kMinimumSamples; i += 3) {
        store->channelRight[i] = 1;
    }

    std::vector<Handed> handed;
    SectorCorrelator::analyse(*store, [&](Side sector, int lag, double value) {
        const auto& result =
            sector == Side::Left ? store->correlationLeft : store->correlationRight;
        // The store already holds the value, and the next lag is not begun.
        EXPECT_EQ(result[lag], value);
        if (lag < kMaxLag) {
            EXPECT_EQ(result[lag + 1], 0.0);
        }
        handed.push_back({sector, lag, value});
    });

    ASSERT_EQ(handed.size(), 242U);
    for (int n = 0; n < 242; ++n) {
        const auto& h = handed[static_cast<std::size_t>(n)];
        EXPECT_EQ(h.sector, n < 121 ? Side::Left : Side::Right);
        EXPECT_EQ(h.lag, n % 121);
        const auto& result =
            h.sector == Side::Left ? store->correlationLeft : store->correlationRight;
        EXPECT_EQ(result[h.lag], h.value);
    }
    for (int d = 121; d <= kLastCorrelation; ++d) {
        ASSERT_EQ(store->correlationLeft[d], -7.0);
        ASSERT_EQ(store->correlationRight[d], -7.0);
    }
}

} // namespace

namespace {

// The integrated analysis against the single-window one run on each window in
// turn, the windows' values summed in order and then divided: bit for bit.
TEST(SectorCorrelator, IntegrationIsTheMeanOfSingleWindowAnalysesBitForBit) {
    std::mt19937 random(7);
    std::bernoulli_distribution bit;
    for (const int samples : {kMinimumSamples, 10'000, kSamples}) {
        std::vector<std::uint8_t> right(static_cast<std::size_t>(samples) + 1);
        std::vector<std::uint8_t> left(right.size());
        for (std::size_t i = 1; i < right.size(); ++i) {
            right[i] = static_cast<std::uint8_t>(bit(random));
            left[i] = i > 3 && bit(random) ? right[i - 3] : static_cast<std::uint8_t>(bit(random));
        }
        auto integrated = std::make_unique<SampleStore>();
        const int windows = SectorCorrelator::integrate(
            right, left, samples, integrated->correlationLeft, integrated->correlationRight);
        EXPECT_EQ(windows, (samples - kMaxLag) / kWindow);

        SampleStore::Correlogram sumLeft{};
        SampleStore::Correlogram sumRight{};
        auto window = std::make_unique<SampleStore>();
        for (int w = 0; w < windows; ++w) {
            const auto start = static_cast<std::size_t>(w) * kWindow;
            for (std::size_t i = 1; i <= kMinimumSamples; ++i) {
                window->channelRight[i] = right[start + i];
                window->channelLeft[i] = left[start + i];
            }
            SectorCorrelator::analyse(*window, [](Side, int, double) {});
            for (std::size_t d = 0; d <= kMaxLag; ++d) {
                sumLeft[d] += window->correlationLeft[d];
                sumRight[d] += window->correlationRight[d];
            }
        }
        for (std::size_t d = 0; d <= kMaxLag; ++d) {
            ASSERT_EQ(integrated->correlationLeft[d], sumLeft[d] / windows) << samples << " " << d;
            ASSERT_EQ(integrated->correlationRight[d], sumRight[d] / windows)
                << samples << " " << d;
        }
        if (windows == 1) {
            EXPECT_EQ(integrated->correlationLeft, window->correlationLeft);
            EXPECT_EQ(integrated->correlationRight, window->correlationRight);
        }
    }
}

// Every instruction set's build of the integration adds the same bits.
TEST(SectorCorrelator, EveryInstructionSetIntegratesAlike) {
    std::mt19937 random(11);
    std::bernoulli_distribution bit;
    const int windows = 3;
    std::vector<std::uint8_t> reference(windows * kWindow + WindowSums::kLanes + 1);
    std::vector<std::uint8_t> compared(reference.size());
    for (std::size_t i = 1; i < reference.size(); ++i) {
        reference[i] = static_cast<std::uint8_t>(bit(random));
        compared[i] = static_cast<std::uint8_t>(bit(random));
    }
    const auto kernels = WindowSums::kernels();
    std::vector<double> first(WindowSums::kLanes);
    kernels.back()(reference.data(), compared.data(), windows, first.data());
    for (const WindowSums::Kernel kernel : kernels) {
        std::vector<double> sums(WindowSums::kLanes);
        kernel(reference.data(), compared.data(), windows, sums.data());
        EXPECT_EQ(sums, first);
    }
}

} // namespace
