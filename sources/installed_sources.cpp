#include "installed_sources.h"

#include "device_capture.h"
#include "parallel_port_scan.h"
#include "simulated_source.h"

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

std::shared_ptr<CaptureSource>
InstalledSources::simulation(const CaptureOptions::Simulation& simulation) {
    return std::make_shared<SimulatedSource>(simulation);
}

std::shared_ptr<SampleStream> InstalledSources::stream(const CaptureOptions::Source& source) {
    if (const auto* analyser = std::get_if<CaptureOptions::Analyser>(&source)) {
        return std::make_shared<DeviceCapture>(*analyser);
    }
    if (const auto* simulation = std::get_if<CaptureOptions::Simulation>(&source)) {
        return std::make_shared<SimulatedSource>(*simulation);
    }
    return std::make_shared<ParallelPortScan>(port_);
}
