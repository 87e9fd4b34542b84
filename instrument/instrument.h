#pragma once

#include "bearing.h"
#include "capture.h"
#include "capture_files.h"
#include "capture_source.h"
#include "follower.h"
#include "noise_source_simulator.h"
#include "sample_store.h"
#include "sector_correlator.h"
#include "twister_random.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The instrument apart from any window: the samples it holds and where they
// came from, what its coloured buttons mark, and the last analysis. The
// window and the command line both drive it, and the window paints from it.
class Instrument {
public:
    // What the channels hold, as the coloured buttons and the readout's tip
    // show it.
    struct Marks {
        // A scan, a file or a simulation filled them (not the start-up zeros).
        bool holdsCapture = false;
        // The side of the last simulated source: that side's button is red.
        std::optional<Side> simulatedSource;
        // A scan awaits its analysis: the analysis button is green.
        bool scanNotAnalysed = false;
        // The rate of the samples held, which sets the time of one lag.
        std::uint64_t sampleRate = kPortRate;
        std::optional<CaptureOrigin> origin;
    };

    Instrument();

    const SampleStore& store() const { return *store_; }
    const Marks& marks() const { return marks_; }
    // Whether the correlograms hold an analysis that can be exported.
    bool analysed() const { return analysed_; }

    // Takes a capture from source on the capture worker, and keeps it as a
    // scan. idle runs on this thread while it waits. A capture refused
    // changes nothing and throws OperatorError.
    void scan(const std::shared_ptr<CaptureSource>& source, const CaptureWorker::Idle& idle = {});
    // Puts a capture into the store: the red marks go and the analysis turns
    // green. The samples past the capture's end read as zeros.
    void keep(const Capture& capture);
    // Puts a capture's samples into store as a scan: the raw samples, zeros
    // past the capture's end, and the first kSplitSamples split into the
    // channels. Index 0 and the channels beyond the split are left alone.
    static void place(SampleStore& store, const Capture& capture);
    // A source on side at delay (0..kMaxLag): that side is marked red.
    void simulate(Side side, int delay);
    // Analyses whatever the channels hold, handing on each lag as it is
    // done; started runs once the scan's mark is withdrawn, before the first.
    void analyse(const SectorCorrelator::LagConsumer& consumer,
                 const std::function<void()>& started = {});

    // Holds a row of continuous scanning from origin at rate, as the last
    // analysis: its samples and its mean correlogram.
    void follow(Follower::Row row, std::uint64_t rate, const CaptureOrigin& origin);

    // The same over every whole window of all the samples held (a scan's
    // 130,000, a file's, a simulation's 10,000), as their mean.
    void integrate();
    // The whitened correlation of every sample held; the plot shows its
    // coefficients on the counts' scale.
    void whiten();
    // The last analysis's own values, left and right sectors: counts, or
    // whitened coefficients.
    std::pair<SampleStore::Correlogram, SampleStore::Correlogram> correlograms() const;
    // What the last analysis says of the source, over the samples it read.
    Bearing::Result assess(const std::optional<Bearing::Geometry>& geometry) const;

    // Every sample the data hold, as a capture holds them: the right
    // receiver on bit 0 and the left on bit 1; a row's samples all.
    std::vector<std::uint8_t> heldSamples() const;
    // Keeps every sample the data hold, at their rate.
    void save(CaptureFiles& files, const std::string& path) const;

private:
    std::unique_ptr<SampleStore> store_;
    TwisterRandom random_;
    NoiseSourceSimulator simulator_{random_};
    // Each receiver's bits 1..held_, as the channels or the raw samples hold them.
    std::pair<std::vector<std::uint8_t>, std::vector<std::uint8_t>> bitsHeld() const;
    // Sample index's bit of the right receiver (0) or of the left one (1).
    int bitAt(int index, int bit) const;
    // The bit's value, when it stays the same over samples 1..read.
    std::optional<int> stuckOver(int bit, int read) const;

    Marks marks_;
    bool analysed_ = false;
    // Samples the store holds of the data: its zeros at first, every sample
    // of a scan or a file, what a simulation writes.
    int held_ = kSamples;
    // What the last analysis read, the values it assesses (counts, or
    // whitened coefficients) and their noise.
    Bearing::Basis basis_;
    Bearing::Axis values_{};
    Bearing::Noise noise_;
    // Keeps what an analysis of the samples held read, the correlograms
    // being in the store.
    void settle(Bearing::Basis basis, const std::vector<std::uint8_t>& right,
                const std::vector<std::uint8_t>& left);
    // Windows the last analysis read.
    int windowsRead() const;
    // The samples of the row held, more than the store has room for: its
    // first run, as gaps in a row are never spliced over.
    std::optional<SectorCorrelator::Run> rowRun_;
    // A run's first samples, at most most, as a capture holds them.
    static std::vector<std::uint8_t> samplesOf(const SectorCorrelator::Run& run, std::size_t most);
};
