#include "windowless_run.h"

#include "bounded_progress.h"
#include "correlogram_csv.h"
#include "instrument.h"
#include "operator_error.h"
#include "operator_message.h"
#include "origin_text.h"
#include "result_csv.h"
#include "result_text.h"
#include "whole_recording.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <optional>
#include <sstream>

namespace WindowlessRun {

namespace {

using Clock = std::chrono::steady_clock;

// Why a stream refused what was written: the system's reason, when the
// writer cleared errno before writing.
OperatorError unwritten() {
    return {OperatorError::Kind::OutputNotWritten,
            {},
            errno != 0 ? std::strerror(errno) : "errore di scrittura"};
}

void tell(std::ostream& err, const OperatorError& error) {
    err << "correlatore: " << operatorMessage(error) << '\n';
}

// A phase of a driver's search that overran: the driver did not answer.
bool stalled(const OperatorError& error) {
    return error.kind() == OperatorError::Kind::DeviceScanStalled ||
           error.kind() == OperatorError::Kind::DeviceOpenStalled;
}

std::string listed(const std::vector<FoundAnalyser>& analysers, int& found) {
    std::ostringstream text;
    for (const FoundAnalyser& analyser : analysers) {
        text << (found++ == 0 ? "Analizzatori logici trovati:\n" : "") << analyser.address << " - "
             << analyser.name() << " con " << analyser.logicChannels.size() << " canali logici:";
        for (const std::string& channel : analyser.logicChannels) {
            text << ' ' << channel;
        }
        text << '\n';
    }
    return text.str();
}

void analyse(Instrument& instrument, const CommandLine& line) {
    if (line.whiten) {
        instrument.whiten();
    } else if (line.integrate) {
        instrument.integrate();
    } else {
        instrument.analyse([](Side, int, double) {});
    }
}

} // namespace

int print(const std::string& text, std::ostream& out, std::ostream& err) {
    errno = 0;
    out << text << std::flush;
    if (!out) {
        tell(err, unwritten());
        return kFailed;
    }
    return kSucceeded;
}

int summarize(const CommandLine& line, const std::vector<Named>& captures, std::ostream& out,
              std::ostream& err) {
    const std::optional<Bearing::Geometry> geometry = line.geometry();
    if (print("file," + std::string(ResultCsv::kColumns) + '\n', out, err) != kSucceeded) {
        return kFailed;
    }
    int status = kSucceeded;
    for (const Named& capture : captures) {
        std::string row;
        Instrument instrument;
        try {
            instrument.scan(capture.source);
            Bearing::Result result;
            // A recording is integrated or whitened whole, however long.
            if ((line.integrate || line.whiten) && capture.recording) {
                result =
                    WholeRecording::assess(capture.recording(), {geometry, line.whiten}).result;
            } else {
                analyse(instrument, line);
                result = instrument.assess(geometry);
            }
            row = ResultCsv::columns(result, originNotes(instrument.marks().origin));
        } catch (const OperatorError& error) {
            row = ResultCsv::failure(operatorMessage(error));
            status = kFailed;
        }
        if (print(ResultCsv::field(capture.name) + ',' + row + '\n', out, err) != kSucceeded) {
            return kFailed;
        }
    }
    return status;
}

int run(const CommandLine& line, const std::shared_ptr<CaptureSource>& source, CaptureFiles& files,
        std::ostream& out, std::ostream& err) {
    Instrument instrument;
    try {
        instrument.scan(source);
        if (line.output) {
            files.save(*line.output, instrument.heldSamples(), instrument.marks().sampleRate);
            // A board that holds less than a scan gave all it had: say so.
            if (const auto note = memoryNote(instrument.marks().origin); !note.empty()) {
                err << "correlatore: " << note << '\n';
            }
        }
        if (line.csv) {
            analyse(instrument, line);
        }
    } catch (const OperatorError& error) {
        tell(err, error);
        return kFailed;
    }
    if (!line.csv) {
        return kSucceeded;
    }
    const auto [left, right] = instrument.correlograms();
    return print(correlogramCsv(left, right), out, err);
}

namespace {

// What the command line hears of its session: rows waiting, and the end.
class Watch final : public Session::Observer {
public:
    void rowsWaiting() override {
        const std::lock_guard lock(mutex_);
        changed_.notify_one();
    }
    void followingEnded(const Follower::End& end) override {
        const std::lock_guard lock(mutex_);
        ended_ = end;
        changed_.notify_one();
    }
    // How the mode ended, once it has, after waiting up to limit for news.
    std::optional<Follower::End> wait(std::chrono::milliseconds limit) {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit);
        return ended_;
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::optional<Follower::End> ended_;
};

} // namespace

int follow(const CommandLine& line, Session& session, const std::shared_ptr<SampleStream>& stream,
           const CaptureOrigin& origin, const std::atomic<bool>& interrupted, std::ostream& out,
           std::ostream& err) {
    Watch watch;
    session.setObserver(&watch);
    session.follow(stream, origin);
    if (session.periodRaised()) {
        err << "correlatore: " << raisedPeriodText(session.period()) << '\n';
    }
    bool writing = print(std::string(ResultCsv::kRowHeader) + '\n', out, err) == kSucceeded;
    std::uint64_t count = 0;
    std::optional<Follower::End> ended;
    while (writing && !ended && !interrupted && (!line.count || count < *line.count)) {
        // The rows the session had when it ended are its last.
        ended = watch.wait(std::chrono::milliseconds(20));
        for (const Follower::Row& row : session.takeRows()) {
            if (line.count && count == *line.count) {
                break;
            }
            // Written on this thread, so that a slow reader holds up only a
            // recording's replay, never a live analysis.
            writing =
                print(ResultCsv::row(row, session.followRate()) + '\n', out, err) == kSucceeded;
            if (!writing) {
                break;
            }
            ++count;
        }
    }
    session.stopFollowing();
    // The acquisition is stopped cleanly when the device lets it.
    session.waitForEnd(std::chrono::milliseconds(800));
    session.setObserver(nullptr);
    if (ended && ended->fault) {
        tell(err, *ended->fault);
        return kFailed;
    }
    if (writing && ended && ended->reachedEnd) {
        err << "correlatore: " << replayEndedText() << '\n';
    }
    return writing ? kSucceeded : kFailed;
}

int listAnalysers(CaptureSources& sources, const std::optional<CaptureOptions::DeviceSpec>& where,
                  std::chrono::milliseconds bound, std::ostream& out, std::ostream& err) {
    const auto deadline = Clock::now() + bound;
    std::vector<CaptureOptions::DeviceSpec> drivers;
    if (where) {
        drivers.push_back(*where);
    } else {
        for (const std::string& driver : sources.analyserDrivers()) {
            drivers.push_back(CaptureOptions::parseDeviceSpec(driver));
        }
    }
    int found = 0;
    std::string silent; // the drivers cut off by the bound
    std::vector<std::string> unreached;
    for (const auto& driver : drivers) {
        if (Clock::now() >= deadline) {
            unreached.push_back(driver.text);
            continue;
        }
        std::string text;
        try {
            text = listed(CaptureWorker::perform<std::vector<FoundAnalyser>>(
                              [&sources, driver, deadline](CaptureWorker::Progress& progress) {
                                  BoundedProgress bounded(progress, deadline);
                                  return sources.find(driver, bounded);
                              },
                              driver.text),
                          found);
        } catch (const OperatorError& error) {
            if (stalled(error) && Clock::now() >= deadline) {
                silent += (silent.empty() ? "" : ", ") + driver.text;
            } else {
                tell(err, error);
            }
        }
        if (print(text, out, err) != kSucceeded) {
            return kFailed;
        }
    }
    if (!silent.empty() || !unreached.empty()) {
        const auto seconds = std::chrono::ceil<std::chrono::seconds>(bound).count();
        tell(err,
             {OperatorError::Kind::AnalyserListCut, silent, std::to_string(seconds), unreached});
    }
    if (found == 0) {
        tell(err, {OperatorError::Kind::NoAnalyserFound, {}});
        return kFailed;
    }
    return kSucceeded;
}

} // namespace WindowlessRun
