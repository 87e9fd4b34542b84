#pragma once

#include "capture.h"
#include "capture_worker.h"

#include <string>

// Where a scan's samples come from: the parallel port, a logic analyser, a
// capture file. A source gives its samples as a value and never writes any
// store. It runs on the capture worker's thread and tells the worker each
// phase it enters, so that none of them can take for ever.
class CaptureSource {
public:
    virtual ~CaptureSource() = default;

    // Throws OperatorError when no capture could be taken.
    virtual Capture capture(CaptureWorker::Progress& progress) = 0;
    // What its errors name: the port, the driver as given, the file.
    virtual std::string subject() const = 0;
};
