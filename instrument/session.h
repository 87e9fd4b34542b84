#pragma once

#include "bearing.h"
#include "capture_files.h"
#include "capture_options.h"
#include "capture_source.h"
#include "capture_sources.h"
#include "follower.h"
#include "instrument.h"
#include "row_recording.h"
#include "sample_stream.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

// The instrument as the operator runs it, apart from any window: the source
// chosen, one scan at a time into the Instrument, and continuous scanning of
// any stream (an analyser, the port, the simulator, a recording) row by row,
// with the rows on their way out and their recording. The window and the
// command line both drive it and hear from it through an Observer.
//
// Threads. The driving thread (the window's, or the command line's main
// thread) makes every call below; none of them waits on a device.
// - A scan runs its capture on a capture worker thread ("acquisizione",
//   CaptureWorker), which the driving thread waits for within each phase's
//   deadline, running idle meanwhile. A worker still blocked past its
//   deadline is left to itself, never joined; a stop made at a deadline runs
//   on a thread of its own ("arresto"), left to itself likewise.
// - Following starts two threads, both detached and holding the follower's
//   shared state alive:
//   "attesa" runs the stream on a capture worker and waits for it within its
//   deadlines; it ends when the stream ends: asked to stop, at a recording's
//   last sample, or by a fault.
//   "analisi" cuts the stream into rows and analyses each (the second sector
//   on a thread of its own, "settore", joined at once); for each row it
//   writes the recording's line, under no lock, then queues the row under the
//   rows' lock, which the driving thread takes only to take the rows, and
//   wakes the observer. It ends once the stream has ended, or at once when
//   the mode is stopped, telling the observer how it ended.
// - Once the whitened analysis is chosen, "piani" makes its transforms'
//   plans, which takes about half a second once per process, so that the
//   driving thread's first whitened analysis finds them made. It only
//   computes; the session joins it as it goes.
// - stopFollowing() asks the stream to stop and returns at once. The
//   follower's destructor waits up to Follower::kHandlerLimit for a row being
//   handed on, and calls nothing afterwards, so that the session may go
//   whatever the order its owner's members go in.
class Session {
public:
    // What the driving thread hears, on the analysing thread: it must not
    // block, and should only hand the news to its own thread.
    class Observer {
    public:
        virtual ~Observer() = default;
        // Rows wait to be taken, where none waited.
        virtual void rowsWaiting() = 0;
        // The mode ended by itself or was stopped: once a start.
        virtual void followingEnded(const Follower::End& end) = 0;
    };

    // A row's line in a recording, and the header over them: texts are made
    // above this layer.
    struct RowFormat {
        std::string header;
        std::function<std::string(const Follower::Row& row, std::uint64_t rate)> line;
    };

    // What the operator chose, as remembered between runs or given.
    struct Choices {
        std::chrono::milliseconds rowPeriod = kRowPeriod;
        bool integrating = false;
        // The whitened correlation of every sample, whatever integrating says.
        bool whitening = false;
        std::optional<Bearing::Geometry> geometry;
    };

    // Rows beyond this many waiting are dropped, the oldest first, where
    // only the newest matter (a display); otherwise a recording's replay
    // waits for them to be taken.
    static constexpr std::size_t kRowsWaiting = 300;

    // Scans come from scanSource until a source is chosen among those
    // offered; files open and replay through files, which outlives this.
    Session(std::shared_ptr<CaptureSource> scanSource, CaptureFiles& files, RowFormat format,
            bool keepNewestRowsOnly);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    Instrument& instrument() { return instrument_; }
    const Instrument& instrument() const { return instrument_; }
    const Choices& choices() const { return choices_; }
    void choose(const Choices& choices);
    void setRowPeriod(std::chrono::milliseconds period) { choices_.rowPeriod = period; }
    void setIntegrating(bool whole) { choices_.integrating = whole; }
    void setWhitening(bool whitening);
    void setGeometry(const Bearing::Geometry& geometry) { choices_.geometry = geometry; }

    // The sources a choice is made among, and the one in use: current, or
    // the port when current is an analyser that this libsigrok cannot
    // drive. Choosing one such throws OperatorError, and keeps the last.
    void offer(CaptureSources& sources, const CaptureOptions::Source& current);
    bool sourcesOffered() const { return sources_ != nullptr; }
    CaptureSources* sources() const { return sources_; }
    void useSource(const CaptureOptions::Source& source);
    const CaptureOptions::Source& source() const { return source_; }
    // A simulator in use moves from lag to its mirror on the other side.
    void setSimulatedLag(int lag);

    // One scan from the source in use, or from a file; idle runs on this
    // thread meanwhile. Throws OperatorError, changing nothing.
    void scan(const CaptureWorker::Idle& idle = {});
    void scanFrom(const std::shared_ptr<CaptureSource>& source,
                  const CaptureWorker::Idle& idle = {});
    // Analyses what the instrument holds as chosen: whitened, every whole
    // window, or the first lag by lag, handed to consumer; started runs
    // first.
    void analyse(const SectorCorrelator::LagConsumer& consumer,
                 const std::function<void()>& started = {});
    Bearing::Result assess() const { return instrument_.assess(choices_.geometry); }

    // Follows the source in use, or replays the file the instrument holds,
    // until stopped, the file's end or a fault. Throws OperatorError when it
    // cannot start, or when the last stream still holds its device.
    void startFollowing();
    // Follows stream, whose samples come from origin.
    void follow(std::shared_ptr<SampleStream> stream, CaptureOrigin origin);
    void stopFollowing();
    bool following() const { return following_; }
    // Whether the last mode has ended, waiting up to limit for it.
    bool waitForEnd(std::chrono::milliseconds limit);
    // The observer from now on; one let go is called no more once this
    // returns, a call under way waited for up to Follower::kHandlerLimit.
    void setObserver(Observer* observer);

    // The rows' period as cut, and whether it was raised to one window.
    std::chrono::microseconds period() const;
    bool periodRaised() const;
    std::uint64_t followRate() const { return followRate_; }
    // Samples the stream dropped for want of room, all told.
    std::uint64_t droppedSamples() const { return follower_ ? follower_->droppedSamples() : 0; }
    // The rows waiting, oldest first, each with its samples dropped but the
    // last's.
    std::vector<Follower::Row> takeRows();
    // Holds row as the last analysis, its samples kept whole.
    void show(Follower::Row row);

    // Appends each row's line to path while the mode runs. Throws
    // OperatorError when it cannot be opened.
    void record(const std::string& path);
    void stopRecording();
    // Why a recording stopped by itself, once, if it did.
    std::optional<OperatorError> recordingFailure();

private:
    std::shared_ptr<SampleStream> streamOfSource() const;
    void rowArrived(Follower::Row row);
    void recordRow(const Follower::Row& row);
    void ended(const Follower::End& end);
    // Calls the observer, if any, outside the lock taken as lock.
    template <typename Call> void tell(std::unique_lock<std::mutex>& lock, Call&& call);

    Instrument instrument_;
    Choices choices_;
    std::shared_ptr<CaptureSource> scanSource_;
    CaptureFiles& files_;
    CaptureSources* sources_ = nullptr;
    CaptureOptions::Source source_;
    const RowFormat format_;
    const bool keepNewestRowsOnly_;

    // The mode, on the driving thread.
    std::unique_ptr<Follower> follower_;
    bool following_ = false;
    std::uint64_t followRate_ = kPortRate;
    CaptureOrigin followOrigin_;

    // What the analysing thread hands over.
    std::mutex mutex_;
    std::condition_variable taken_;
    Observer* observer_ = nullptr;
    int telling_ = 0; // calls of the observer under way
    std::condition_variable told_;
    std::vector<Follower::Row> rows_;
    bool replaying_ = false;
    bool stopAsked_ = false;
    std::shared_ptr<RowRecording> recording_;
    std::optional<OperatorError> recordingFailure_;
    // Makes the whitened analysis's plans, once whitening is chosen.
    std::jthread planning_;
    void preparePlans();
};
