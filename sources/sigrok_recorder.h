#pragma once

#include "capture_options.h"
#include "instrument_constants.h"
#include "operator_error.h"
#include "sample_stream.h"

#include <cstdint>
#include <functional>
#include <libsigrokcxx/libsigrokcxx.hpp>
#include <string>
#include <vector>

// What the libsigrok sources, a device or a session file, take of a session:
// the two receivers' bits of each sample, in a scan's layout.
namespace SigrokRecorder {

// The receivers' logic channels on a device, by index, and by name.
struct ChannelBits {
    unsigned int right;
    unsigned int left;
    CaptureOptions::Channels channels;
};

// Finds the receivers' channels among the device's logic channels, as
// channelsAmong() chooses them, or throws OperatorError(missing, subject,
// the name, the logic channels).
ChannelBits findChannels(sigrok::Device& device, const CaptureOptions::Channels& wanted,
                         OperatorError::Kind missing, const std::string& subject);

// Starts the session, calls started, and runs it to its end or until it has
// given limit samples (at most kSamples), recording them into samples;
// stopping is called before the session is stopped for that.
void record(sigrok::Session& session, ChannelBits bits, std::vector<std::uint8_t>& samples,
            int limit, const std::function<void()>& started, const std::function<void()>& stopping);

// Starts the session, calls started, and hands the receivers' bits of each
// logic packet to sink, calling alive after each, until the session ends or
// the sink asks to stop or has been given limit samples (0: no limit):
// stopping is called, and the session is then stopped from its own thread,
// inside the feed. Returns the samples given.
std::uint64_t stream(sigrok::Session& session, ChannelBits bits, StreamSink& sink,
                     std::uint64_t limit, const std::function<void()>& started,
                     const std::function<void()>& alive, const std::function<void()>& stopping);

// Stopping a session that has just ended on its own is no failure.
void stopQuietly(sigrok::Session& session) noexcept;

} // namespace SigrokRecorder
