#include "installed_sources.h"

#include "device_capture.h"
#include "parallel_port_scan.h"

std::vector<std::string> InstalledSources::analyserDrivers() const {
    return DeviceCapture::analyserDrivers();
}

std::vector<FoundAnalyser> InstalledSources::find(const CaptureOptions::DeviceSpec& where,
                                                  CaptureWorker::Progress& progress) {
    return DeviceCapture::find(where, progress);
}

std::shared_ptr<CaptureSource> InstalledSources::port() {
    return std::make_shared<ParallelPortScan>(port_);
}

std::shared_ptr<CaptureSource>
InstalledSources::analyser(const CaptureOptions::Analyser& analyser) {
    return std::make_shared<DeviceCapture>(analyser);
}

std::shared_ptr<SampleStream>
InstalledSources::stream(const std::optional<CaptureOptions::Analyser>& analyser) {
    if (analyser) {
        return std::make_shared<DeviceCapture>(*analyser);
    }
    return std::make_shared<ParallelPortScan>(port_);
}
