// Mutated copies of a good session file through the open path: truncated,
// with flipped bits, and with edited metadata. Each must open or be refused,
// never crash or hang, and a refused one must leave the store as it was. As
// a stream, each must be refused as the scan refuses it, or play to its end
// or to a fault.

#include "collected_stream.h"
#include "instrument.h"
#include "marked_store.h"
#include "operator_error.h"
#include "session_archive_builder.h"
#include "session_file.h"
#include "session_file_stream.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

namespace Builder = SessionArchiveBuilder;

constexpr int kRounds = 1200;

const char* const kKeys[] = {"capturefile", "total probes", "samplerate", "total analog", "probe1",
                             "probe2",      "probe9",       "unitsize",   "analog3"};
const char* const kValues[] = {"",
                               "0",
                               "1",
                               "2",
                               "8",
                               "9",
                               "64",
                               "65",
                               "-1",
                               "2147483648",
                               "99999999999999999999",
                               "abc",
                               "1 kHz",
                               "0 Hz",
                               "D0",
                               "D1",
                               "logic-2",
                               "logic-1-1",
                               "\xff\xfe",
                               "1e9",
                               "  3  ",
                               "200 MHz"};

class Mutator {
public:
    explicit Mutator(std::string good) : good_(std::move(good)) {}

    // Writes the round's mutant to path.
    void write(int round, const std::string& path) {
        switch (round % 4) {
        case 0:
            Builder::writeBytes(path, good_.substr(0, below(good_.size())));
            break;
        case 1:
            Builder::writeBytes(path, flipped(good_, 1 + below(8)));
            break;
        case 2:
            Builder::writeSession(path, editedKeys(), data(), round % 8 == 2);
            break;
        default:
            Builder::write(path, {{"version", "2"},
                                  {"metadata", flipped(Builder::metadata(Builder::twoChannels()),
                                                       1 + below(3))},
                                  {"logic-1-1", data()}});
        }
    }

private:
    std::size_t below(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
    }

    std::string flipped(std::string bytes, std::size_t flips) {
        for (std::size_t i = 0; i < flips; ++i) {
            bytes[below(bytes.size())] ^= static_cast<char>(1 << below(8));
        }
        return bytes;
    }

    Builder::Keys editedKeys() {
        Builder::Keys keys = Builder::twoChannels();
        for (std::size_t edits = 1 + below(3); edits > 0; --edits) {
            const char* key = kKeys[below(std::size(kKeys))];
            std::optional<std::string> value;
            if (below(5) != 0) {
                value = kValues[below(std::size(kValues))];
            }
            keys = Builder::edited(keys, key, value);
        }
        // libsigrok reads the keys in their order.
        if (below(4) == 0) {
            std::shuffle(keys.begin(), keys.end(), random_);
        }
        return keys;
    }

    // Whole samples, a few too few, or a ragged end.
    std::string data() {
        const std::size_t sizes[] = {0, 1, kMinimumSamples - 1, kMinimumSamples, 2000, 2001, 4099};
        return std::string(sizes[below(std::size(sizes))], '\x03');
    }

    std::string good_;
    std::mt19937 random_{20261207};
};

TEST(SessionFileFuzz, EveryMutantOpensOrIsRefusedWithTheStoreUnchanged) {
    const auto directory = std::filesystem::path(testing::TempDir()) / "session_file_fuzz";
    std::filesystem::create_directories(directory);
    const std::string good = (directory / "good.sr").string();
    SessionFile::write(good, std::vector<std::uint8_t>(2000, 1), kPortRate);
    Mutator mutator(Builder::bytesOf(good));

    const std::string path = (directory / "mutant.sr").string();
    int opened = 0;
    int refused = 0;
    for (int round = 0; round < kRounds; ++round) {
        mutator.write(round, path);
        SessionFile file(path, {});
        auto store = markedStore();
        const auto before = std::make_unique<SampleStore>(*store);
        std::optional<OperatorError> streamRefusal;
        try {
            SessionFileStream stream(path, {});
            Collected sink;
            played(stream, sink);
            ASSERT_TRUE(std::all_of(sink.taken.begin(), sink.taken.end(),
                                    [](std::uint8_t sample) { return sample <= 3; }))
                << "round " << round;
        } catch (const OperatorError& error) {
            streamRefusal = error;
        }
        try {
            const Capture taken = captureFrom(file);
            Instrument::place(*store, taken);
            ++opened;
            EXPECT_FALSE(streamRefusal) << "round " << round << ": " << streamRefusal->what();
            EXPECT_GT(taken.sampleRate, 0U) << "round " << round;
            for (int i = 1; i <= kSplitSamples; ++i) {
                ASSERT_LE(store->channelLeft[i] | store->channelRight[i], 1) << "round " << round;
            }
        } catch (const OperatorError& error) {
            ++refused;
            ASSERT_TRUE(sameStore(*store, *before)) << "round " << round << ": " << error.what();
            if (streamRefusal) {
                EXPECT_EQ(streamRefusal->kind(), error.kind()) << "round " << round;
            }
        }
    }
    // Both outcomes occur, or the mutations test nothing.
    EXPECT_GT(opened, 0);
    EXPECT_GT(refused, kRounds / 2);
}

} // namespace
