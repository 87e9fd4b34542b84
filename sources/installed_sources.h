#pragma once

#include "capture_sources.h"
#include "port_io.h"

// The parallel port through port, and the analysers of the libsigrok that
// this machine has.
class InstalledSources final : public CaptureSources {
public:
    explicit InstalledSources(PortIo& port) : port_(port) {}

    std::vector<std::string> analyserDrivers() const override;
    std::vector<FoundAnalyser> find(const CaptureOptions::DeviceSpec& where,
                                    CaptureWorker::Progress& progress) override;
    std::shared_ptr<CaptureSource> port() override;
    std::shared_ptr<CaptureSource> analyser(const CaptureOptions::Analyser& analyser) override;
    std::shared_ptr<CaptureSource>
    simulation(const CaptureOptions::Simulation& simulation) override;
    std::shared_ptr<SampleStream> stream(const CaptureOptions::Source& source) override;

private:
    PortIo& port_;
};
