#include "windowless_run.h"

#include "correlogram_csv.h"
#include "follower.h"
#include "instrument.h"
#include "operator_error.h"
#include "operator_message.h"
#include "origin_text.h"
#include "result_csv.h"

#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>

namespace WindowlessRun {

namespace {

void analyse(Instrument& instrument, bool whole) {
    if (whole) {
        instrument.integrate();
    } else {
        instrument.analyse([](Side, int, double) {});
    }
}

} // namespace

int summarize(const CommandLine& line, const std::vector<Named>& captures, std::ostream& out) {
    out << "file," << ResultCsv::kColumns << '\n';
    std::optional<Bearing::Geometry> geometry;
    if (line.baseline) {
        geometry = Bearing::Geometry{*line.baseline, line.speed};
    }
    int status = kSucceeded;
    for (const Named& capture : captures) {
        Instrument instrument;
        try {
            instrument.scan(capture.source);
            analyse(instrument, line.integrate);
            out << ResultCsv::field(capture.name) << ','
                << ResultCsv::columns(instrument.assess(geometry),
                                      channelsNote(instrument.marks().origin))
                << '\n';
        } catch (const OperatorError& error) {
            out << ResultCsv::field(capture.name) << ','
                << ResultCsv::failure(operatorMessage(error)) << '\n';
            status = kFailed;
        }
        out << std::flush;
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
            errno = 0;
            out << correlogramCsv(instrument.store()) << std::flush;
            if (!out) {
                throw OperatorError(OperatorError::Kind::OutputNotWritten, {},
                                    errno != 0 ? std::strerror(errno) : "errore di scrittura");
            }
        }
    } catch (const OperatorError& error) {
        err << "correlatore: " << operatorMessage(error) << '\n';
        return kFailed;
    }
    return kSucceeded;
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
    out << ResultCsv::kRowHeader << std::endl;
    std::uint64_t written = 0;
    std::unique_lock lock(mutex);
    while (!ended && !interrupted && (!line.count || written < *line.count)) {
        changed.wait_for(lock, std::chrono::milliseconds(20));
        for (; !lines.empty() && (!line.count || written < *line.count); ++written) {
            out << lines.front() << std::endl;
            lines.pop_front();
        }
    }
    lock.unlock();
    follower.stop();
    // The acquisition is stopped cleanly when the device lets it.
    follower.waitForEnd(std::chrono::milliseconds(800));
    lock.lock();
    if (ended && *ended) {
        err << "correlatore: " << operatorMessage(**ended) << '\n';
        return kFailed;
    }
    return kSucceeded;
}

int listAnalysers(CaptureSources& sources, const std::optional<CaptureOptions::DeviceSpec>& where,
                  std::ostream& out, std::ostream& err) {
    std::vector<CaptureOptions::DeviceSpec> drivers;
    if (where) {
        drivers.push_back(*where);
    } else {
        for (const std::string& driver : sources.analyserDrivers()) {
            drivers.push_back(CaptureOptions::parseDeviceSpec(driver));
        }
    }
    int found = 0;
    for (const auto& driver : drivers) {
        try {
            const auto analysers = CaptureWorker::perform<std::vector<FoundAnalyser>>(
                [&sources, driver](CaptureWorker::Progress& progress) {
                    return sources.find(driver, progress);
                },
                driver.text);
            for (const FoundAnalyser& analyser : analysers) {
                out << (found++ == 0 ? "Analizzatori logici trovati:\n" : "") << analyser.address
                    << " - " << analyser.name() << " con " << analyser.logicChannels.size()
                    << " canali logici:";
                for (const std::string& channel : analyser.logicChannels) {
                    out << ' ' << channel;
                }
                out << '\n';
            }
        } catch (const OperatorError& error) {
            err << "correlatore: " << operatorMessage(error) << '\n';
        }
    }
    if (found == 0) {
        err << "correlatore: " << operatorMessage({OperatorError::Kind::NoAnalyserFound, {}})
            << '\n';
        return kFailed;
    }
    return kSucceeded;
}

} // namespace WindowlessRun
