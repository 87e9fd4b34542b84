#include "sigrok_recorder.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <vector>

namespace SigrokRecorder {

namespace {

// Each sample is unit bytes, channel i at bit i; some drivers leave
// disabled channels unmasked, so only the two bits are taken.
std::uint8_t receiversOf(const std::uint8_t* sample, ChannelBits bits) {
    const auto bit = [sample](unsigned int index) {
        return (sample[index / 8] >> (index % 8)) & 1;
    };
    return static_cast<std::uint8_t>(bit(bits.right) | bit(bits.left) << 1);
}

// Takes the receivers' bits from each logic packet into the scan's bytes. It
// runs inside libsigrok's callback, which must not throw.
class Recorder {
public:
    Recorder(std::vector<std::uint8_t>& samples, ChannelBits bits, int limit)
        : samples_(samples), bits_(bits),
          limit_(static_cast<std::size_t>(std::min(limit, kSamples))) {
        samples_.reserve(limit_);
    }

    // Returns whether the scan is complete.
    bool take(const sigrok::Logic& logic) noexcept {
        const auto* data =
            static_cast<const std::uint8_t*>(const_cast<sigrok::Logic&>(logic).data_pointer());
        const std::size_t unit = logic.unit_size();
        if (unit == 0 || std::max(bits_.right, bits_.left) / 8 >= unit) {
            return full();
        }
        for (std::size_t offset = 0; offset + unit <= logic.data_length() && !full();
             offset += unit) {
            samples_.push_back(receiversOf(data + offset, bits_));
        }
        return full();
    }

private:
    bool full() const { return samples_.size() >= limit_; }

    std::vector<std::uint8_t>& samples_;
    ChannelBits bits_;
    std::size_t limit_;
};

} // namespace

ChannelBits findChannels(sigrok::Device& device, const CaptureOptions::Channels& wanted,
                         OperatorError::Kind missing, const std::string& subject) {
    std::vector<std::shared_ptr<sigrok::Channel>> logic;
    for (const auto& channel : device.channels()) {
        if (channel->type() == sigrok::ChannelType::LOGIC) {
            logic.push_back(channel);
        }
    }
    std::vector<std::string> names;
    for (const auto& c : logic) {
        names.push_back(c->name());
    }
    const auto channels = CaptureOptions::channelsAmong(wanted, names);
    const auto indexOf = [&](const std::string& name) {
        const auto found = std::find(names.begin(), names.end(), name);
        if (found == names.end()) {
            throw OperatorError(missing, subject, name, names);
        }
        return logic[static_cast<std::size_t>(found - names.begin())]->index();
    };
    return {indexOf(channels.right), indexOf(channels.left), channels};
}

void stopQuietly(sigrok::Session& session) noexcept {
    try {
        session.stop();
    } catch (const std::exception&) {
    }
}

void record(sigrok::Session& session, ChannelBits bits, std::vector<std::uint8_t>& samples,
            int limit, const std::function<void()>& started,
            const std::function<void()>& stopping) {
    Recorder recorder(samples, bits, limit);
    bool full = false;
    // libsigrok calls this through a noexcept wrapper: nothing may escape.
    session.add_datafeed_callback(
        [&](std::shared_ptr<sigrok::Device>, std::shared_ptr<sigrok::Packet> packet) noexcept {
            try {
                if (packet->type() != sigrok::PacketType::LOGIC || full) {
                    return;
                }
                if (recorder.take(*std::static_pointer_cast<sigrok::Logic>(packet->payload()))) {
                    // Devices that ignore the sample limit end here, and files
                    // before anything that follows the samples wanted.
                    full = true;
                    stopping();
                    stopQuietly(session);
                }
            } catch (const std::exception&) {
                // A packet that cannot be read counts as no samples.
            }
        });
    session.start();
    started();
    session.run();
    session.remove_datafeed_callbacks();
}

std::uint64_t stream(sigrok::Session& session, ChannelBits bits, StreamSink& sink,
                     std::uint64_t limit, const std::function<void()>& started,
                     const std::function<void()>& alive, const std::function<void()>& stopping) {
    std::vector<std::uint8_t> receivers;
    std::uint64_t given = 0;
    bool stopped = false;
    const auto stop = [&] {
        stopped = true;
        stopping();
        stopQuietly(session);
    };
    // A device that ignores the sample limit is stopped at it.
    const std::uint64_t most = limit > 0 ? limit : std::numeric_limits<std::uint64_t>::max();
    session.add_datafeed_callback(
        [&](std::shared_ptr<sigrok::Device>, std::shared_ptr<sigrok::Packet> packet) noexcept {
            try {
                if (stopped) {
                    return;
                }
                if (sink.stopping()) {
                    stop();
                    return;
                }
                if (packet->type() != sigrok::PacketType::LOGIC) {
                    return;
                }
                auto& logic = *std::static_pointer_cast<sigrok::Logic>(packet->payload());
                const auto* data = static_cast<const std::uint8_t*>(logic.data_pointer());
                const std::size_t unit = logic.unit_size();
                if (unit == 0 || std::max(bits.right, bits.left) / 8 >= unit) {
                    return;
                }
                receivers.resize(static_cast<std::size_t>(
                    std::min<std::uint64_t>(logic.data_length() / unit, most - given)));
                for (std::size_t i = 0; i < receivers.size(); ++i) {
                    receivers[i] = receiversOf(data + i * unit, bits);
                }
                sink.take(receivers);
                given += receivers.size();
                alive();
                if (given == most) {
                    stop();
                }
            } catch (const std::exception&) {
                // A packet that cannot be read counts as no samples.
            }
        });
    session.start();
    started();
    session.run();
    session.remove_datafeed_callbacks();
    return given;
}

} // namespace SigrokRecorder
