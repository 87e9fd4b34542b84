#include "fake_port_io.h"
#include "instrument.h"
#include "marked_store.h"
#include "parallel_port_scan.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace std::chrono_literals;

constexpr int kSplit = kSplitSamples;
constexpr long kCalls = 2L * kSamples;

void expectOnlySamplesAndSplitChanged(const SampleStore& store, const SampleStore& before) {
    EXPECT_EQ(store.rawSamples[0], before.rawSamples[0]);
    for (int i = kSplit + 1; i <= kSamples; ++i) {
        ASSERT_EQ(store.channelLeft[i], before.channelLeft[i]) << i;
        ASSERT_EQ(store.channelRight[i], before.channelRight[i]) << i;
    }
    EXPECT_EQ(store.channelLeft[0], before.channelLeft[0]);
    EXPECT_EQ(store.channelRight[0], before.channelRight[0]);
    EXPECT_EQ(store.simulatedDelay, before.simulatedDelay);
    EXPECT_EQ(store.correlationLeft, before.correlationLeft);
    EXPECT_EQ(store.correlationRight, before.correlationRight);
}

TEST(ParallelPortScan, WritesAllLinesHighBeforeEveryReadOfTheDataRegister) {
    FakePortIo port(0x5A);
    port.recordCalls = true;
    auto store = markedStore();

    const Capture taken = captureFrom(ParallelPortScan(port, 0ns));
    Instrument::place(*store, taken);

    ASSERT_EQ(port.log.size(), static_cast<std::size_t>(kCalls));
    for (std::size_t n = 0; n < port.log.size(); n += 2) {
        const auto& write = port.log[n];
        const auto& read = port.log[n + 1];
        ASSERT_TRUE(write.write) << "call " << n;
        ASSERT_EQ(write.port, kPortAddress) << "call " << n;
        ASSERT_EQ(write.value, 0xFF) << "call " << n;
        ASSERT_FALSE(read.write) << "call " << n + 1;
        ASSERT_EQ(read.port, kPortAddress) << "call " << n + 1;
    }
}

// Bit 0 is the right receiver, bit 1 the left one; bits 2..7 stay in the raw
// bytes but never reach a channel. Bytes that change from read to read also
// show that sample i lands at index i, and each channel entry comes from the
// sample with its own index.
TEST(ParallelPortScan, SplitsBitZeroRightAndBitOneLeftOfEverySampleAtItsOwnIndex) {
    FakePortIo port;
    port.script = {0x00, 0x01, 0x02, 0x03, 0xFC, 0xFD, 0xFE, 0xFF, 0x5A};
    auto store = markedStore();
    const auto before = std::make_unique<SampleStore>(*store);

    const Capture taken = captureFrom(ParallelPortScan(port, 0ns));
    Instrument::place(*store, taken);

    // Held for the scan only, so that the printer driver or another program
    // may use the port between scans.
    EXPECT_EQ(port.releases, 1);
    for (int i = 1; i <= kSamples; ++i) {
        const std::uint8_t expected = port.script[static_cast<std::size_t>(i - 1) % 9];
        ASSERT_EQ(store->rawSamples[i], expected) << i;
        if (i <= kSplit) {
            ASSERT_EQ(store->channelRight[i], expected & 1) << i;
            ASSERT_EQ(store->channelLeft[i], (expected >> 1) & 1) << i;
        }
    }
    expectOnlySamplesAndSplitChanged(*store, *before);
}

// The scan must also finish, with the same result, when it waits for its
// deadlines; the period is short to keep the test quick.
TEST(ParallelPortScan, PacedScanTakesTheSameSamples) {
    FakePortIo port;
    port.script = {0x01, 0x02, 0xFF};
    auto store = markedStore();

    const Capture taken = captureFrom(ParallelPortScan(port, 1us));
    Instrument::place(*store, taken);

    EXPECT_EQ(port.calls, kCalls);
    for (int i = 1; i <= kSamples; ++i) {
        ASSERT_EQ(store->rawSamples[i], port.script[static_cast<std::size_t>(i - 1) % 3]) << i;
    }
}

TEST(ParallelPortScan, PortFailingAtItsFirstCallStopsTheScanAndReleasesThePort) {
    for (const long failing : {0L, 1L}) {
        FakePortIo port;
        port.failAtCall = failing;

        EXPECT_THROW(captureFrom(ParallelPortScan(port, 0ns)), OperatorError);

        EXPECT_EQ(port.calls, failing + 1) << "the scan went on after the failure";
        EXPECT_EQ(port.releases, 1) << "the port stays held after a failed scan";
    }
}

TEST(ParallelPortScan, FailureInMidScanStopsIt) {
    for (const long failing : {2L, 2L * kSplit + 1, 2L * kSplit + 2, kCalls - 1}) {
        FakePortIo port(0xFF);
        port.failAtCall = failing;

        EXPECT_THROW(captureFrom(ParallelPortScan(port, 0ns)), OperatorError);

        EXPECT_EQ(port.calls, failing + 1) << "the scan went on after the failure";
        EXPECT_EQ(port.releases, 1);
    }
}

// Takes what a stream gives until it holds enough.
class CollectingSink final : public StreamSink {
public:
    explicit CollectingSink(std::size_t enough) : enough_(enough) {}
    void take(std::span<const std::uint8_t> samples) override {
        taken.insert(taken.end(), samples.begin(), samples.end());
    }
    void lose(std::uint64_t count) override { lost += count; }
    bool stopping() const override { return taken.size() >= enough_; }
    std::uint64_t rowSamples() const override { return kSamples; }

    std::vector<std::uint8_t> taken;
    std::uint64_t lost = 0;

private:
    std::size_t enough_;
};

// The stream reads on until asked to stop, every byte in order, and lets
// the port go; a failure ends it, the port let go too.
TEST(ParallelPortScan, StreamReadsEveryByteUntilStopped) {
    for (const long failing : {-1L, 5'001L}) {
        FakePortIo port;
        port.script = {0, 1, 2, 3, 2, 1};
        port.failAtCall = failing;
        CollectingSink sink(5'000);
        ParallelPortScan scan(port, 0ns);
        const auto stream = [&] {
            CaptureWorker::perform<bool>(
                [&](CaptureWorker::Progress& progress) {
                    scan.stream(sink, progress);
                    return true;
                },
                scan.subject());
        };
        if (failing < 0) {
            stream();
            ASSERT_GE(sink.taken.size(), 5'000u);
            for (std::size_t i = 0; i < sink.taken.size(); ++i) {
                ASSERT_EQ(sink.taken[i], port.script[i % port.script.size()]) << i;
            }
        } else {
            EXPECT_THROW(stream(), OperatorError);
        }
        EXPECT_EQ(sink.lost, 0u);
        EXPECT_EQ(port.releases, 1);
    }
}

} // namespace
