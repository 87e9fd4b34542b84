#include "whole_recording.h"

#include "correlation_noise.h"
#include "sector_correlator.h"
#include "stream_cutter.h"
#include "whitened_correlator.h"

#include <memory>

namespace WholeRecording {

namespace {

// Whether a bit stayed at one value over every row so far: its value.
struct Stuck {
    bool seenAny = false;
    std::optional<int> value;

    void add(const std::optional<int>& row) {
        value = !seenAny || value == row ? row : std::nullopt;
        seenAny = true;
    }
};

// Adds each row's windows to the sums as the rows are cut.
class Summing final : public StreamSink {
public:
    Summing(std::uint64_t rate, bool whitening)
        : whitening_(whitening), cutter_(rate, kRowPeriod) {}

    void take(std::span<const std::uint8_t> given) override {
        for (std::size_t i = 0;
             i < given.size() && firstRight.size() < CorrelationNoise::kSamplesRead; ++i) {
            firstRight.push_back(given[i] & 1);
            firstLeft.push_back((given[i] >> 1) & 1);
        }
        samples += given.size();
        cutter_.take(given);
        addFinished();
    }
    void lose(std::uint64_t count) override { cutter_.lose(count); }
    bool stopping() const override { return false; }
    std::uint64_t rowSamples() const override { return cutter_.rowSamples(); }

    void end() {
        cutter_.end();
        addFinished();
    }

    SectorCorrelator::Sums sums;
    WhitenedCorrelator whitened;
    // The stream's first bits, which tell the noise.
    std::vector<std::uint8_t> firstRight;
    std::vector<std::uint8_t> firstLeft;
    std::uint64_t samples = 0;
    Stuck right;
    Stuck left;

private:
    void addFinished() {
        for (const auto& row : cutter_.finished()) {
            SectorCorrelator::add(row.runs, sums);
            for (const auto& run : row.runs) {
                if (whitening_ && run.windows > 0) {
                    whitened.add(run.right.data() + 1, run.left.data() + 1,
                                 static_cast<std::size_t>(run.windows) * kWindow + kMaxLag);
                }
            }
            if (row.windows > 0) {
                right.add(row.stuckRight);
                left.add(row.stuckLeft);
            }
        }
    }

    bool whitening_;
    StreamCutter cutter_;
};

} // namespace

Assessed assess(const std::shared_ptr<SampleStream>& recording,
                const Follower::Analysis& analysis) {
    const auto summing = CaptureWorker::perform<std::shared_ptr<Summing>>(
        [recording, whitening = analysis.whitening](CaptureWorker::Progress& progress) {
            auto sink = std::make_shared<Summing>(recording->streamRate(), whitening);
            recording->stream(*sink, progress);
            sink->end();
            return sink;
        },
        recording->subject());
    if (summing->sums.windows == 0) {
        throw OperatorError(OperatorError::Kind::FileTooShort, recording->subject(),
                            std::to_string(summing->samples));
    }
    Assessed assessed;
    SampleStore::Correlogram left{};
    SampleStore::Correlogram right{};
    assessed.windows = SectorCorrelator::mean(summing->sums, left, right);
    Bearing::Noise noise =
        CorrelationNoise::of(summing->firstRight.data(), summing->firstLeft.data(),
                             summing->firstRight.size(), assessed.windows);
    Bearing::Axis values = Bearing::signedAxis(left, right);
    Bearing::Basis basis{Bearing::Basis::Kind::Mean, assessed.windows, 0};
    if (analysis.whitening) {
        values = summing->whitened.coefficients();
        noise.floor = summing->whitened.noiseFloor();
        basis = {Bearing::Basis::Kind::Whitened, assessed.windows, summing->whitened.samples()};
    }
    assessed.result =
        Bearing::assess(values, recording->streamRate(), basis, noise,
                        {summing->right.value, summing->left.value}, analysis.geometry);
    return assessed;
}

} // namespace WholeRecording
