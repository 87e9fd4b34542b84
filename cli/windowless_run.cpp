#include "windowless_run.h"

#include "correlogram_csv.h"
#include "instrument.h"
#include "operator_error.h"
#include "operator_message.h"
#include "origin_text.h"
#include "result_text.h"

#include <cerrno>
#include <cstring>
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

const char* verdictName(Bearing::Verdict verdict) {
    switch (verdict) {
    case Bearing::Verdict::Source:
        return "source";
    case Bearing::Verdict::None:
        return "none";
    case Bearing::Verdict::IdleRight:
        return "idle-right";
    case Bearing::Verdict::IdleLeft:
        return "idle-left";
    case Bearing::Verdict::IdleBoth:
        return "idle-both";
    case Bearing::Verdict::NoDirection:
        return "no-direction";
    case Bearing::Verdict::Edge:
        return "edge";
    }
    return "";
}

// Two decimals and a '.', whatever the locale.
std::string fixed(double value) {
    return fixedNumber(value, 2, ".");
}

std::string quotedCsv(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    }
    return quoted + "\"";
}

// A name as a CSV field: quoted where it holds a quote, a comma or a line end.
std::string field(const std::string& text) {
    return text.find_first_of("\",\r\n") == std::string::npos ? text : quotedCsv(text);
}

std::string row(const std::string& name, const Bearing::Result& result, const std::string& note) {
    const bool idle = Bearing::isIdle(result.verdict);
    std::string line = field(name) + "," + verdictName(result.verdict) + ",";
    if (!idle) {
        line += fixed(result.lag) + "," + fixed(result.delayUs) + ",";
    } else {
        line += ",,";
    }
    for (int i = 0; i < 3; ++i) {
        line += (result.bearing ? fixed((*result.bearing)[static_cast<std::size_t>(i)]) : "") + ",";
    }
    return line + (idle ? std::string() : fixed(result.contrast)) + "," +
           (note.empty() ? note : quotedCsv(note));
}

} // namespace

int summarize(const CommandLine& line, const std::vector<Named>& captures, std::ostream& out) {
    out << "file,verdict,lag,delay_us,bearing_deg,bearing_low_deg,bearing_high_deg,contrast,"
           "message\n";
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
            out << row(capture.name, instrument.assess(geometry),
                       channelsNote(instrument.marks().origin))
                << '\n';
        } catch (const OperatorError& error) {
            out << field(capture.name) << ",error,,,,,,," << quotedCsv(operatorMessage(error))
                << '\n';
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
                out << (found++ == 0 ? "Analizzatori logici trovati:\n" : "") << analyser.spec
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
