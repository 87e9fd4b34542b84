#pragma once

#include "capture_options.h"
#include "capture_source.h"
#include "capture_worker.h"
#include "found_analyser.h"
#include "sample_stream.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

// Where the window may take its scans from: the parallel port, one of the
// logic analysers that libsigrok drives, or the simulator.
class CaptureSources {
public:
    virtual ~CaptureSources() = default;

    // The drivers libsigrok classes as logic analysers' drivers.
    virtual std::vector<std::string> analyserDrivers() const = 0;
    // Scans for where's devices, each with its logic channels and rates. Runs
    // on the capture worker and reports its phases to progress; throws
    // OperatorError.
    virtual std::vector<FoundAnalyser> find(const CaptureOptions::DeviceSpec& where,
                                            CaptureWorker::Progress& progress) = 0;
    virtual std::shared_ptr<CaptureSource> port() = 0;
    // Throws OperatorError for a driver or scan option libsigrok lacks.
    virtual std::shared_ptr<CaptureSource> analyser(const CaptureOptions::Analyser& analyser) = 0;
    virtual std::shared_ptr<CaptureSource>
    simulation(const CaptureOptions::Simulation& simulation) = 0;
    // A stream from source; throws as analyser() does.
    virtual std::shared_ptr<SampleStream> stream(const CaptureOptions::Source& source) = 0;
};
