#include "instrument.h"

#include "correlation_noise.h"
#include "plot_geometry.h"
#include "whitened_correlator.h"

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
    const auto [right, left] = bitsHeld();
    settle({Bearing::Basis::Kind::FirstWindow, SectorCorrelator::windowsIn(held_), 0}, right, left);
}

void Instrument::integrate() {
    marks_.scanNotAnalysed = false;
    const auto [right, left] = bitsHeld();
    const int windows = SectorCorrelator::integrate(right, left, held_, store_->correlationLeft,
                                                    store_->correlationRight);
    settle({Bearing::Basis::Kind::Mean, windows, 0}, right, left);
}

void Instrument::whiten() {
    marks_.scanNotAnalysed = false;
    const auto [right, left] = bitsHeld();
    WhitenedCorrelator correlator;
    correlator.add(right.data() + 1, left.data() + 1, static_cast<std::size_t>(held_));
    const Bearing::Axis coefficients = correlator.coefficients();
    for (int d = 0; d <= kMaxLag; ++d) {
        const auto lag = static_cast<std::size_t>(d);
        store_->correlationLeft[lag] =
            PlotGeometry::whitenedValue(coefficients[static_cast<std::size_t>(kMaxLag - d)]);
        store_->correlationRight[lag] =
            PlotGeometry::whitenedValue(coefficients[static_cast<std::size_t>(kMaxLag + d)]);
    }
    settle({Bearing::Basis::Kind::Whitened, SectorCorrelator::windowsIn(held_),
            static_cast<std::uint64_t>(held_)},
           right, left);
    values_ = coefficients;
    noise_.floor = correlator.noiseFloor();
}

void Instrument::settle(Bearing::Basis basis, const std::vector<std::uint8_t>& right,
                        const std::vector<std::uint8_t>& left) {
    basis_ = basis;
    values_ = Bearing::signedAxis(store_->correlationLeft, store_->correlationRight);
    noise_ = CorrelationNoise::of(right.data() + 1, left.data() + 1,
                                  static_cast<std::size_t>(held_), windowsRead());
    analysed_ = true;
}

int Instrument::windowsRead() const {
    return basis_.kind == Bearing::Basis::Kind::Mean ? basis_.windows : 1;
}

std::pair<SampleStore::Correlogram, SampleStore::Correlogram> Instrument::correlograms() const {
    std::pair<SampleStore::Correlogram, SampleStore::Correlogram> sectors{};
    for (int d = 0; d <= kMaxLag; ++d) {
        const auto lag = static_cast<std::size_t>(d);
        sectors.first[lag] = values_[static_cast<std::size_t>(kMaxLag - d)];
        sectors.second[lag] = values_[static_cast<std::size_t>(kMaxLag + d)];
    }
    return sectors;
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

// The bits are looked at over what the analysis read, and then over all
// held, to tell a quiet window from a receiver that never changes.
Bearing::Result Instrument::assess(const std::optional<Bearing::Geometry>& geometry) const {
    // A row's windows may reach past what the store holds of it.
    const int read = basis_.kind == Bearing::Basis::Kind::Whitened
                         ? held_
                         : static_cast<int>(std::min(
                               static_cast<std::int64_t>(windowsRead()) * kWindow + kMaxLag,
                               std::int64_t{held_}));
    Bearing::Idle idle{stuckOver(0, read), stuckOver(1, read)};
    if ((idle.right || idle.left) && read < held_) {
        idle.throughout =
            (!idle.right || stuckOver(0, held_)) && (!idle.left || stuckOver(1, held_));
    }
    return Bearing::assess(values_, marks_.sampleRate, basis_, noise_, idle, geometry);
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
    const bool whitened = row.basis.kind == Bearing::Basis::Kind::Whitened;
    const auto shown = [&](int index) {
        const double value = row.axis[static_cast<std::size_t>(index)];
        return whitened ? PlotGeometry::whitenedValue(value) : value;
    };
    for (int d = 0; d <= kMaxLag; ++d) {
        const auto lag = static_cast<std::size_t>(d);
        store_->correlationLeft[lag] = shown(kMaxLag - d);
        store_->correlationRight[lag] = shown(kMaxLag + d);
    }
    basis_ = row.basis;
    values_ = row.axis;
    noise_ = row.noise;
    analysed_ = true;
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
