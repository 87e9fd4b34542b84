#include "session_file_stream.h"

#include "instrument_constants.h"
#include "logic_entries.h"
#include "session_file.h"

#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace {

// Samples given at once: small beside the sink's room, large enough that a
// piece's overhead is nothing beside its samples.
constexpr std::size_t kPieceSamples = 1 << 16;

// The receivers' bits of each unit, by look-up of the byte that holds each:
// one look-up per sample where, as commonly, the unit is one byte.
class Unpacker {
public:
    Unpacker(const SessionArchive::Receivers& receivers, std::size_t unit)
        : unit_(unit), rightByte_(receivers.right / 8), leftByte_(receivers.left / 8) {
        for (unsigned int byte = 0; byte < 256; ++byte) {
            right_[byte] = static_cast<std::uint8_t>(byte >> receivers.right % 8 & 1);
            left_[byte] = static_cast<std::uint8_t>((byte >> receivers.left % 8 & 1) << 1);
            both_[byte] = right_[byte] | left_[byte];
        }
    }

    void operator()(const std::uint8_t* units, std::size_t count, std::uint8_t* samples) const {
        if (unit_ == 1) {
            for (std::size_t i = 0; i < count; ++i) {
                samples[i] = both_[units[i]];
            }
            return;
        }
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* unit = units + i * unit_;
            samples[i] = right_[unit[rightByte_]] | left_[unit[leftByte_]];
        }
    }

private:
    std::size_t unit_;
    std::size_t rightByte_;
    std::size_t leftByte_;
    std::array<std::uint8_t, 256> right_{};
    std::array<std::uint8_t, 256> left_{};
    std::array<std::uint8_t, 256> both_{};
};

} // namespace

// Checked as far as a scan reads, so that the files a scan refuses the stream
// refuses too, before it starts.
SessionFileStream::SessionFileStream(std::string path, const CaptureOptions::Channels& channels)
    : path_(std::move(path)), opened_(SessionArchive::open(path_, channels, kSamples)) {}

void SessionFileStream::stream(StreamSink& sink, CaptureWorker::Progress& progress) {
    // Each piece renews the deadline: a long file plays to its end, a file
    // system that stops answering still ends the stream.
    const auto renew = [&progress] {
        progress.enter(OperatorError::Kind::FileReadStalled, SessionFile::kReadLimit);
    };
    renew();
    const SessionArchive::Contents& contents = opened_.checked.contents();
    const ZipHandles::Archive archive = SessionArchive::reopen(opened_.checked, path_);
    LogicEntries data(archive.get(), contents.captureFile, path_);
    const auto unit = static_cast<std::size_t>(contents.unitSize);
    const Unpacker unpack(opened_.receivers, unit);
    std::vector<std::uint8_t> units(kPieceSamples * unit);
    std::vector<std::uint8_t> samples(kPieceSamples);
    std::size_t held = 0; // bytes read, a unit cut between entries among them
    while (!sink.stopping()) {
        renew();
        const std::size_t got = data.read(std::span(units).subspan(held));
        if (got == 0) {
            return; // a unit cut at the end is no sample, to libsigrok either
        }
        held += got;
        const std::size_t count = held / unit;
        unpack(units.data(), count, samples.data());
        sink.take({samples.data(), count});
        std::copy(units.begin() + static_cast<std::ptrdiff_t>(count * unit),
                  units.begin() + static_cast<std::ptrdiff_t>(held), units.begin());
        held -= count * unit;
    }
}
