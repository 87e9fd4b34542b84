#pragma once

#include "sample_store.h"

#include <cstdint>
#include <vector>

// Where a scan's samples come from: the parallel port, a logic analyser, a
// capture file. Whatever it is, a scan fills rawSamples[1..kSamples] with one
// byte per sample, the right receiver on bit 0 and the left one on bit 1, and
// splits the first kSplitSamples of them into the channels; or it throws
// OperatorError and leaves the store as it was.
class CaptureSource {
public:
    // Samples taken into rawSamples[1..kSamples].
    static constexpr int kSamples = SampleStore::kLastSample;
    // Samples split into channelLeft and channelRight[1..kSplitSamples].
    static constexpr int kSplitSamples = 13000;

    virtual ~CaptureSource() = default;
    virtual void scan(SampleStore& store) = 0;
    // Samples per second of the last scan's data, which sets the time of one lag.
    virtual std::uint64_t sampleRate() const = 0;

    // The samples as a scan takes them, right receiver on bit 0 and left on
    // bit 1: the whole scan from rawSamples, or what the next analysis reads,
    // from the channels.
    static std::vector<std::uint8_t> scannedSamples(const SampleStore& store);
    static std::vector<std::uint8_t> splitSamples(const SampleStore& store);

protected:
    // Puts a complete scan's bytes (indices 1..kSamples) into the store.
    static void keep(SampleStore& store, const SampleStore::Bits& bytes);
};
