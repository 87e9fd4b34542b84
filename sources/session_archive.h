#pragma once

#include "capture_options.h"
#include "zip_handles.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The checks a sigrok session file passes before libsigrok loads it for a
// scan, or before it is played as a stream, read with libzip and GLib's
// key-file parser. libsigrok 0.5.2 takes some broken
// files without a word: data whose checksum fails comes through altered, a
// rate it cannot read comes through as another, and a huge channel count
// stalls the loader for seconds, beyond interruption. The check reads no more
// data than the analysis takes, so a small file that unpacks to gigabytes
// costs no more than a real one.
namespace SessionArchive {

// A checked file, held open: loading it by loadPath() reads what was
// checked, even if the name has since been given to another file.
// What the check found of the file's device.
struct Contents {
    bool logic = false; // it has logic data at all
    int samples = 0;    // of logic data, up to the samples asked for
    std::uint64_t sampleRate = 0;
    int unitSize = 0;        // bytes per sample
    std::string captureFile; // the logic data's entry, or its chunks' stem
    // The logic channels the file declares, by name; libsigrok makes up
    // others for any bits the unit holds beyond them.
    std::vector<std::string> channels;
    std::vector<unsigned int> bits; // each channel's bit in the unit
};

class Checked {
public:
    Checked(int descriptor, Contents contents)
        : descriptor_(descriptor), contents_(std::move(contents)) {}
    ~Checked();
    Checked(Checked&& other) noexcept;
    Checked(const Checked&) = delete;
    Checked& operator=(const Checked&) = delete;
    Checked& operator=(Checked&&) = delete;

    // The checked file through the descriptor held, for libsigrok or libzip
    // to read.
    std::string loadPath() const;
    const Contents& contents() const { return contents_; }
    // Samples of logic data the file holds, up to the samples asked for.
    int samples() const { return contents_.samples; }
    std::uint64_t sampleRate() const { return contents_.sampleRate; }

private:
    int descriptor_;
    Contents contents_;
};

// Throws OperatorError with a File kind naming path when the file is not a
// session, its metadata are out of bounds or unreadable, or the data that
// holds the first `samples` samples fails its checksum or cannot be unpacked.
Checked check(const std::string& path, int samples);

// The receivers' channels as bits of a checked file's unit.
struct Receivers {
    unsigned int right;
    unsigned int left;
    CaptureOptions::Channels channels;
};

struct Opened {
    Checked checked;
    Receivers receivers;
};

// Checks path as check() does, and then that it has logic data of at least
// kMinimumSamples samples, and the receivers' channels, as channelsAmong()
// chooses them from wanted, within its unit; throws OperatorError with a File
// kind naming path when not.
Opened open(const std::string& path, const CaptureOptions::Channels& wanted, int samples);

// The checked file opened again with libzip, to read its data.
ZipHandles::Archive reopen(const Checked& checked, const std::string& path);

} // namespace SessionArchive
