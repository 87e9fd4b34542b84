#pragma once

#include "capture_files.h"
#include "operator_error.h"

#include <string>
#include <vector>

// Captures that live in memory: an opened one counts 0, 1, 2, 3 on the
// receivers' bits at kRate, except kBroken, which is refused; saves are
// recorded, or refused while saveRefused is set.
class FakeCaptureFiles final : public CaptureFiles {
public:
    static constexpr std::uint64_t kRate = 24'000'000;
    static inline const std::string kBroken = "rotto.sr";

    struct Saved {
        std::string path;
        std::vector<std::uint8_t> samples;
        std::uint64_t sampleRate;
    };

    std::unique_ptr<CaptureSource> open(const std::string& path) override {
        return std::make_unique<Capture>(path);
    }
    void save(const std::string& path, std::span<const std::uint8_t> samples,
              std::uint64_t sampleRate) override {
        if (saveRefused) {
            throw OperatorError(OperatorError::Kind::FileNotWritten, path, "disco pieno");
        }
        saved.push_back({path, {samples.begin(), samples.end()}, sampleRate});
    }

    std::vector<Saved> saved;
    bool saveRefused = false;

private:
    class Capture final : public CaptureSource {
    public:
        explicit Capture(std::string path) : path_(std::move(path)) {}
        void scan(SampleStore& store) override {
            if (path_.ends_with(kBroken)) {
                throw OperatorError(OperatorError::Kind::FileCorrupt, path_, "logic-1-1");
            }
            auto bytes = std::make_unique<SampleStore::Bits>();
            for (int i = 1; i <= kSamples; ++i) {
                (*bytes)[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>((i - 1) % 4);
            }
            keep(store, *bytes);
        }
        std::uint64_t sampleRate() const override { return kRate; }

    private:
        std::string path_;
    };
};
