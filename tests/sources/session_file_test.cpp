// Captures kept in sigrok session files: written, read back, checked against
// the sigrok tools, played as a stream, and refused when broken.

#include "collected_stream.h"
#include "follower.h"
#include "instrument.h"
#include "marked_store.h"
#include "noise_source_simulator.h"
#include "operator_error.h"
#include "sector_correlator.h"
#include "session_archive.h"
#include "session_archive_builder.h"
#include "session_file.h"
#include "session_file_stream.h"
#include "twister_random.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

using Kind = OperatorError::Kind;
namespace Builder = SessionArchiveBuilder;
constexpr auto kNamed = CaptureOptions::Channels::Choice::Named;

std::string temporaryPath(const std::string& name) {
    const auto directory = std::filesystem::path(testing::TempDir()) / "session_file_test";
    std::filesystem::create_directories(directory);
    return (directory / name).string();
}

// Samples whose two bits count 0, 1, 2, 3 from the first.
std::vector<std::uint8_t> counting(int count) {
    std::vector<std::uint8_t> samples(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        samples[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(i % 4);
    }
    return samples;
}

std::unique_ptr<SampleStore> analysed(const SampleStore& source) {
    auto store = std::make_unique<SampleStore>(source);
    SectorCorrelator::analyse(*store, [](Side, int, double) {});
    return store;
}

OperatorError refusal(const std::string& path, CaptureOptions::Channels channels = {}) {
    SessionFile file(path, std::move(channels));
    return refusalOf(file);
}

TEST(SessionFile, SavedSimulationReopensAndAnalysesToTheSameValuesBitForBit) {
    for (const Side side : {Side::Left, Side::Right}) {
        Instrument simulated;
        simulated.simulate(side, 37);
        const std::string path = temporaryPath("simulation.sr");
        SessionFile::write(path, simulated.heldSamples(), kPortRate);

        SessionFile file(path, {});
        auto reopened = markedStore();
        const Capture taken = captureFrom(file);
        Instrument::place(*reopened, taken);
        EXPECT_EQ(taken.sampleRate, kPortRate);
        const auto expected = analysed(simulated.store());
        const auto actual = analysed(*reopened);
        for (int lag = 0; lag <= kMaxLag; ++lag) {
            ASSERT_EQ(std::memcmp(&actual->correlationLeft[lag], &expected->correlationLeft[lag],
                                  sizeof(double)),
                      0)
                << "left lag " << lag;
            ASSERT_EQ(std::memcmp(&actual->correlationRight[lag], &expected->correlationRight[lag],
                                  sizeof(double)),
                      0)
                << "right lag " << lag;
        }
        // The file holds what the analysis reads; past its end the scan has zeros.
        EXPECT_EQ(reopened->rawSamples[kSplitSamples + 1], 0);
        EXPECT_EQ(reopened->rawSamples[kSamples], 0);
        EXPECT_EQ(reopened->rawSamples[0], 0xA5) << "index 0 is never written";
    }
}

// A longer file gives its first samples only; the channels follow --channels.
TEST(SessionFile, FileGivesItsFirstScanOfSamplesOnTheChosenChannels) {
    const std::string path = temporaryPath("long.sr");
    SessionFile::write(path, counting(kSamples + 5000), 1'000'000);
    const struct {
        CaptureOptions::Channels channels;
        std::uint8_t bytes[4];
    } cases[] = {{{"D0", "D1"}, {0, 1, 2, 3}}, {{"D1", "D0"}, {0, 2, 1, 3}}};
    for (const auto& c : cases) {
        SessionFile file(path, c.channels);
        auto store = markedStore();
        const Capture taken = captureFrom(file);
        Instrument::place(*store, taken);
        EXPECT_EQ(taken.sampleRate, 1'000'000U);
        for (int i = 1; i <= kSamples; ++i) {
            ASSERT_EQ(store->rawSamples[i], c.bytes[(i - 1) % 4]) << c.channels.right << " " << i;
        }
        EXPECT_EQ(store->channelRight[3], c.bytes[2] & 1);
        EXPECT_EQ(store->channelLeft[3], c.bytes[2] >> 1);
        EXPECT_EQ(store->channelLeft[kSplitSamples + 1], 7) << "beyond the split";
    }
}

// sigrok-cli's binary import names the channels 0, 1, 2...: without D0 and
// D1 the first two are read, and saying so is left to the origin.
TEST(SessionFile, ChannelsWithoutTheDefaultNamesAreReadByIndex) {
    const std::string binary = temporaryPath("numbered.bin");
    const std::string path = temporaryPath("numbered.sr");
    {
        std::ofstream out(binary, std::ios::binary);
        for (int i = 0; i < kMinimumSamples; ++i) {
            out.put(static_cast<char>(i % 4));
        }
    }
    std::remove(path.c_str());
    const std::string command = "sigrok-cli -i '" + binary +
                                "' -I binary:numchannels=4:samplerate=1000000 -o '" + path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const struct {
        CaptureOptions::Channels asked;
        CaptureOptions::Channels read;
        std::uint8_t third; // the third sample's bits
    } cases[] = {
        {{}, {"0", "1", CaptureOptions::Channels::Choice::FirstTwo}, 2},
        {{"1", "0", kNamed}, {"1", "0", kNamed}, 1},
    };
    for (const auto& c : cases) {
        SessionFile file(path, c.asked);
        const Capture taken = captureFrom(file);
        const auto& channels = std::get<FileOrigin>(taken.origin).channels;
        EXPECT_EQ(channels.right, c.read.right);
        EXPECT_EQ(channels.left, c.read.left);
        EXPECT_EQ(channels.choice, c.read.choice);
        EXPECT_EQ(taken.samples.at(2), c.third);
    }
}

// sigrok-cli cannot set the demo's pattern and rate in one run: its
// counting pattern comes at the demo's default 200 kHz.
TEST(SessionFile, OpensWhatSigrokCliSavesFromTheDemoDevice) {
    const std::string path = temporaryPath("demo.sr");
    std::remove(path.c_str());
    const std::string command = "sigrok-cli -d demo --channels D0,D1 --channel-group Logic "
                                "--config pattern=incremental --samples 20000 -o '" +
                                path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    SessionFile file(path, {});
    auto store = markedStore();
    const Capture taken = captureFrom(file);
    Instrument::place(*store, taken);
    EXPECT_EQ(taken.sampleRate, 200'000U);
    for (int i = 1; i <= 20000; ++i) {
        ASSERT_EQ(store->rawSamples[i], (i - 1) % 4) << i;
    }
    EXPECT_EQ(store->rawSamples[20001], 0);
}

TEST(SessionFile, SigrokCliReadsOurFileBackSampleForSample) {
    const std::string path = temporaryPath("ours.sr");
    TwisterRandom random;
    std::vector<std::uint8_t> samples(kSplitSamples);
    for (auto& sample : samples) {
        sample = static_cast<std::uint8_t>(random.next() * 4.0F);
    }
    SessionFile::write(path, samples, kPortRate);

    std::FILE* cli = ::popen(("sigrok-cli -i '" + path + "' -O binary").c_str(), "r");
    ASSERT_NE(cli, nullptr);
    std::vector<std::uint8_t> read(samples.size() + 16);
    const std::size_t got = std::fread(read.data(), 1, read.size(), cli);
    ASSERT_EQ(::pclose(cli), 0) << "sigrok-cli failed";
    read.resize(got);
    EXPECT_EQ(read, samples);
}

TEST(SessionFile, SavingOverAFileReplacesItAndAFailedSaveLeavesItAsItWas) {
    const std::string path = temporaryPath("kept.sr");
    SessionFile::write(path, counting(2000), kPortRate);
    SessionFile::write(path, counting(3000), 200'000);
    SessionFile file(path, {});
    auto store = markedStore();
    const Capture taken = captureFrom(file);
    Instrument::place(*store, taken);
    EXPECT_EQ(taken.sampleRate, 200'000U);
    EXPECT_EQ(store->rawSamples[3000], 3);
    EXPECT_EQ(store->rawSamples[3001], 0);

    const std::string before = Builder::bytesOf(path);
    try {
        SessionFile::write(temporaryPath("missing/kept.sr"), counting(2000), kPortRate);
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const OperatorError& error) {
        EXPECT_EQ(error.kind(), Kind::FileNotWritten);
    }
    EXPECT_EQ(Builder::bytesOf(path), before);
    for (const auto& entry :
         std::filesystem::directory_iterator(std::filesystem::path(path).parent_path())) {
        EXPECT_NE(entry.path().filename().string().rfind("correlatore-", 0), 0U)
            << "left behind: " << entry.path();
    }
}

struct BadFile {
    const char* name;
    std::function<void(const std::string& path)> make;
    Kind kind;
    const char* detail; // in the error's detail
    CaptureOptions::Channels channels = {};
    std::vector<std::string> choices = {}; // the file's channels, where it lacks one
};

std::string stepData(int samples) {
    const auto bytes = counting(samples);
    return {bytes.begin(), bytes.end()};
}

void withKey(const std::string& path, const char* key, std::optional<std::string> value) {
    Builder::writeSession(path, Builder::edited(Builder::twoChannels(), key, std::move(value)),
                          stepData(2000));
}

// Stored, not compressed, so that the data can be changed in place.
void withFlippedSample(const std::string& path) {
    const std::string data(2000, '\x02');
    Builder::writeSession(path, Builder::twoChannels(), data, false);
    std::string bytes = Builder::bytesOf(path);
    bytes[bytes.find(data) + 1000] = '\x01';
    Builder::writeBytes(path, bytes);
}

// Marked as LZMA (14) in the data's local header and in the central
// directory alike, as a consistent archive has it.
void withDataPackedByLzma(const std::string& path) {
    Builder::writeSession(path, Builder::twoChannels(), stepData(2000), false);
    std::string bytes = Builder::bytesOf(path);
    const std::size_t local = bytes.find("logic-1-1");
    const std::size_t central = bytes.find("logic-1-1", local + 1);
    bytes.at(local - 30 + 8) = bytes.at(central - 46 + 10) = 14; // the method's offsets
    Builder::writeBytes(path, bytes);
}

const BadFile kBadFiles[] = {
    {"missing", [](const std::string&) {}, Kind::FileUnreadable, "No such file"},
    {"folder", [](const std::string& path) { std::filesystem::create_directory(path); },
     Kind::FileUnreadable, "cartella"},
    {"text", [](const std::string& path) { Builder::writeBytes(path, "D0,D1\n0,1\n"); },
     Kind::FileNotSession, "zip"},
    {"truncated",
     [](const std::string& path) {
         SessionFile::write(path, counting(2000), kPortRate);
         const std::string bytes = Builder::bytesOf(path);
         Builder::writeBytes(path, bytes.substr(0, bytes.size() / 2));
     },
     Kind::FileNotSession, "troncato"},
    {"no metadata",
     [](const std::string& path) {
         Builder::write(path, {{"version", "2"}, {"logic-1-1", stepData(2000)}});
     },
     Kind::FileNotSession, "metadati"},
    {"no version",
     [](const std::string& path) {
         Builder::write(path, {{"metadata", Builder::metadata(Builder::twoChannels())},
                               {"logic-1-1", stepData(2000)}});
     },
     Kind::FileNotSession, "version"},
    {"unit size 0", [](const std::string& path) { withKey(path, "unitsize", "0"); },
     Kind::FileUnitSizeInvalid, "0"},
    {"unit size 9", [](const std::string& path) { withKey(path, "unitsize", "9"); },
     Kind::FileUnitSizeInvalid, "9"},
    {"no unit size", [](const std::string& path) { withKey(path, "unitsize", std::nullopt); },
     Kind::FileUnitSizeInvalid, ""},
    {"receiver's channel beyond the unit",
     [](const std::string& path) {
         Builder::writeSession(
             path,
             Builder::edited(Builder::edited(Builder::twoChannels(), "total probes", "16"),
                             "probe10", "D9"),
             stepData(2000));
     },
     Kind::FileUnitSizeInvalid,
     "1",
     {"D0", "D9", kNamed}},
    {"channel libsigrok makes up",
     [](const std::string& path) {
         Builder::writeSession(path, Builder::edited(Builder::twoChannels(), "total probes", "16"),
                               stepData(2000));
     },
     Kind::FileChannelMissing,
     "3",
     {"D0", "3", kNamed},
     {"D0", "D1"}},
    {"analog data only",
     [](const std::string& path) {
         Builder::write(
             path, {{"version", "2"},
                    {"metadata", "[global]\nsigrok version=0.5.2\n\n[device 1]\nsamplerate=1 MHz\n"
                                 "total analog=1\nanalog1=A0\n"},
                    {"analog-1-1-1", std::string(64, '\0')}});
     },
     Kind::FileNoLogicData, ""},
    {"channel named before its count",
     [](const std::string& path) {
         Builder::Keys keys = Builder::twoChannels();
         std::rotate(keys.begin() + 1, keys.begin() + 4, keys.begin() + 5); // probe1 first
         Builder::writeSession(path, keys, stepData(2000));
     },
     Kind::FileNotSession, "probe1"},
    {"no rate", [](const std::string& path) { withKey(path, "samplerate", std::nullopt); },
     Kind::FileSampleRateMissing, ""},
    {"rate 0", [](const std::string& path) { withKey(path, "samplerate", "0 Hz"); },
     Kind::FileSampleRateMissing, ""},
    {"rate below zero", [](const std::string& path) { withKey(path, "samplerate", "-5 kHz"); },
     Kind::FileSampleRateInvalid, "-5 kHz"},
    {"rate in terahertz",
     [](const std::string& path) { withKey(path, "samplerate", "99999999 THz"); },
     Kind::FileSampleRateInvalid, "THz"},
    {"name GLib cannot read", [](const std::string& path) { withKey(path, "probe2", "\\"); },
     Kind::FileNotSession, "probe2"},
    {"analog count in words", [](const std::string& path) { withKey(path, "total analog", "x"); },
     Kind::FileNotSession, "total analog"},
    {"two devices",
     [](const std::string& path) {
         const std::string device = Builder::metadata(Builder::twoChannels());
         std::string second = device.substr(device.find("[device 1]"));
         Builder::write(path, {{"version", "2"},
                               {"metadata", device + "\n" + second.replace(8, 1, "2")},
                               {"logic-1-1", stepData(2000)}});
     },
     Kind::FileNotSession, "un solo dispositivo"},
    {"65 channels", [](const std::string& path) { withKey(path, "total probes", "65"); },
     Kind::FileTooManyChannels, "65"},
    {"100000 channels", [](const std::string& path) { withKey(path, "total probes", "100000"); },
     Kind::FileTooManyChannels, "100000"},
    {"100000 analog channels",
     [](const std::string& path) { withKey(path, "total analog", "100000"); },
     Kind::FileTooManyChannels, "100000"},
    {"channel missing",
     [](const std::string& path) { SessionFile::write(path, counting(2000), kPortRate); },
     Kind::FileChannelMissing,
     "D5",
     {"D0", "D5", kNamed},
     {"D0", "D1"}},
    {"too short",
     [](const std::string& path) {
         SessionFile::write(path, counting(kMinimumSamples - 1), kPortRate);
     },
     Kind::FileTooShort, "1319"},
    {"checksum", withFlippedSample, Kind::FileCorrupt, "logic-1-1"},
    {"channel declared twice", [](const std::string& path) { withKey(path, "probe2", "D0"); },
     Kind::FileChannelRepeated, "D0"},
    {"data packed by LZMA", withDataPackedByLzma, Kind::FileCompressionUnsupported, "logic-1-1"},
};

// Data past what the analysis reads is neither unpacked nor checked: a
// file that unpacks to gigabytes costs no more than a real one. libsigrok
// reads its data 4 MiB at a time and stops with the first.
TEST(SessionFile, DataPastTheScanIsNotRead) {
    const std::string path = temporaryPath("broken tail.sr");
    const std::string data(5 << 20, '\x02');
    Builder::writeSession(path, Builder::twoChannels(), data, false);
    std::string bytes = Builder::bytesOf(path);
    bytes[bytes.find(data) + data.size() - 10] = '\x03';
    Builder::writeBytes(path, bytes);

    SessionFile file(path, {});
    auto store = markedStore();
    const Capture taken = captureFrom(file);
    Instrument::place(*store, taken);
    EXPECT_EQ(store->rawSamples[kSamples], 2);
}

// libsigrok's writer counts every channel of the analyser, but keeps the
// bytes of the channels it captured: 16 channels, D0..D7 kept.
TEST(SessionFile, AFileThatKeptFewerChannelsThanItCountsOpens) {
    const std::string path = temporaryPath("sixteen.sr");
    Builder::writeSession(path, Builder::edited(Builder::twoChannels(), "total probes", "16"),
                          stepData(2000));
    SessionFile file(path, {});
    const Capture taken = captureFrom(file);
    ASSERT_EQ(taken.samples.size(), 2000U);
    EXPECT_EQ(taken.samples[3], 3);
}

// The check holds the file open, and the load reads that file, whatever
// the name has meanwhile come to stand for.
TEST(SessionFile, WhatIsLoadedIsWhatWasChecked) {
    const std::string path = temporaryPath("swapped.sr");
    const std::string other = temporaryPath("other.sr");
    SessionFile::write(path, counting(2000), kPortRate);
    const std::string checkedBytes = Builder::bytesOf(path);
    const auto checked = SessionArchive::check(path, kSamples);
    withFlippedSample(other);
    ASSERT_EQ(std::rename(other.c_str(), path.c_str()), 0);
    EXPECT_EQ(Builder::bytesOf(checked.loadPath()), checkedBytes);
    EXPECT_EQ(checked.samples(), 2000);
    EXPECT_EQ(checked.sampleRate(), 50'000U);
}

TEST(SessionFile, BrokenFilesAreRefusedNamingTheFileAndTheProblem) {
    for (const BadFile& bad : kBadFiles) {
        const std::string path = temporaryPath(std::string(bad.name) + ".sr");
        std::filesystem::remove_all(path);
        bad.make(path);
        const OperatorError error = refusal(path, bad.channels);
        EXPECT_EQ(error.kind(), bad.kind) << bad.name << ": " << error.what();
        EXPECT_EQ(error.subject(), path) << bad.name;
        EXPECT_NE(error.detail().find(bad.detail), std::string::npos)
            << bad.name << ": " << error.detail();
        EXPECT_EQ(error.choices(), bad.choices) << bad.name;
        try {
            SessionFileStream stream(path, bad.channels);
            ADD_FAILURE() << bad.name << ": the stream opened";
        } catch (const OperatorError& streamed) {
            EXPECT_EQ(streamed.kind(), error.kind()) << bad.name << ": " << streamed.what();
            EXPECT_EQ(streamed.detail(), error.detail()) << bad.name;
            EXPECT_EQ(streamed.choices(), error.choices()) << bad.name;
        }
    }
}

// Bytes that take every value, unlike in every unit and chunk.
std::string mixed(std::size_t count, std::size_t seed) {
    std::string bytes(count, '\0');
    auto state = static_cast<std::uint32_t>(seed);
    for (char& byte : bytes) {
        state = state * 1'103'515'245U + 12'345U;
        byte = static_cast<char>(state >> 23);
    }
    return bytes;
}

std::uint8_t bitOf(char byte, unsigned int bit) {
    return static_cast<std::uint8_t>(static_cast<unsigned char>(byte) >> bit & 1);
}

TEST(SessionFileStream, PlaysEverySampleOnceInOrderOnTheReceiversBits) {
    const Builder::Keys two = Builder::twoChannels();
    const Builder::Keys sixteen = Builder::edited(
        Builder::edited(Builder::edited(two, "total probes", "16"), "probe10", "B"), "probe9", "A");
    const Builder::Keys unit2 = Builder::edited(sixteen, "unitsize", "2");
    const Builder::Keys unit3 = Builder::edited(sixteen, "unitsize", "3");
    const struct {
        const char* name;
        Builder::Keys keys;
        std::size_t chunks; // 0: all in logic-1
        CaptureOptions::Channels channels;
        unsigned int unit, right, left; // the receivers' bits
    } cases[] = {
        {"chunks", two, 3, {}, 1, 0, 1},
        {"one entry", two, 0, {"D1", "D0", kNamed}, 1, 1, 0},
        {"second byte", unit2, 2, {"B", "A", kNamed}, 2, 9, 8},
        {"units cut across chunks", unit3, 3, {"D0", "A", kNamed}, 3, 0, 8},
    };
    for (const auto& c : cases) {
        const std::string path = temporaryPath(std::string(c.name) + ".sr");
        std::vector<Builder::Entry> entries = {{"version", "2"},
                                               {"metadata", Builder::metadata(c.keys)}};
        std::string data;
        for (std::size_t i = 0; i < std::max<std::size_t>(c.chunks, 1); ++i) {
            const std::string name = c.chunks == 0 ? "logic-1" : "logic-1-" + std::to_string(i + 1);
            entries.push_back({name, mixed(1'500'001 - 7'000 * i, i)});
            data += entries.back().data;
        }
        Builder::write(path, entries);

        SessionFileStream stream(path, c.channels);
        Collected sink;
        EXPECT_FALSE(played(stream, sink)) << c.name;
        EXPECT_EQ(stream.streamRate(), 50'000U);
        EXPECT_EQ(stream.channels().right, c.channels.right) << c.name;
        ASSERT_EQ(sink.taken.size(), data.size() / c.unit) << c.name;
        for (std::size_t i = 0; i < sink.taken.size(); ++i) {
            const char* unit = data.data() + i * c.unit;
            const auto expected =
                bitOf(unit[c.right / 8], c.right % 8) | bitOf(unit[c.left / 8], c.left % 8) << 1;
            ASSERT_EQ(sink.taken[i], expected) << c.name << " " << i;
        }
    }
}

// libsigrok's writer cuts a capture into many chunks: the stream gives what
// sigrok-cli reads back from them.
TEST(SessionFileStream, PlaysWhatSigrokCliReadsFromItsOwnChunks) {
    const std::string path = temporaryPath("demo chunks.sr");
    std::remove(path.c_str());
    const std::string command = "sigrok-cli -d demo --channels D0,D1 --channel-group Logic "
                                "--config pattern=random --samples 300000 -o '" +
                                path + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::FILE* cli = ::popen(("sigrok-cli -i '" + path + "' -O binary").c_str(), "r");
    ASSERT_NE(cli, nullptr);
    std::vector<std::uint8_t> read(300'016);
    read.resize(std::fread(read.data(), 1, read.size(), cli));
    ASSERT_EQ(::pclose(cli), 0) << "sigrok-cli failed";
    for (auto& sample : read) {
        sample &= 3;
    }

    SessionFileStream stream(path, {});
    Collected sink;
    EXPECT_FALSE(played(stream, sink));
    EXPECT_EQ(sink.taken, read);
}

// Stored, so that the third chunk's data can be changed in place.
TEST(SessionFileStream, ACorruptChunkEndsTheStreamAfterTheSamplesBeforeIt) {
    const std::string path = temporaryPath("third chunk.sr");
    const std::string chunk(400'000, '\x02');
    const std::string third = mixed(300'000, 3);
    Builder::write(path,
                   {{"version", "2"},
                    {"metadata", Builder::metadata(Builder::twoChannels())},
                    {"logic-1-1", chunk},
                    {"logic-1-2", chunk},
                    {"logic-1-3", third}},
                   false);
    std::string bytes = Builder::bytesOf(path);
    bytes[bytes.find(third) + 1000] ^= 1;
    Builder::writeBytes(path, bytes);

    SessionFileStream stream(path, {});
    Collected sink;
    const auto fault = played(stream, sink);
    ASSERT_TRUE(fault);
    EXPECT_EQ(fault->kind(), Kind::FileCorrupt);
    EXPECT_EQ(fault->detail(), "logic-1-3");
    ASSERT_GE(sink.taken.size(), 2 * chunk.size());
    EXPECT_EQ(std::count(sink.taken.begin(), sink.taken.begin() + 2 * chunk.size(), 2),
              static_cast<std::ptrdiff_t>(2 * chunk.size()));
}

// 40 MB of data: a sink that stops early ends the stream well before them.
TEST(SessionFileStream, StopsWhenTheSinkAsks) {
    const std::string path = temporaryPath("long stream.sr");
    Builder::writeSession(path, Builder::twoChannels(), std::string(40'000'000, '\x01'));
    SessionFileStream stream(path, {});
    Collected sink;
    sink.stopAfter = 1;
    EXPECT_FALSE(played(stream, sink));
    EXPECT_GT(sink.taken.size(), 0U);
    EXPECT_LT(sink.taken.size(), 4'000'000U);
}

// A follower whose buffer holds less than a row, for a file of several
// pieces: the stream waits for the analysis, and every row of the file
// comes, none short of a sample.
TEST(SessionFileStream, EveryRowOfTheFileComesThroughAFollowerThatMakesItWait) {
    const std::string path = temporaryPath("rows.sr");
    Builder::writeSession(path, Builder::edited(Builder::twoChannels(), "samplerate", "1 MHz"),
                          mixed(25 * 100'000 + 500, 5));
    std::vector<Follower::Row> rows;
    std::optional<Follower::End> ended;
    Follower follower(std::make_shared<SessionFileStream>(path, CaptureOptions::Channels{}),
                      std::chrono::milliseconds(100), {},
                      {[&](Follower::Row row) { rows.push_back(std::move(row)); },
                       [&](const Follower::End& end) { ended = end; }},
                      50'000);
    ASSERT_TRUE(follower.waitForEnd(std::chrono::seconds(30)));
    ASSERT_TRUE(ended);
    EXPECT_FALSE(ended->fault);
    EXPECT_TRUE(ended->reachedEnd);
    EXPECT_EQ(follower.droppedSamples(), 0U);
    ASSERT_EQ(rows.size(), 25U);
    for (const auto& row : rows) {
        EXPECT_EQ(row.lost, 0);
        EXPECT_GT(row.windows, 0);
    }
}

} // namespace
