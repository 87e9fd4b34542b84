#include "libsigrok_log.h"

#include <initializer_list>
#include <utility>

namespace {

using Kind = OperatorError::Kind;

bool anySays(const std::vector<std::string>& lines, std::initializer_list<const char*> phrases) {
    for (const std::string& line : lines) {
        for (const char* phrase : phrases) {
            if (line.find(phrase) != std::string::npos) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

void LibsigrokLog::record(std::string line) {
    const std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
    if (lines_.size() > kKept) {
        lines_.pop_front();
    }
}

void LibsigrokLog::clear() {
    const std::lock_guard lock(mutex_);
    lines_.clear();
}

std::vector<std::string> LibsigrokLog::lines() const {
    const std::lock_guard lock(mutex_);
    return {lines_.begin(), lines_.end()};
}

std::string LibsigrokLog::text() const {
    std::string joined;
    for (const std::string& line : lines()) {
        joined += (joined.empty() ? "" : "; ") + line;
    }
    return joined;
}

// Checked in this order because one cause can bring the next: a firmware
// upload fails when the user may not open the device, for example.
Kind LibsigrokLog::failureKind(const std::vector<std::string>& lines, Kind otherwise) {
    if (anySays(lines, {"LIBUSB_ERROR_ACCESS", "Permission denied"})) {
        return Kind::DevicePermissionDenied;
    }
    if (anySays(lines, {"LIBUSB_ERROR_BUSY", "already claimed", "Device or resource busy"})) {
        return Kind::DeviceBusy;
    }
    if (anySays(lines, {"Failed to open resource", "Firmware upload failed"})) {
        return Kind::DeviceFirmwareMissing;
    }
    if (anySays(lines, {"LIBUSB_ERROR_NO_DEVICE", "has been disconnected"})) {
        return Kind::DeviceLost;
    }
    return otherwise;
}
