#pragma once

#include <cstdint>
#include <string>

// The checks a sigrok session file passes before libsigrok loads it, read
// with libzip and GLib's key-file parser. libsigrok 0.5.2 takes some broken
// files without a word: data whose checksum fails comes through altered, a
// rate it cannot read comes through as another, and a huge channel count
// stalls the loader for seconds, beyond interruption. The check reads no more
// data than the analysis takes, so a small file that unpacks to gigabytes
// costs no more than a real one.
namespace SessionArchive {

// A checked file, held open: loading it by loadPath() reads what was
// checked, even if the name has since been given to another file.
class Checked {
public:
    Checked(int descriptor, int samples, std::uint64_t sampleRate)
        : descriptor_(descriptor), samples_(samples), sampleRate_(sampleRate) {}
    ~Checked();
    Checked(Checked&& other) noexcept;
    Checked(const Checked&) = delete;
    Checked& operator=(const Checked&) = delete;
    Checked& operator=(Checked&&) = delete;

    // The checked file through the descriptor held, for libsigrok to load.
    std::string loadPath() const;
    // Samples of logic data the file holds, up to the samples asked for.
    int samples() const { return samples_; }
    std::uint64_t sampleRate() const { return sampleRate_; }

private:
    int descriptor_;
    int samples_;
    std::uint64_t sampleRate_;
};

// Throws OperatorError with a File kind naming path when the file is not a
// session, its metadata are out of bounds or unreadable, or the data that
// holds the first `samples` samples fails its checksum or cannot be unpacked.
Checked check(const std::string& path, int samples);

} // namespace SessionArchive
