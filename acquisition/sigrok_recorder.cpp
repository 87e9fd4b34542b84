#include "sigrok_recorder.h"

#include "capture_source.h"

#include <algorithm>
#include <exception>
#include <vector>

namespace SigrokRecorder {

namespace {

// Takes the receivers' bits from each logic packet into the scan's bytes. It
// runs inside libsigrok's callback, which must not throw.
class Recorder {
public:
    Recorder(SampleStore::Bits& bytes, ChannelBits bits, int limit)
        : bytes_(bytes), bits_(bits), limit_(std::min(limit, CaptureSource::kSamples)) {}

    // Returns whether the scan is complete.
    bool take(const sigrok::Logic& logic) noexcept {
        const auto* data =
            static_cast<const std::uint8_t*>(const_cast<sigrok::Logic&>(logic).data_pointer());
        const std::size_t unit = logic.unit_size();
        if (unit == 0 || std::max(bits_.right, bits_.left) / 8 >= unit) {
            return full();
        }
        // Each sample is unit bytes, channel i at bit i; some drivers leave
        // disabled channels unmasked, so only the two bits are taken.
        const auto bit = [](const std::uint8_t* sample, unsigned int index) {
            return (sample[index / 8] >> (index % 8)) & 1;
        };
        for (std::size_t offset = 0; offset + unit <= logic.data_length() && !full();
             offset += unit) {
            const std::uint8_t* sample = data + offset;
            bytes_[static_cast<std::size_t>(++count_)] =
                static_cast<std::uint8_t>(bit(sample, bits_.right) | bit(sample, bits_.left) << 1);
        }
        return full();
    }

    int count() const { return count_; }

private:
    bool full() const { return count_ >= limit_; }

    SampleStore::Bits& bytes_;
    ChannelBits bits_;
    int limit_;
    int count_ = 0;
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
    const auto indexOf = [&](const std::string& name) {
        const auto found = std::find_if(logic.begin(), logic.end(),
                                        [&](const auto& c) { return c->name() == name; });
        if (found == logic.end()) {
            std::vector<std::string> names;
            for (const auto& c : logic) {
                names.push_back(c->name());
            }
            throw OperatorError(missing, subject, name, names);
        }
        return (*found)->index();
    };
    return {indexOf(wanted.right), indexOf(wanted.left)};
}

void stopQuietly(sigrok::Session& session) noexcept {
    try {
        session.stop();
    } catch (const std::exception&) {
    }
}

int record(sigrok::Session& session, ChannelBits bits, SampleStore::Bits& bytes, int limit) {
    Recorder recorder(bytes, bits, limit);
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
                    stopQuietly(session);
                }
            } catch (const std::exception&) {
                // A packet that cannot be read counts as no samples.
            }
        });
    session.start();
    session.run();
    session.remove_datafeed_callbacks();
    return recorder.count();
}

} // namespace SigrokRecorder
