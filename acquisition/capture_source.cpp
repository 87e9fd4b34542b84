#include "capture_source.h"

#include <algorithm>

// Bit 0 is the right receiver, bit 1 the left one; the other bits stay in
// the raw bytes only.
void CaptureSource::keep(SampleStore& store, const SampleStore::Bits& bytes) {
    std::copy(bytes.begin() + 1, bytes.begin() + kSamples + 1, store.rawSamples.begin() + 1);
    for (int i = 1; i <= kSplitSamples; ++i) {
        const int b = bytes[i];
        store.channelRight[i] = static_cast<std::uint8_t>(b & 0x01);
        store.channelLeft[i] = static_cast<std::uint8_t>((b & 0x02) / 2);
    }
}

std::vector<std::uint8_t> CaptureSource::scannedSamples(const SampleStore& store) {
    std::vector<std::uint8_t> samples(store.rawSamples.begin() + 1,
                                      store.rawSamples.begin() + kSamples + 1);
    for (std::uint8_t& sample : samples) {
        sample &= 0x03;
    }
    return samples;
}

std::vector<std::uint8_t> CaptureSource::splitSamples(const SampleStore& store) {
    std::vector<std::uint8_t> samples(kSplitSamples);
    for (int i = 1; i <= kSplitSamples; ++i) {
        samples[static_cast<std::size_t>(i - 1)] =
            static_cast<std::uint8_t>(store.channelRight[i] | store.channelLeft[i] << 1);
    }
    return samples;
}
