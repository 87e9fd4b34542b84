// The instrument model: the colour rules of its buttons, and what a capture
// does to the samples it holds.

#include "instrument.h"
#include "marked_store.h"

#include <cmath>
#include <gtest/gtest.h>
#include <random>
#include <vector>

namespace {

using Kind = OperatorError::Kind;

// Gives its capture, or refuses with its error when it has none.
class FixedSource final : public CaptureSource {
public:
    explicit FixedSource(Capture capture = {}) : capture_(std::move(capture)) {}
    Capture capture(CaptureWorker::Progress& progress) override {
        progress.enter(Kind::PortStalled, std::chrono::seconds(5));
        if (capture_.samples.empty()) {
            throw OperatorError(Kind::PortBusy, subject());
        }
        return capture_;
    }
    std::string subject() const override { return "prova"; }

private:
    Capture capture_;
};

Capture counting() {
    Capture capture{std::vector<std::uint8_t>(kSamples), 24'000'000, FileOrigin{"a.sr", {}}};
    for (std::size_t i = 0; i < capture.samples.size(); ++i) {
        capture.samples[i] = static_cast<std::uint8_t>(i % 4 | 0x04);
    }
    return capture;
}

enum class Step { Scan, FailedScan, Left, Right, Analysis };

struct Colours {
    bool leftRed, rightRed, analysisGreen;
    bool operator==(const Colours&) const = default;
};

void run(Instrument& instrument, Step step) {
    switch (step) {
    case Step::Scan:
        instrument.scan(std::make_shared<FixedSource>(counting()));
        return;
    case Step::FailedScan:
        EXPECT_THROW(instrument.scan(std::make_shared<FixedSource>()), OperatorError);
        return;
    case Step::Left:
        instrument.simulate(Side::Left, 26);
        return;
    case Step::Right:
        instrument.simulate(Side::Right, 26);
        return;
    case Step::Analysis:
        instrument.analyse([](Side, int, double) {});
        return;
    }
}

Colours coloursOf(const Instrument& instrument) {
    const auto& marks = instrument.marks();
    return {marks.simulatedSource == Side::Left, marks.simulatedSource == Side::Right,
            marks.scanNotAnalysed};
}

// A scan clears the red marks and turns analysis green; an analysis clears
// the green; a simulation marks its side red and leaves green as it is; a
// scan that fails changes nothing.
TEST(Instrument, ButtonColoursFollowWhatTheChannelsHold) {
    const struct {
        std::vector<Step> steps;
        Colours expected;
    } cases[] = {
        {{}, {false, false, false}},
        {{Step::Left}, {true, false, false}},
        {{Step::Left, Step::Right}, {false, true, false}},
        {{Step::Right, Step::Scan}, {false, false, true}},
        {{Step::Scan, Step::Left}, {true, false, true}},
        {{Step::Scan, Step::Analysis}, {false, false, false}},
        {{Step::Scan, Step::Analysis, Step::Right}, {false, true, false}},
        {{Step::Left, Step::FailedScan}, {true, false, false}},
        {{Step::Scan, Step::Analysis, Step::FailedScan}, {false, false, false}},
        {{Step::Scan, Step::FailedScan}, {false, false, true}},
    };
    for (const auto& c : cases) {
        Instrument instrument;
        for (const Step step : c.steps) {
            run(instrument, step);
        }
        EXPECT_TRUE(coloursOf(instrument) == c.expected) << "after " << c.steps.size() << " steps";
    }
}

TEST(Instrument, ACaptureIsKeptAsAScanAndARefusedOneChangesNothing) {
    Instrument instrument;
    instrument.simulate(Side::Left, 10);
    const auto before = std::make_unique<SampleStore>(instrument.store());
    const auto marks = instrument.marks();
    EXPECT_THROW(instrument.scan(std::make_shared<FixedSource>()), OperatorError);
    EXPECT_TRUE(sameStore(instrument.store(), *before));
    EXPECT_EQ(instrument.marks().sampleRate, marks.sampleRate);
    EXPECT_TRUE(std::holds_alternative<SimulationOrigin>(*instrument.marks().origin));

    instrument.scan(std::make_shared<FixedSource>(counting()));
    const SampleStore& store = instrument.store();
    EXPECT_EQ(store.rawSamples[3], 0x06);
    EXPECT_EQ(store.channelLeft[3], 1);
    EXPECT_EQ(store.channelRight[3], 0);
    EXPECT_EQ(instrument.marks().sampleRate, 24'000'000U);
    EXPECT_TRUE(std::holds_alternative<FileOrigin>(*instrument.marks().origin));
    // Only the receivers' two bits are kept in a file.
    EXPECT_EQ(instrument.heldSamples()[2], 0x02);
    EXPECT_EQ(instrument.heldSamples().size(), std::size_t{kSamples});
    instrument.simulate(Side::Right, 5);
    EXPECT_EQ(instrument.heldSamples().size(), std::size_t{NoiseSourceSimulator::kLastCopied})
        << "a simulation is kept without padding";
}

// The simulator's source is found at its delay, on its side, by either
// analysis: at the largest lag its peak is at the edge of the range.
TEST(Instrument, TheSimulatedSourceIsFoundAtItsDelay) {
    Instrument instrument;
    for (const Side side : {Side::Left, Side::Right}) {
        for (int delay = 0; delay <= kMaxLag; delay += 1) {
            instrument.simulate(side, delay);
            for (const auto analysis : {&Instrument::integrate, &Instrument::whiten, {}}) {
                if (analysis) {
                    (instrument.*analysis)();
                } else {
                    instrument.analyse([](Side, int, double) {});
                }
                const Bearing::Result result = instrument.assess(std::nullopt);
                const int expected = side == Side::Left ? -delay : delay;
                const auto kind = static_cast<int>(result.basis.kind);
                EXPECT_EQ(result.verdict,
                          delay == kMaxLag ? Bearing::Verdict::Edge : Bearing::Verdict::Source)
                    << expected << " analysis " << kind;
                EXPECT_NEAR(result.lag, expected, 0.5) << expected << " analysis " << kind;
            }
        }
    }
}

// A receiver stuck at one level is named, over the samples analysed.
TEST(Instrument, AStuckReceiverIsNamed) {
    Capture stuck{std::vector<std::uint8_t>(kSamples, 0x02), kPortRate, PortOrigin{}};
    stuck.samples[100'000] = 0x01; // past the first window, within the whole
    Instrument instrument;
    instrument.keep(stuck);
    instrument.analyse([](Side, int, double) {});
    const Bearing::Result window = instrument.assess(std::nullopt);
    EXPECT_EQ(window.verdict, Bearing::Verdict::IdleBoth);
    EXPECT_FALSE(window.idleThroughout) << "the bits change later";
    instrument.integrate();
    EXPECT_EQ(instrument.assess(std::nullopt).verdict, Bearing::Verdict::None);
    instrument.keep({std::vector<std::uint8_t>(kSamples, 0x02), kPortRate, PortOrigin{}});
    instrument.analyse([](Side, int, double) {});
    EXPECT_TRUE(instrument.assess(std::nullopt).idleThroughout);
}

// A tone heard by both receivers, 7 samples apart, at 50 kHz: its period of
// 16 samples puts peaks a period apart all over the lags, and the mean says
// so. Whitened, its few frequencies weigh no more than the noise's many, and
// nothing is claimed.
TEST(Instrument, AToneIsAmbiguousNeverAConfidentWrongSource) {
    std::mt19937 random(4);
    std::normal_distribution<double> noise(0.0, 0.3);
    const auto tone = [&](int i) {
        return std::sin(2.0 * 3.14159265358979 * 3'125.0 * i / 50'000.0 + 0.4) + noise(random);
    };
    Capture capture{std::vector<std::uint8_t>(kSamples), kPortRate, PortOrigin{}};
    for (int i = 0; i < kSamples; ++i) {
        capture.samples[static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>((tone(i) > 0.0 ? 1 : 0) | (tone(i - 7) > 0.0 ? 2 : 0));
    }
    Instrument instrument;
    instrument.keep(capture);
    instrument.integrate();
    const Bearing::Result result = instrument.assess(std::nullopt);
    EXPECT_EQ(result.verdict, Bearing::Verdict::Ambiguous) << result.lag;
    ASSERT_TRUE(result.secondLag);
    EXPECT_NEAR(std::remainder(*result.secondLag - result.lag, 16.0), 0.0, 0.5);
    instrument.whiten();
    EXPECT_EQ(instrument.assess(std::nullopt).verdict, Bearing::Verdict::None);
}

} // namespace
