#include "windowless_run.h"

#include "correlogram_csv.h"
#include "instrument.h"
#include "operator_error.h"
#include "operator_message.h"

#include <cerrno>
#include <cstring>

namespace WindowlessRun {

int run(const CommandLine& line, const std::shared_ptr<CaptureSource>& source, CaptureFiles& files,
        std::ostream& out, std::ostream& err) {
    Instrument instrument;
    try {
        instrument.scan(source);
        if (line.output) {
            files.save(*line.output, instrument.scannedSamples(), instrument.marks().sampleRate);
        }
        if (line.csv) {
            instrument.analyse([](Side, int, double) {});
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

} // namespace WindowlessRun
