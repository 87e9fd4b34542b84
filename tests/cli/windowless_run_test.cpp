// The runs without the window through seams: drivers that never answer, and
// an output that refuses what is written.

#include "windowless_run.h"

#include <gtest/gtest.h>
#include <sstream>
#include <thread>

namespace {

using namespace std::chrono_literals;
using Kind = OperatorError::Kind;

// Drivers named "wedged..." block in their scan for good; the others find
// one analyser at once.
class WedgedSources final : public CaptureSources {
public:
    std::vector<std::string> analyserDrivers() const override {
        return {"quick", "wedged1", "wedged2", "late"};
    }
    std::vector<FoundAnalyser> find(const CaptureOptions::DeviceSpec& where,
                                    CaptureWorker::Progress& progress) override {
        progress.enter(Kind::DeviceScanStalled, 10s);
        if (where.driver.starts_with("wedged")) {
            std::this_thread::sleep_for(1h);
        }
        return {{where.text, {}, {}, "Prova", {"D0", "D1"}, {}}};
    }
    std::shared_ptr<CaptureSource> port() override { return nullptr; }
    std::shared_ptr<CaptureSource> analyser(const CaptureOptions::Analyser&) override {
        return nullptr;
    }
    std::shared_ptr<CaptureSource> simulation(const CaptureOptions::Simulation&) override {
        return nullptr;
    }
    std::shared_ptr<SampleStream> stream(const CaptureOptions::Source&) override { return nullptr; }
};

// A stream whose every write fails, as on a full disk.
class RefusingOutput final : public std::ostream {
public:
    RefusingOutput() : std::ostream(nullptr) {}
};

// The whole listing ends by its bound: the first wedged driver takes what is
// left, and the ones after it are named as not reached.
TEST(WindowlessRun, ListingEndsWithinItsBound) {
    WedgedSources sources;
    std::ostringstream out;
    std::ostringstream err;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(WindowlessRun::listAnalysers(sources, std::nullopt, 300ms, out, err),
              WindowlessRun::kSucceeded);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 5s) << "the bound was not kept";
    EXPECT_EQ(out.str(),
              "Analizzatori logici trovati:\nquick - Prova con 2 canali logici: D0 D1\n");
    const std::string note = err.str();
    EXPECT_NE(note.find("non hanno risposto: wedged1;"), std::string::npos) << note;
    EXPECT_NE(note.find("non cercati: wedged2, late."), std::string::npos) << note;
}

TEST(WindowlessRun, ARefusedOutputFails) {
    WedgedSources sources;
    RefusingOutput out;
    std::ostringstream err;
    EXPECT_EQ(WindowlessRun::listAnalysers(sources, CaptureOptions::parseDeviceSpec("quick"), 1s,
                                           out, err),
              WindowlessRun::kFailed);
    EXPECT_NE(err.str().find("uscita standard"), std::string::npos) << err.str();
    EXPECT_EQ(WindowlessRun::print("testo", out, err), WindowlessRun::kFailed);
}

} // namespace
