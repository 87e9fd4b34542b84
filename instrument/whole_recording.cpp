#include "whole_recording.h"

#include "sector_correlator.h"
#include "stream_cutter.h"

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
    explicit Summing(std::uint64_t rate) : cutter_(rate, kRowPeriod) {}

    void take(std::span<const std::uint8_t> given) override {
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
    std::uint64_t samples = 0;
    Stuck right;
    Stuck left;

private:
    void addFinished() {
        for (const auto& row : cutter_.finished()) {
            SectorCorrelator::add(row.runs, sums);
            if (row.windows > 0) {
                right.add(row.stuckRight);
                left.add(row.stuckLeft);
            }
        }
    }

    StreamCutter cutter_;
};

} // namespace

Assessed assess(const std::shared_ptr<SampleStream>& recording,
                const std::optional<Bearing::Geometry>& geometry) {
    const auto summing = CaptureWorker::perform<std::shared_ptr<Summing>>(
        [recording](CaptureWorker::Progress& progress) {
            auto sink = std::make_shared<Summing>(recording->streamRate());
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
    assessed.result = Bearing::assess(left, right, recording->streamRate(), assessed.windows,
                                      {summing->right.value, summing->left.value}, geometry);
    return assessed;
}

} // namespace WholeRecording
