// Captures from libsigrok's demo device, which needs no hardware.

#include "device_capture.h"
#include "follower.h"
#include "instrument.h"
#include "libsigrok_log.h"
#include "marked_store.h"
#include "operator_error.h"
#include "sigrok_context.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <libsigrokcxx/libsigrokcxx.hpp>
#include <memory>
#include <mutex>
#include <optional>
#include <unistd.h>

namespace {

using Kind = OperatorError::Kind;
using CaptureOptions::parseDeviceSpec;

// The demo paces in real time: at 1 MHz a scan takes 0.13 s.
constexpr std::uint64_t kFastRate = 1'000'000;

CaptureOptions::Analyser analyser(const std::string& request,
                                  CaptureOptions::Channels channels = {},
                                  std::uint64_t rate = kFastRate,
                                  CaptureOptions::Config config = {}) {
    return {parseDeviceSpec(request), std::move(channels), rate, std::move(config)};
}

// Counts 0, 1, 2, 3... on its channels, from 0 at each capture.
void incrementalPattern(sigrok::Device& device) {
    device.channel_groups().at("Logic")->config_set(
        sigrok::ConfigKey::PATTERN_MODE, Glib::Variant<Glib::ustring>::create("incremental"));
}

// D0 counts the low bit and D1 the next, so the right receiver on D0 and the
// left on D1 give the bytes 0, 1, 2, 3; exchanged, 0, 2, 1, 3.
TEST(DeviceCapture, DemoCountingPatternLandsOnTheScansBitsAndChannels) {
    const struct {
        const char* right;
        const char* left;
        std::uint8_t bytes[4];
    } cases[] = {{"D0", "D1", {0, 1, 2, 3}}, {"D1", "D0", {0, 2, 1, 3}}};
    for (const auto& c : cases) {
        DeviceCapture capture(analyser("demo", {c.right, c.left}), incrementalPattern);
        auto store = markedStore();
        const Capture taken = captureFrom(capture);
        Instrument::place(*store, taken);

        EXPECT_EQ(store->rawSamples[0], 0xA5);
        for (int i = 1; i <= kSamples; ++i) {
            const std::uint8_t expected = c.bytes[(i - 1) % 4];
            ASSERT_EQ(store->rawSamples[i], expected) << c.right << " sample " << i;
            if (i <= kSplitSamples) {
                ASSERT_EQ(store->channelRight[i], expected & 1) << i;
                ASSERT_EQ(store->channelLeft[i], expected >> 1) << i;
            }
        }
        EXPECT_EQ(store->channelLeft[kSplitSamples + 1], 7);
        EXPECT_EQ(store->correlationLeft[0], 1.5);
    }
}

// The demo's default pattern restarts at each capture, so sigrok-cli's own
// capture of the same device must hold the same bits, sample for sample.
TEST(DeviceCapture, DemoCaptureHoldsTheBitsSigrokCliCaptures) {
    const std::string command = "sigrok-cli -d demo --channels D0,D1 --config samplerate=1M "
                                "--samples " +
                                std::to_string(kSamples) + " -O binary";
    std::FILE* cli = ::popen(command.c_str(), "r");
    ASSERT_NE(cli, nullptr);
    std::vector<std::uint8_t> expected(kSamples + 1);
    const std::size_t read = std::fread(expected.data(), 1, expected.size(), cli);
    ASSERT_EQ(::pclose(cli), 0) << "sigrok-cli failed";
    ASSERT_EQ(read, static_cast<std::size_t>(kSamples));

    DeviceCapture capture(analyser("demo"));
    auto store = markedStore();
    const Capture taken = captureFrom(capture);
    Instrument::place(*store, taken);
    for (int i = 1; i <= kSamples; ++i) {
        ASSERT_EQ(store->rawSamples[i], expected[static_cast<std::size_t>(i - 1)] & 0x03) << i;
    }
}

TEST(DeviceCapture, WhatTheDeviceCannotDoIsRefusedWithTheStoreUnchanged) {
    DeviceCapture tooFast(analyser("demo", {}, 2'000'000'000));
    const OperatorError rate = refusalOf(tooFast);
    EXPECT_EQ(rate.kind(), Kind::DeviceRateOutOfRange);
    EXPECT_EQ(rate.detail(), "2000000000");
    EXPECT_EQ(rate.choices(), (std::vector<std::string>{"1 Hz", "1 GHz", "1 Hz"}));

    DeviceCapture noSuchChannel(
        analyser("demo", {"D0", "D9", CaptureOptions::Channels::Choice::Named}));
    const OperatorError channel = refusalOf(noSuchChannel);
    EXPECT_EQ(channel.kind(), Kind::DeviceChannelUnknown);
    EXPECT_EQ(channel.detail(), "D9");
    EXPECT_EQ(channel.choices(),
              (std::vector<std::string>{"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7"}));
}

// Device options as sigrok-cli's --config sets them, read strictly.
TEST(DeviceCapture, DeviceOptionsAreCheckedAndSet) {
    const struct {
        CaptureOptions::Config config;
        std::optional<Kind> refused;
        std::string subject;
    } cases[] = {
        {{{"averaging", "on"}, {"avg_samples", "4"}}, {}, {}},
        {{{"averaging", "banana"}}, Kind::ConfigValueInvalid, "averaging=banana"},
        {{{"avg_samples", "-5"}}, Kind::ConfigValueInvalid, "avg_samples=-5"},
        {{{"avg_samples", "1.5"}}, Kind::ConfigValueInvalid, "avg_samples=1.5"},
        {{{"pattern", "incremental"}}, Kind::ConfigKeyUnknown, "pattern"},
    };
    for (const auto& c : cases) {
        DeviceCapture capture(analyser("demo", {}, kFastRate, c.config));
        if (!c.refused) {
            EXPECT_EQ(captureFrom(capture).samples.size(), static_cast<std::size_t>(kSamples));
            continue;
        }
        const OperatorError error = refusalOf(capture);
        EXPECT_EQ(error.kind(), *c.refused) << c.subject;
        EXPECT_EQ(error.subject(), c.subject);
        if (error.kind() == Kind::ConfigKeyUnknown) {
            const auto& keys = error.choices();
            EXPECT_NE(std::find(keys.begin(), keys.end(), "averaging"), keys.end());
            EXPECT_EQ(std::find(keys.begin(), keys.end(), "limit_samples"), keys.end());
        }
    }
}

TEST(DeviceCapture, FindsTheDemoWithItsChannelsAndRates) {
    const auto found = CaptureWorker::perform<std::vector<FoundAnalyser>>(
        [](CaptureWorker::Progress& progress) {
            return DeviceCapture::find(parseDeviceSpec("demo:logic_channels=3"), progress);
        },
        "demo");
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].address, "demo:logic_channels=3");
    EXPECT_EQ(found[0].logicChannels, (std::vector<std::string>{"D0", "D1", "D2"}));
    EXPECT_TRUE(found[0].rates.offers(kFastRate));
    EXPECT_FALSE(found[0].rates.offers(2'000'000'000));
}

// Continuous acquisition from the demo, row by row, until stopped: the
// stream's start, run and stop, which ThreadSanitizer also watches.
TEST(DeviceCapture, DemoStreamsRowsUntilStopped) {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> windows;
    std::optional<Follower::End> ended;
    Follower follower(std::make_shared<DeviceCapture>(analyser("demo")), kRowPeriod, {},
                      {[&](Follower::Row row) {
                           const std::lock_guard lock(mutex);
                           windows.push_back(row.windows);
                           changed.notify_all();
                       },
                       [&](const Follower::End& end) {
                           const std::lock_guard lock(mutex);
                           ended = end;
                           changed.notify_all();
                       }});
    {
        std::unique_lock lock(mutex);
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::seconds(20),
                                     [&] { return windows.size() >= 3 || ended; }));
    }
    follower.stop();
    ASSERT_TRUE(follower.waitForEnd(std::chrono::seconds(10)));
    const std::lock_guard lock(mutex);
    ASSERT_TRUE(ended);
    EXPECT_FALSE(ended->fault) << ended->fault->what();
    EXPECT_EQ(windows.at(0), 83); // 1 MHz, 100 ms: 83.33 windows a row
    EXPECT_EQ(follower.droppedSamples(), 0u);
}

// A device that ends its stream early, as one pulled out mid-capture does.
TEST(DeviceCapture, CaptureThatComesUpShortIsRefusedWithTheStoreUnchanged) {
    DeviceCapture capture(analyser("demo"), [](sigrok::Device& device) {
        device.config_set(sigrok::ConfigKey::LIMIT_SAMPLES, Glib::Variant<guint64>::create(1000));
    });
    const OperatorError error = refusalOf(capture);
    EXPECT_EQ(error.kind(), Kind::DeviceShortCapture);
    EXPECT_EQ(error.detail(), "1000");
    EXPECT_EQ(error.choices(), std::vector<std::string>{std::to_string(kSamples)});
}

// The demo as a board that can stream or not, and holds memory samples.
std::shared_ptr<DeviceCapture> demoBoard(bool streams, std::optional<std::uint64_t> memory,
                                         std::uint64_t rate = kFastRate) {
    return std::make_shared<DeviceCapture>(analyser("demo", {}, rate), incrementalPattern,
                                           DeviceLimits{}, DeviceCapture::PhaseStarted{},
                                           [=](sigrok::Device&) {
                                               return DeviceCapture::Board{streams, memory};
                                           });
}

// A stream's parts, samples given as counts and lost as negative; stops after enough.
struct RecordingSink final : StreamSink {
    RecordingSink(std::uint64_t samples, std::uint64_t most) : row(samples), enough(most) {}
    void take(std::span<const std::uint8_t> samples) override {
        if (!samples.empty() && (parts.empty() || parts.back() < 0)) {
            parts.push_back(0);
            firsts.push_back(samples.front());
        }
        parts.back() += static_cast<std::int64_t>(samples.size());
        taken += samples.size();
    }
    void lose(std::uint64_t count) override { parts.push_back(-static_cast<std::int64_t>(count)); }
    bool stopping() const override { return taken >= enough; }
    std::uint64_t rowSamples() const override { return row; }

    std::vector<std::int64_t> parts;
    std::vector<std::uint8_t> firsts; // of each part given
    std::uint64_t row, enough, taken = 0;
};

void streamInto(const std::shared_ptr<DeviceCapture>& board, RecordingSink& sink) {
    CaptureWorker::perform<bool>(
        [&](CaptureWorker::Progress& progress) {
            board->stream(sink, progress);
            return true;
        },
        "demo");
}

TEST(DeviceCapture, ABoardWithLittleMemoryScansWhatItHoldsAndOneTooSmallIsRefused) {
    const struct {
        std::uint64_t memory;
        std::optional<std::uint64_t> told; // by the capture's origin
        std::size_t samples;
    } cases[] = {{5'000, 5'000, 5'000},
                 {kMinimumSamples, kMinimumSamples, kMinimumSamples},
                 {200'000, std::nullopt, kSamples}};
    for (const auto& c : cases) {
        Instrument instrument;
        instrument.scan(demoBoard(true, c.memory));
        instrument.analyse([](Side, int, double) {});
        EXPECT_TRUE(instrument.analysed()) << c.memory;
        EXPECT_EQ(instrument.heldSamples().size(), c.samples) << c.memory;
        EXPECT_EQ(std::get<DeviceOrigin>(*instrument.marks().origin).memory, c.told);
    }
    // Scans and followed streams alike, naming the memory.
    const auto small = demoBoard(false, kMinimumSamples - 1);
    const OperatorError error = refusalOf(*small);
    EXPECT_EQ(error.kind(), Kind::DeviceMemoryTooSmall);
    EXPECT_EQ(error.detail(), std::to_string(kMinimumSamples - 1));
    RecordingSink sink(2'001, 6'000);
    EXPECT_THROW(streamInto(small, sink), OperatorError);
}

// Each capture takes a row, or the memory when smaller, and starts the demo's
// count afresh (a stream would go on at 1 after 2,001 or 1,501 samples of
// 0, 1, 2, 3); at least one sample is lost between captures.
TEST(DeviceCapture, ABoardThatCannotStreamIsFollowedByCapturesWithTheGapsLost) {
    const struct {
        std::optional<std::uint64_t> memory;
        std::int64_t capture;
    } cases[] = {{std::nullopt, 2'001}, {50'000, 2'001}, {1'501, 1'501}};
    for (const auto& c : cases) {
        RecordingSink sink(2'001, static_cast<std::uint64_t>(3 * c.capture));
        streamInto(demoBoard(false, c.memory), sink);
        ASSERT_EQ(sink.parts.size(), 5u);
        EXPECT_EQ((std::vector{sink.parts[0], sink.parts[2], sink.parts[4]}),
                  std::vector<std::int64_t>(3, c.capture));
        for (const std::int64_t gap : {sink.parts[1], sink.parts[3]}) {
            EXPECT_TRUE(gap <= -1 && gap > -10 * std::int64_t{kFastRate}) << gap; // 10 s at most
        }
        EXPECT_EQ(sink.firsts, std::vector<std::uint8_t>(3, 0));
    }
}

// At 1 kHz a capture of a row would take 100 s: a stop asked during the
// first ends it, and no second starts.
TEST(DeviceCapture, AStopEndsFollowingByCapturesPromptly) {
    RecordingSink sink(100'000, 1);
    const auto start = std::chrono::steady_clock::now();
    streamInto(demoBoard(false, std::nullopt, 1'000), sink);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
    EXPECT_EQ(sink.parts.size(), 1u);
}

// Each scan finds the device anew; the driver must not keep every one found.
TEST(DeviceCapture, ScansLeaveNoDeviceBehindInTheDriver) {
    const auto driver = SigrokContext::get()->drivers().at("demo");
    DeviceCapture capture(analyser("demo"));
    DeviceCapture refused(analyser("demo", {"D0", "D9", CaptureOptions::Channels::Choice::Named}));
    for (int i = 0; i < 3; ++i) {
        auto store = markedStore();
        const Capture taken = captureFrom(capture);
        Instrument::place(*store, taken);
        refusalOf(refused);
    }
    GSList* const kept = sr_dev_list(SigrokContext::structureOf(*driver));
    EXPECT_EQ(g_slist_length(kept), 0U);
}

// A serial analyser's driver pointed at a port where none answers: a
// terminal that nothing reads.
TEST(DeviceCapture, APortWithNoAnalyserIsRefusedAsNotFound) {
    const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(terminal, 0);
    ASSERT_EQ(::grantpt(terminal), 0);
    ASSERT_EQ(::unlockpt(terminal), 0);
    DeviceCapture capture(analyser(std::string("ols:conn=") + ::ptsname(terminal)));
    EXPECT_EQ(refusalOf(capture).kind(), Kind::DeviceNotFound);
    ::close(terminal);
}

// Behind the scan's back, the demo sends one analog channel at 1 Hz, and no
// logic data at all: a device that takes the run command and then sends
// nothing.
void analogOnlyAtOneHertz(sigrok::Device& device) {
    device.config_set(sigrok::ConfigKey::SAMPLERATE, Glib::Variant<guint64>::create(1));
    for (const auto& channel : device.channels()) {
        channel->set_enabled(channel->name() == "A0");
    }
}

// A device that stops answering in any phase costs that phase's limit and
// its message: the capture gives up, and the blocked worker is left behind.
TEST(DeviceCapture, APhaseThatNeverEndsIsGivenUpAtItsDeadline) {
    using namespace std::chrono_literals;
    const DeviceLimits limits{100ms, 100ms, 100ms, 100ms, 100ms, 100ms};
    // Never let go, as a driver that hangs would not: the workers given up
    // on stay blocked until the process ends, touching nothing meanwhile.
    static auto* const never = new std::promise<void>();
    const std::shared_future<void> released = never->get_future().share();
    const struct {
        std::vector<Kind> blocked;
        Kind expected;
        DeviceCapture::Setup setup = {};
    } cases[] = {
        {{Kind::DeviceScanStalled}, Kind::DeviceScanStalled},
        {{Kind::DeviceOpenStalled}, Kind::DeviceOpenStalled},
        {{Kind::DeviceStartStalled}, Kind::DeviceStartStalled},
        {{Kind::DeviceCaptureStalled}, Kind::DeviceCaptureStalled},
        {{Kind::DeviceStopStalled}, Kind::DeviceStopStalled},
        {{Kind::DeviceCloseStalled}, Kind::DeviceCloseStalled},
        // Its stop at the deadline blocks too: given up at the grace's end.
        {{Kind::DeviceCaptureStalled, Kind::DeviceStopStalled}, Kind::DeviceCaptureStalled},
        {{}, Kind::DeviceCaptureStalled, analogOnlyAtOneHertz},
    };
    for (const auto& c : cases) {
        const auto capture = std::make_shared<DeviceCapture>(
            analyser("demo"), c.setup, limits, [blocked = c.blocked, released](Kind started) {
                if (std::find(blocked.begin(), blocked.end(), started) != blocked.end()) {
                    released.wait();
                }
            });
        try {
            captureFrom(capture);
            ADD_FAILURE() << "no error";
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), c.expected) << error.what();
            EXPECT_EQ(error.subject(), "demo");
        }
    }
}

TEST(DeviceCapture, UnknownDriversAndScanOptionsAreRefusedNamingWhatExists) {
    const struct {
        const char* request;
        Kind kind;
        const char* listed; // one of the choices, or nothing
    } cases[] = {
        {"nessuno", Kind::DriverUnknown, "fx2lafw"},
        {"demo:conn=1.5", Kind::ScanOptionUnknown, "logic_channels"},
        {"demo:logic_channels=molti", Kind::ScanOptionInvalid, nullptr},
    };
    const auto drivers = SigrokContext::get()->drivers();
    for (const auto& c : cases) {
        try {
            DeviceCapture{analyser(c.request)};
            ADD_FAILURE() << "accepted " << c.request;
        } catch (const OperatorError& error) {
            EXPECT_EQ(error.kind(), c.kind) << c.request;
            if (c.listed != nullptr) {
                const auto& choices = error.choices();
                EXPECT_NE(std::find(choices.begin(), choices.end(), c.listed), choices.end())
                    << c.request;
            }
            if (c.kind == Kind::DriverUnknown) {
                // Logic analysers only, not the multimeters and supplies.
                EXPECT_LT(error.choices().size(), drivers.size() / 2);
            }
        }
    }
}

// Lines as libsigrok 0.5.2 writes them for each cause.
TEST(LibsigrokLog, TellsTheCauseFromLibsigroksOwnLines) {
    const struct {
        std::vector<std::string> lines;
        Kind kind;
    } cases[] = {
        {{"fx2lafw: Failed to open potential device with VID:PID 0925:3881: "
          "LIBUSB_ERROR_ACCESS."},
         Kind::DevicePermissionDenied},
        {{"ezusb: failed to open device: LIBUSB_ERROR_ACCESS.",
          "fx2lafw: Firmware upload failed for device 1.5 (logical), name "
          "fx2lafw-sigrok-fx2-8ch.fw."},
         Kind::DevicePermissionDenied},
        {{"serial-libsp: Error opening port (2): Permission denied."},
         Kind::DevicePermissionDenied},
        {{"fx2lafw: Unable to claim USB interface. Another program or driver has already "
          "claimed it."},
         Kind::DeviceBusy},
        {{"resource: Failed to open resource 'fx2lafw-sigrok-fx2-8ch.fw' (use loglevel 5/spew "
          "for details).",
          "fx2lafw: Firmware upload failed for device 1.5 (logical), name "
          "fx2lafw-sigrok-fx2-8ch.fw."},
         Kind::DeviceFirmwareMissing},
        {{"fx2lafw: Device has been disconnected."}, Kind::DeviceLost},
        {{"fx2lafw: Unable to sample at 1000Hz."}, Kind::DeviceUnexpected},
        {{}, Kind::DeviceUnexpected},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(LibsigrokLog::failureKind(c.lines, Kind::DeviceUnexpected), c.kind)
            << (c.lines.empty() ? "(no lines)" : c.lines.back());
    }
}

} // namespace
