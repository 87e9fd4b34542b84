#include "session_file.h"

#include "operator_error.h"
#include "session_archive.h"
#include "sigrok_context.h"
#include "sigrok_recorder.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

using Kind = OperatorError::Kind;

// The devices that loading a session makes hold state of their own until
// they are closed, even when the session goes away.
class ClosedAtEnd {
public:
    explicit ClosedAtEnd(std::vector<std::shared_ptr<sigrok::Device>> devices)
        : devices_(std::move(devices)) {}
    ~ClosedAtEnd() {
        for (const auto& device : devices_) {
            try {
                device->close();
            } catch (const sigrok::Error&) {
            }
        }
    }
    ClosedAtEnd(const ClosedAtEnd&) = delete;
    ClosedAtEnd& operator=(const ClosedAtEnd&) = delete;

    const std::vector<std::shared_ptr<sigrok::Device>>& devices() const { return devices_; }

private:
    std::vector<std::shared_ptr<sigrok::Device>> devices_;
};

std::uint64_t rateOf(sigrok::Device& device) {
    try {
        const auto rate = Glib::VariantBase::cast_dynamic<Glib::Variant<guint64>>(
            device.config_get(sigrok::ConfigKey::SAMPLERATE));
        return rate.get();
    } catch (const sigrok::Error&) {
        return 0;
    }
}

// Plays the file's data into bytes and returns the file's rate.
std::uint64_t load(const std::string& path, const CaptureOptions::Channels& channels,
                   SampleStore::Bits& bytes) {
    // Reading stops at the end of the file's logic data: what may follow is
    // of no use, and libsigrok 0.5.2 leaks on its way to analog data.
    const int held = SessionArchive::check(path, CaptureSource::kSamples);
    if (held < SessionFile::kMinimumSamples) {
        throw OperatorError(Kind::FileTooShort, path, std::to_string(held));
    }
    SigrokContext::log().clear();
    std::shared_ptr<sigrok::Session> session;
    try {
        session = SigrokContext::get()->load_session(path);
    } catch (const sigrok::Error&) {
        throw OperatorError(Kind::FileUnexpected, path, SigrokContext::log().text());
    }
    const ClosedAtEnd loaded(session->devices());
    if (loaded.devices().size() != 1) {
        throw OperatorError(Kind::FileNotSession, path, "non contiene un solo dispositivo");
    }
    sigrok::Device& device = *loaded.devices().front();
    const std::uint64_t rate = rateOf(device);
    if (rate == 0) {
        throw OperatorError(Kind::FileSampleRateMissing, path);
    }
    const auto bits =
        SigrokRecorder::findChannels(device, channels, Kind::FileChannelMissing, path);
    // The checked data may still fail libsigrok's reader part way.
    const int count = SigrokRecorder::record(*session, bits, bytes, held);
    if (count < SessionFile::kMinimumSamples) {
        throw OperatorError(Kind::FileTooShort, path, std::to_string(count));
    }
    return rate;
}

// One logic packet: the output rewrites the whole archive for each one.
void writeSession(const std::string& path, std::span<const std::uint8_t> samples,
                  std::uint64_t sampleRate) {
    const auto context = SigrokContext::get();
    const auto device = context->create_user_device("correlatore", "ricevitori", "");
    device->add_channel(0, sigrok::ChannelType::LOGIC, "D0");
    device->add_channel(1, sigrok::ChannelType::LOGIC, "D1");
    const auto output = context->output_formats().at("srzip")->create_output(path, device);
    Glib::TimeVal now;
    now.assign_current_time();
    output->receive(context->create_header_packet(now));
    // Without it the file says 0 Hz.
    output->receive(context->create_meta_packet(
        {{sigrok::ConfigKey::SAMPLERATE, Glib::Variant<guint64>::create(sampleRate)}}));
    std::vector<std::uint8_t> data(samples.begin(), samples.end());
    output->receive(context->create_logic_packet(data.data(), data.size(), 1));
    output->receive(context->create_end_packet());
}

} // namespace

SessionFile::SessionFile(std::string path, CaptureOptions::Channels channels)
    : path_(std::move(path)), channels_(std::move(channels)) {}

// libsigrok runs a session's loop in its thread's default GLib context, which
// on the window's thread is the window's own: it reads on a thread of its own.
void SessionFile::scan(SampleStore& store) {
    const auto bytes = std::make_unique<SampleStore::Bits>();
    std::uint64_t rate = 0;
    std::exception_ptr failure;
    std::thread reader([&] {
        try {
            rate = load(path_, channels_, *bytes);
        } catch (const OperatorError&) {
            failure = std::current_exception();
        } catch (const std::exception&) {
            failure = std::make_exception_ptr(
                OperatorError(Kind::FileUnexpected, path_, SigrokContext::log().text()));
        }
    });
    reader.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    keep(store, *bytes);
    sampleRate_ = rate;
}

void SessionFile::write(const std::string& path, std::span<const std::uint8_t> samples,
                        std::uint64_t sampleRate) {
    std::string temporary = path + ".XXXXXX";
    const int descriptor = ::mkstemp(temporary.data());
    if (descriptor < 0) {
        throw OperatorError(Kind::FileNotWritten, path, std::strerror(errno));
    }
    ::close(descriptor);
    try {
        SigrokContext::log().clear();
        writeSession(temporary, samples, sampleRate);
    } catch (const std::exception&) {
        std::remove(temporary.c_str());
        const std::string log = SigrokContext::log().text();
        throw OperatorError(Kind::FileNotWritten, path,
                            log.empty() ? std::string("errore di scrittura") : log);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string reason = std::strerror(errno);
        std::remove(temporary.c_str());
        throw OperatorError(Kind::FileNotWritten, path, reason);
    }
}
