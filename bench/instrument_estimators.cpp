#include "instrument_estimators.h"

#include "instrument.h"

#include <array>
#include <memory>

namespace {

using Analyse = void (*)(Instrument&);

struct Analysis {
    const char* name;
    Analyse analyse;
};

const std::array<Analysis, kInstrumentAnalyses> kAnalyses{{
    {"window", [](Instrument& i) { i.analyse([](Side, int, double) {}); }},
    {"mean", [](Instrument& i) { i.integrate(); }},
    {"whitened", [](Instrument& i) { i.whiten(); }},
}};

// A peak stated as the source's is a claim: a source, or one at the edge.
// Two peaks alike are not: the result says it cannot choose.
Estimate judged(const Bearing::Result& result) {
    Estimate estimate;
    estimate.claimed =
        result.verdict == Bearing::Verdict::Source || result.verdict == Bearing::Verdict::Edge;
    estimate.lag = result.lag;
    estimate.low = result.lagLow;
    estimate.high = result.lagHigh;
    estimate.contrast = result.contrast;
    return estimate;
}

} // namespace

NamedEstimator instrumentEstimator(std::size_t analysis) {
    const Analysis& chosen = kAnalyses.at(analysis);
    return {chosen.name, [analyse = chosen.analyse](const Scene& scene) {
                Capture capture;
                capture.sampleRate = static_cast<std::uint64_t>(scene.rate);
                capture.samples.resize(scene.rightBits.size());
                for (std::size_t i = 0; i < capture.samples.size(); ++i) {
                    capture.samples[i] =
                        static_cast<std::uint8_t>(scene.rightBits[i] | scene.leftBits[i] << 1);
                }
                const auto instrument = std::make_unique<Instrument>();
                instrument->keep(capture);
                analyse(*instrument);
                return judged(instrument->assess(std::nullopt));
            }};
}
