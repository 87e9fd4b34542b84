#pragma once

#include <string>

// The checks a sigrok session file passes before libsigrok loads it, read
// with libzip and GLib's key-file parser. libsigrok 0.5.2 takes some broken
// files without a word: data whose checksum fails comes through altered, and
// a huge channel count stalls the loader for seconds, beyond interruption.
namespace SessionArchive {

// Throws OperatorError with a File kind naming path when the file is not a
// session, its metadata are out of bounds, or a data entry holding any of the
// first `samples` samples fails its checksum. Returns how many samples of
// logic data the file holds, or `samples` when it holds more.
int check(const std::string& path, int samples);

} // namespace SessionArchive
