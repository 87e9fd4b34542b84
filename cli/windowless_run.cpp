#include "windowless_run.h"

#include "bounded_progress.h"
#include "correlogram_csv.h"
#include "follower.h"
#include "instrument.h"
#include "operator_error.h"
#include "operator_message.h"
#include "origin_text.h"
#include "result_csv.h"
#include "result_text.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
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

// Writes the rows, each checked, while count stays below limit; false once
// out refused one.
bool written(std::deque<std::string>& rows, std::uint64_t& count,
             const std::optional<std::uint64_t>& limit, std::ostream& out) {
    for (; !rows.empty() && (!limit || count < *limit); ++count) {
        errno = 0;
        out << rows.front() << std::endl;
        if (!out) {
            return false;
        }
        rows.pop_front();
    }
    return true;
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

void analyse(Instrument& instrument, bool whole) {
    if (whole) {
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
    std::optional<Bearing::Geometry> geometry;
    if (line.baseline) {
        geometry = Bearing::Geometry{*line.baseline, line.speed};
    }
    if (print("file," + std::string(ResultCsv::kColumns) + '\n', out, err) != kSucceeded) {
        return kFailed;
    }
    int status = kSucceeded;
    for (const Named& capture : captures) {
        std::string row;
        Instrument instrument;
        try {
            instrument.scan(capture.source);
            analyse(instrument, line.integrate);
            row = ResultCsv::columns(instrument.assess(geometry),
                                     originNotes(instrument.marks().origin));
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
        }
        if (line.csv) {
            analyse(instrument, line.integrate);
        }
    } catch (const OperatorError& error) {
        tell(err, error);
        return kFailed;
    }
    return line.csv ? print(correlogramCsv(instrument.store()), out, err) : kSucceeded;
}

int follow(const CommandLine& line, const std::shared_ptr<SampleStream>& stream,
           const std::atomic<bool>& interrupted, std::ostream& out, std::ostream& err) {
    std::optional<Bearing::Geometry> geometry;
    if (line.baseline) {
        geometry = Bearing::Geometry{*line.baseline, line.speed};
    }
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::string> lines;
    std::optional<std::optional<OperatorError>> ended;
    Follower follower(stream, line.rowPeriod.value_or(kRowPeriod), geometry,
                      {[&](Follower::Row row) {
                           std::string text =
                               ResultCsv::row(row.arrived, row.windows, row.lost, row.result);
                           const std::lock_guard lock(mutex);
                           lines.push_back(std::move(text));
                           changed.notify_one();
                       },
                       [&](const std::optional<OperatorError>& fault) {
                           const std::lock_guard lock(mutex);
                           ended = fault;
                           changed.notify_one();
                       }});
    if (follower.periodRaised()) {
        err << "correlatore: " << raisedPeriodText(follower.period()) << '\n';
    }
    bool writing = print(std::string(ResultCsv::kRowHeader) + '\n', out, err) == kSucceeded;
    std::uint64_t count = 0;
    std::deque<std::string> ready;
    std::unique_lock lock(mutex);
    while (writing && !ended && !interrupted && (!line.count || count < *line.count)) {
        changed.wait_for(lock, std::chrono::milliseconds(20));
        ready.insert(ready.end(), lines.begin(), lines.end());
        lines.clear();
        // Written outside the lock, so that a slow reader never holds up the analysis.
        lock.unlock();
        writing = written(ready, count, line.count, out);
        if (!writing) {
            tell(err, unwritten());
        }
        lock.lock();
    }
    lock.unlock();
    follower.stop();
    // The acquisition is stopped cleanly when the device lets it.
    follower.waitForEnd(std::chrono::milliseconds(800));
    lock.lock();
    if (ended && *ended) {
        tell(err, **ended);
        return kFailed;
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
