#include "session.h"

#include "thread_name.h"
#include "whitened_correlator.h"

#include <type_traits>
#include <utility>

namespace {

// How long a replay waits at most between looks at whether it should stop,
// while the rows it made wait to be taken.
constexpr std::chrono::milliseconds kTakenPoll{50};

// Where a source's samples come from, as a capture from it says.
CaptureOrigin originOf(const CaptureOptions::Source& source) {
    if (const auto* analyser = std::get_if<CaptureOptions::Analyser>(&source)) {
        return DeviceOrigin{analyser->device.text, analyser->channels};
    }
    if (const auto* simulation = std::get_if<CaptureOptions::Simulation>(&source)) {
        return SimulatedSourceOrigin{*simulation};
    }
    return PortOrigin{};
}

} // namespace

Session::Session(std::shared_ptr<CaptureSource> scanSource, CaptureFiles& files, RowFormat format,
                 bool keepNewestRowsOnly)
    : scanSource_(std::move(scanSource)), files_(files), format_(std::move(format)),
      keepNewestRowsOnly_(keepNewestRowsOnly) {}

void Session::choose(const Choices& choices) {
    choices_ = choices;
    preparePlans();
}

void Session::setWhitening(bool whitening) {
    choices_.whitening = whitening;
    preparePlans();
}

void Session::preparePlans() {
    if (choices_.whitening && !planning_.joinable()) {
        planning_ = std::jthread([] {
            nameThisThread("piani");
            WhitenedCorrelator::preparePlans();
        });
    }
}

// The follower goes first, so that no row comes once the rest has gone.
Session::~Session() {
    stopFollowing();
    follower_.reset();
}

void Session::offer(CaptureSources& sources, const CaptureOptions::Source& current) {
    sources_ = &sources;
    try {
        useSource(current);
    } catch (const OperatorError&) {
        // A remembered driver that this libsigrok lacks: the port, as by default.
        useSource(CaptureOptions::Port{});
    }
}

void Session::useSource(const CaptureOptions::Source& source) {
    scanSource_ = std::visit(
        [this](const auto& choice) -> std::shared_ptr<CaptureSource> {
            using Choice = std::decay_t<decltype(choice)>;
            if constexpr (std::is_same_v<Choice, CaptureOptions::Analyser>) {
                return sources_->analyser(choice);
            } else if constexpr (std::is_same_v<Choice, CaptureOptions::Simulation>) {
                return sources_->simulation(choice);
            } else {
                return sources_->port();
            }
        },
        source);
    source_ = source;
}

void Session::setSimulatedLag(int lag) {
    if (auto* simulation = std::get_if<CaptureOptions::Simulation>(&source_)) {
        simulation->lag = lag;
        simulation->lagEnd = -lag;
        scanSource_ = sources_->simulation(*simulation);
    }
}

void Session::scan(const CaptureWorker::Idle& idle) {
    scanFrom(scanSource_, idle);
}

void Session::scanFrom(const std::shared_ptr<CaptureSource>& source,
                       const CaptureWorker::Idle& idle) {
    instrument_.scan(source, idle);
}

void Session::analyse(const SectorCorrelator::LagConsumer& consumer,
                      const std::function<void()>& started) {
    if (!choices_.integrating && !choices_.whitening) {
        instrument_.analyse(consumer, started);
        return;
    }
    // The values are ready at once: they are handed on together.
    if (choices_.whitening) {
        instrument_.whiten();
    } else {
        instrument_.integrate();
    }
    if (started) {
        started();
    }
    for (const Side sector : {Side::Left, Side::Right}) {
        const auto& values = sector == Side::Left ? instrument_.store().correlationLeft
                                                  : instrument_.store().correlationRight;
        for (int lag = 0; lag <= kMaxLag; ++lag) {
            consumer(sector, lag, values[static_cast<std::size_t>(lag)]);
        }
    }
}

// A file the instrument holds is replayed; otherwise the source in use
// streams.
std::shared_ptr<SampleStream> Session::streamOfSource() const {
    const auto& origin = instrument_.marks().origin;
    if (origin && std::holds_alternative<FileOrigin>(*origin)) {
        const auto& file = std::get<FileOrigin>(*origin);
        return files_.stream(file.path, file.channels);
    }
    return sources_->stream(source_);
}

void Session::startFollowing() {
    if (following_) {
        return;
    }
    if (follower_ && !follower_->waitForEnd(CaptureWorker::kGrace)) {
        throw OperatorError(OperatorError::Kind::FollowStillStopping, {});
    }
    const auto stream = streamOfSource();
    const auto& origin = instrument_.marks().origin;
    follow(stream,
           origin && std::holds_alternative<FileOrigin>(*origin) ? *origin : originOf(source_));
}

void Session::follow(std::shared_ptr<SampleStream> stream, CaptureOrigin origin) {
    follower_.reset();
    followRate_ = stream->streamRate();
    followOrigin_ = std::move(origin);
    {
        const std::lock_guard lock(mutex_);
        rows_.clear();
        replaying_ = stream->recorded();
        stopAsked_ = false;
    }
    follower_ = std::make_unique<Follower>(
        std::move(stream), choices_.rowPeriod,
        Follower::Analysis{choices_.geometry, choices_.whitening},
        Follower::Handlers{[this](Follower::Row row) { rowArrived(std::move(row)); },
                           [this](const Follower::End& end) { ended(end); }});
    following_ = true;
}

void Session::stopFollowing() {
    if (!following_) {
        return;
    }
    following_ = false;
    {
        const std::lock_guard lock(mutex_);
        stopAsked_ = true;
    }
    taken_.notify_all();
    follower_->stop();
    stopRecording();
}

bool Session::waitForEnd(std::chrono::milliseconds limit) {
    return !follower_ || follower_->waitForEnd(limit);
}

// An observer let go is called no more once this returns: a call under way
// on the analysing thread, which only hands the news on, is waited for.
void Session::setObserver(Observer* observer) {
    std::unique_lock lock(mutex_);
    observer_ = observer;
    told_.wait_for(lock, Follower::kHandlerLimit, [this] { return telling_ == 0; });
}

template <typename Call> void Session::tell(std::unique_lock<std::mutex>& lock, Call&& call) {
    Observer* observer = observer_;
    if (observer == nullptr) {
        return;
    }
    ++telling_;
    lock.unlock();
    call(*observer);
    lock.lock();
    --telling_;
    told_.notify_all();
}

std::chrono::microseconds Session::period() const {
    return follower_ ? follower_->period() : std::chrono::microseconds(choices_.rowPeriod);
}

bool Session::periodRaised() const {
    return follower_ && follower_->periodRaised();
}

std::vector<Follower::Row> Session::takeRows() {
    std::vector<Follower::Row> rows;
    {
        const std::lock_guard lock(mutex_);
        rows.swap(rows_);
    }
    taken_.notify_all();
    return rows;
}

void Session::show(Follower::Row row) {
    instrument_.follow(std::move(row), followRate_, followOrigin_);
}

// On the analysing thread: the line is written before the row is queued,
// and under no lock.
void Session::rowArrived(Follower::Row row) {
    recordRow(row);
    std::unique_lock lock(mutex_);
    // A replay goes no faster than its rows are taken, unless only the
    // newest matter.
    while (replaying_ && !keepNewestRowsOnly_ && rows_.size() >= kRowsWaiting && !stopAsked_) {
        taken_.wait_for(lock, kTakenPoll);
    }
    if (!rows_.empty()) {
        rows_.back().runs.clear();
    }
    if (keepNewestRowsOnly_ && rows_.size() == kRowsWaiting) {
        rows_.erase(rows_.begin());
    }
    const bool first = rows_.empty();
    rows_.push_back(std::move(row));
    if (first) {
        tell(lock, [](Observer& observer) { observer.rowsWaiting(); });
    }
}

void Session::ended(const Follower::End& end) {
    std::unique_lock lock(mutex_);
    tell(lock, [&end](Observer& observer) { observer.followingEnded(end); });
}

// The recording is held here while the line is written, so that stopping
// it meanwhile closes its file only after.
void Session::recordRow(const Follower::Row& row) {
    std::shared_ptr<RowRecording> recording;
    {
        const std::lock_guard lock(mutex_);
        recording = recording_;
    }
    if (!recording) {
        return;
    }
    try {
        recording->append(format_.line(row, followRate_));
    } catch (const OperatorError& error) {
        const std::lock_guard lock(mutex_);
        if (recording_ == recording) {
            recording_.reset();
            recordingFailure_ = error;
        }
    }
}

void Session::record(const std::string& path) {
    auto recording = std::make_shared<RowRecording>(path, format_.header);
    const std::lock_guard lock(mutex_);
    recording_.swap(recording);
    recordingFailure_.reset();
}

// The file a recording leaves is closed once the lock is let go.
void Session::stopRecording() {
    std::shared_ptr<RowRecording> recording;
    const std::lock_guard lock(mutex_);
    recording_.swap(recording);
}

std::optional<OperatorError> Session::recordingFailure() {
    const std::lock_guard lock(mutex_);
    return std::exchange(recordingFailure_, std::nullopt);
}
