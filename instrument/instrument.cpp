#include "instrument.h"

#include <algorithm>

Instrument::Instrument() : store_(std::make_unique<SampleStore>()) {}

void Instrument::scan(const std::shared_ptr<CaptureSource>& source,
                      const CaptureWorker::Idle& idle) {
    // The red marks go as the scan starts, and come back if it fails.
    const Marks before = marks_;
    marks_.simulatedSource.reset();
    try {
        keep(CaptureWorker::run(
            [source](CaptureWorker::Progress& progress) { return source->capture(progress); },
            source->subject(), idle));
    } catch (...) {
        marks_ = before;
        throw;
    }
}

// The bytes as taken in the raw samples; bit 0 is the right receiver and
// bit 1 the left one in the channels.
void Instrument::place(SampleStore& store, const Capture& capture) {
    const std::size_t count = std::min(capture.samples.size(), std::size_t{kSamples});
    std::fill(store.rawSamples.begin() + 1, store.rawSamples.end(), 0);
    std::copy_n(capture.samples.begin(), count, store.rawSamples.begin() + 1);
    for (std::size_t i = 1; i <= kSplitSamples; ++i) {
        const int b = store.rawSamples[i];
        store.channelRight[i] = static_cast<std::uint8_t>(b & 0x01);
        store.channelLeft[i] = static_cast<std::uint8_t>((b & 0x02) / 2);
    }
}

void Instrument::keep(const Capture& capture) {
    rowRun_.reset();
    place(*store_, capture);
    held_ = static_cast<int>(std::min(capture.samples.size(), std::size_t{kSamples}));
    marks_.holdsCapture = true;
    marks_.simulatedSource.reset();
    marks_.scanNotAnalysed = true;
    marks_.sampleRate = capture.sampleRate;
    marks_.origin = capture.origin;
}

void Instrument::simulate(Side side, int delay) {
    rowRun_.reset();
    simulator_.simulate(*store_, side, delay);
    held_ = NoiseSourceSimulator::kLastCopied;
    marks_.holdsCapture = true;
    marks_.simulatedSource = side;
    marks_.sampleRate = kPortRate;
    marks_.origin = SimulationOrigin{side, delay};
}

void Instrument::analyse(const SectorCorrelator::LagConsumer& consumer,
                         const std::function<void()>& started) {
    marks_.scanNotAnalysed = false;
    if (started) {
        started();
    }
    SectorCorrelator::analyse(*store_, consumer);
    analysed_ = true;
    windows_ = 1;
}

void Instrument::integrate() {
    marks_.scanNotAnalysed = false;
    const auto [right, left] = bitsHeld();
    windows_ = SectorCorrelator::integrate(right, left, held_, store_->correlationLeft,
                                           store_->correlationRight);
    analysed_ = true;
}

std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> Instrument::bitsHeld() const {
    const bool simulated =
        marks_.origin && std::holds_alternative<SimulationOrigin>(*marks_.origin);
    const auto size = static_cast<std::size_t>(held_) + 1;
    std::vector<std::uint8_t> right(size);
    std::vector<std::uint8_t> left(size);
    for (std::size_t i = 1; i < size; ++i) {
        const int raw = store_->rawSamples[i];
        right[i] = simulated ? store_->channelRight[i] : static_cast<std::uint8_t>(raw & 1);
        left[i] = simulated ? store_->channelLeft[i] : static_cast<std::uint8_t>((raw >> 1) & 1);
    }
    return {std::move(right), std::move(left)};
}

Bearing::Result Instrument::assess(const std::optional<Bearing::Geometry>& geometry) const {
    // A row's windows may reach past what the store holds of it.
    const int read = static_cast<int>(
        std::min(static_cast<std::int64_t>(windows_) * kWindow + kMaxLag, std::int64_t{held_}));
    return Bearing::assess(store_->correlationLeft, store_->correlationRight, marks_.sampleRate,
                           windows_, {stuckOver(0, read), stuckOver(1, read)}, geometry);
}

// Read where the analysis reads it, without copying what is held: the
// result line asks for this after every analysis.
int Instrument::bitAt(int index, int bit) const {
    const auto i = static_cast<std::size_t>(index);
    if (marks_.origin && std::holds_alternative<SimulationOrigin>(*marks_.origin)) {
        return bit == 0 ? store_->channelRight[i] : store_->channelLeft[i];
    }
    return (store_->rawSamples[i] >> bit) & 1;
}

std::optional<int> Instrument::stuckOver(int bit, int read) const {
    const int first = bitAt(1, bit);
    for (int i = 2; i <= read; ++i) {
        if (bitAt(i, bit) != first) {
            return std::nullopt;
        }
    }
    return first;
}

// The row's first run: a row that lost samples holds more than one, and
// they are never spliced together.
// The store takes what it has room for; the whole run is put together only
// when it is saved.
void Instrument::follow(Follower::Row row, std::uint64_t rate, const CaptureOrigin& origin) {
    std::optional<SectorCorrelator::Run> run;
    if (!row.runs.empty()) {
        run = std::move(row.runs.front());
    }
    keep({run ? samplesOf(*run, kSamples) : std::vector<std::uint8_t>{}, rate, origin});
    rowRun_ = std::move(run);
    marks_.scanNotAnalysed = false;
    for (int d = 0; d <= kMaxLag; ++d) {
        const auto lag = static_cast<std::size_t>(d);
        store_->correlationLeft[lag] = row.axis[static_cast<std::size_t>(kMaxLag - d)];
        store_->correlationRight[lag] = row.axis[static_cast<std::size_t>(kMaxLag + d)];
    }
    analysed_ = true;
    windows_ = std::max(row.windows, 1);
}

std::vector<std::uint8_t> Instrument::samplesOf(const SectorCorrelator::Run& run,
                                                std::size_t most) {
    const auto count = std::min(static_cast<std::size_t>(run.windows) * kWindow + kMaxLag, most);
    std::vector<std::uint8_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::uint8_t>(run.right[i + 1] | run.left[i + 1] << 1);
    }
    return samples;
}

std::vector<std::uint8_t> Instrument::heldSamples() const {
    if (rowRun_) {
        return samplesOf(*rowRun_, SIZE_MAX);
    }
    const auto [right, left] = bitsHeld();
    std::vector<std::uint8_t> samples(right.size() - 1);
    for (std::size_t i = 1; i < right.size(); ++i) {
        samples[i - 1] = static_cast<std::uint8_t>(right[i] | left[i] << 1);
    }
    return samples;
}

void Instrument::save(CaptureFiles& files, const std::string& path) const {
    files.save(path, heldSamples(), marks_.sampleRate);
}
