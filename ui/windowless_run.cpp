#include "windowless_run.h"

#include "correlogram_csv.h"
#include "operator_error.h"
#include "sector_correlator.h"

#include <cerrno>
#include <cstring>
#include <memory>

namespace WindowlessRun {

int run(const CommandLine& line, CaptureSource& source, CaptureFiles& files, std::ostream& out,
        std::ostream& err) {
    const auto store = std::make_unique<SampleStore>();
    try {
        source.scan(*store);
        if (line.output) {
            files.save(*line.output, CaptureSource::scannedSamples(*store), source.sampleRate());
        }
        if (line.csv) {
            SectorCorrelator::analyse(*store, [](Side, int, double) {});
            errno = 0;
            out << correlogramCsv(*store) << std::flush;
            if (!out) {
                throw OperatorError(OperatorError::Kind::OutputNotWritten, {},
                                    errno != 0 ? std::strerror(errno) : "errore di scrittura");
            }
        }
    } catch (const OperatorError& error) {
        err << "correlatore: " << error.what() << '\n';
        return kFailed;
    }
    return kSucceeded;
}

} // namespace WindowlessRun
