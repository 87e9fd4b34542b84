#pragma once

#include "capture_files.h"
#include "instrument_constants.h"
#include "operator_error.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Captures that live in memory: an opened one counts 0, 1, 2, 3 on the
// receivers' bits at kRate, except kBroken, which is refused; any streamed
// one plays the same samples; saves are recorded, or refused while
// saveRefused is set.
class FakeCaptureFiles final : public CaptureFiles {
public:
    static constexpr std::uint64_t kRate = 24'000'000;
    static inline const std::string kBroken = "rotto.sr";
    // Has no channels D0 and D1, only these.
    static inline const std::string kNumbered = "numerati.sr";
    static inline const std::vector<std::string> kNumberedChannels = {"0", "1", "2", "3"};

    struct Saved {
        std::string path;
        std::vector<std::uint8_t> samples;
        std::uint64_t sampleRate;
    };

    std::shared_ptr<CaptureSource> open(const std::string& path) override {
        return std::make_shared<File>(path, std::nullopt);
    }
    std::shared_ptr<CaptureSource> openWith(const std::string& path,
                                            const CaptureOptions::Channels& channels) override {
        return std::make_shared<File>(path, channels);
    }
    std::shared_ptr<SampleStream> stream(const std::string& path,
                                         const CaptureOptions::Channels&) override {
        return std::make_shared<Stream>(path);
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
    static std::vector<std::uint8_t> counting() {
        std::vector<std::uint8_t> samples(kSamples);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] = static_cast<std::uint8_t>(i % 4);
        }
        return samples;
    }

    class Stream final : public SampleStream {
    public:
        explicit Stream(std::string path) : path_(std::move(path)) {}
        void stream(StreamSink& sink, CaptureWorker::Progress&) override { sink.take(counting()); }
        bool recorded() const override { return true; }
        std::uint64_t streamRate() const override { return kRate; }
        std::string subject() const override { return path_; }

    private:
        std::string path_;
    };

    class File final : public CaptureSource {
    public:
        File(std::string path, std::optional<CaptureOptions::Channels> channels)
            : path_(std::move(path)), channels_(std::move(channels)) {}
        ::Capture capture(CaptureWorker::Progress& progress) override {
            progress.enter(OperatorError::Kind::FileReadStalled, std::chrono::seconds(5));
            if (path_.ends_with(kBroken)) {
                throw OperatorError(OperatorError::Kind::FileCorrupt, path_, "logic-1-1");
            }
            if (path_.ends_with(kNumbered) && !channels_) {
                throw OperatorError(OperatorError::Kind::FileChannelMissing, path_, "D0",
                                    kNumberedChannels);
            }
            return {counting(), kRate,
                    FileOrigin{path_, channels_.value_or(CaptureOptions::Channels{})}};
        }
        std::string subject() const override { return path_; }

    private:
        std::string path_;
        std::optional<CaptureOptions::Channels> channels_;
    };
};
