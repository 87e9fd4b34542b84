#include "device_capture.h"

#include "operator_error.h"
#include "sigrok_context.h"
#include "sigrok_recorder.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace {

using Kind = OperatorError::Kind;
using ScanOptions = std::map<const sigrok::ConfigKey*, Glib::VariantBase>;

// A failure that libsigrok reported only as an error code: its log says why.
OperatorError failureFromLog(const std::string& device, Kind otherwise) {
    const LibsigrokLog& log = SigrokContext::log();
    return {LibsigrokLog::failureKind(log.lines(), otherwise), device, log.text()};
}

std::shared_ptr<sigrok::Driver> driverOf(const CaptureOptions::DeviceSpec& request) {
    const auto drivers = SigrokContext::get()->drivers();
    const auto found = drivers.find(request.driver);
    if (found == drivers.end()) {
        std::vector<std::string> names;
        for (const auto& entry : drivers) {
            names.push_back(entry.first);
        }
        throw OperatorError(Kind::DriverUnknown, request.driver, {}, names);
    }
    return found->second;
}

ScanOptions scanOptionsOf(const sigrok::Driver& driver, const CaptureOptions::DeviceSpec& request) {
    const auto offered = driver.scan_options();
    ScanOptions options;
    for (const auto& [identifier, value] : request.scanOptions) {
        const auto key = std::find_if(offered.begin(), offered.end(), [&](const auto* offer) {
            return offer->identifier() == identifier;
        });
        if (key == offered.end()) {
            std::vector<std::string> identifiers;
            for (const auto* offer : offered) {
                identifiers.push_back(offer->identifier());
            }
            throw OperatorError(Kind::ScanOptionUnknown, identifier, request.driver, identifiers);
        }
        try {
            options[*key] = (*key)->parse_string(value);
        } catch (const std::exception& error) {
            throw OperatorError(Kind::ScanOptionInvalid, identifier + "=" + value, error.what());
        }
    }
    return options;
}

// The device lists its rates either one by one or as a range with a step. A
// device that lists none is taken at its word when it accepts the rate.
void setRate(sigrok::Device& device, std::uint64_t rate, const std::string& name) {
    const auto* key = sigrok::ConfigKey::SAMPLERATE;
    Kind refusal = Kind::DeviceRateNotOffered;
    std::vector<std::string> offers;
    bool offered = true;
    try {
        const Glib::VariantContainerBase list = device.config_list(key);
        GVariant* const dict = const_cast<GVariant*>(list.gobj());
        gsize count = 0;
        if (GVariant* rates = g_variant_lookup_value(dict, "samplerates", G_VARIANT_TYPE("at"))) {
            const auto* values = static_cast<const guint64*>(
                g_variant_get_fixed_array(rates, &count, sizeof(guint64)));
            offered = std::find(values, values + count, rate) != values + count;
            std::transform(values, values + count, std::back_inserter(offers),
                           CaptureOptions::formatSampleRate);
            g_variant_unref(rates);
        } else if (GVariant* steps =
                       g_variant_lookup_value(dict, "samplerate-steps", G_VARIANT_TYPE("at"))) {
            const auto* range = static_cast<const guint64*>(
                g_variant_get_fixed_array(steps, &count, sizeof(guint64)));
            if (count == 3) {
                offered = rate >= range[0] && rate <= range[1] &&
                          (range[2] == 0 || (rate - range[0]) % range[2] == 0);
                refusal = Kind::DeviceRateOutOfRange;
                std::transform(range, range + count, std::back_inserter(offers),
                               CaptureOptions::formatSampleRate);
            }
            g_variant_unref(steps);
        }
    } catch (const sigrok::Error&) {
        // No list: the device's answer to the rate decides.
    }
    if (offered) {
        try {
            device.config_set(key, Glib::Variant<guint64>::create(rate));
        } catch (const sigrok::Error&) {
            offered = false;
        }
    }
    if (!offered) {
        throw OperatorError(refusal, name, std::to_string(rate), offers);
    }
}

// Only the receivers' two channels are enabled, so that the device spends
// its bandwidth on them alone.
SigrokRecorder::ChannelBits enableChannels(sigrok::Device& device,
                                           const CaptureOptions::Channels& wanted,
                                           const std::string& name) {
    const auto bits =
        SigrokRecorder::findChannels(device, wanted, Kind::DeviceChannelUnknown, name);
    for (const auto& channel : device.channels()) {
        channel->set_enabled(channel->index() == bits.right || channel->index() == bits.left);
    }
    return bits;
}

// What the waiting thread needs of a capture in progress: whether it has
// ended, and the session to stop when it runs too long.
struct Watch {
    std::mutex mutex;
    std::condition_variable ended;
    bool finished = false;
    std::shared_ptr<sigrok::Session> session;
};

class OpenDevice {
public:
    explicit OpenDevice(std::shared_ptr<sigrok::HardwareDevice> device)
        : device_(std::move(device)) {
        device_->open();
    }
    ~OpenDevice() {
        try {
            device_->close();
        } catch (const sigrok::Error&) {
            // A device that went away is closed already.
        }
    }
    OpenDevice(const OpenDevice&) = delete;
    OpenDevice& operator=(const OpenDevice&) = delete;

    sigrok::HardwareDevice* operator->() const { return device_.get(); }
    sigrok::HardwareDevice& operator*() const { return *device_; }
    const std::shared_ptr<sigrok::HardwareDevice>& get() const { return device_; }

private:
    std::shared_ptr<sigrok::HardwareDevice> device_;
};

// libsigrok keeps every device that a scan finds in its driver until the
// driver is cleared, so that each scan would hold on to one more for good.
// Cleared once the capture is over and its device closed and gone.
class ClearedAtEnd {
public:
    explicit ClearedAtEnd(std::shared_ptr<sigrok::Driver> driver) : driver_(std::move(driver)) {}
    ~ClearedAtEnd() { sr_dev_clear(SigrokContext::structureOf(*driver_)); }
    ClearedAtEnd(const ClearedAtEnd&) = delete;
    ClearedAtEnd& operator=(const ClearedAtEnd&) = delete;

    sigrok::Driver& operator*() const { return *driver_; }

private:
    std::shared_ptr<sigrok::Driver> driver_;
};

std::shared_ptr<sigrok::HardwareDevice> findDevice(sigrok::Driver& driver,
                                                   const CaptureOptions::DeviceSpec& request) {
    const auto found = driver.scan(scanOptionsOf(driver, request));
    if (found.empty()) {
        throw failureFromLog(request.text, Kind::DeviceNotFound);
    }
    return found.front();
}

// Runs the session to its end, recording the receivers' bits into bytes, and
// returns how many samples came.
int runSession(const OpenDevice& device, SigrokRecorder::ChannelBits bits, SampleStore::Bits& bytes,
               Watch& watch) {
    const auto session = SigrokContext::get()->create_session();
    session->add_device(device.get());
    {
        const std::lock_guard lock(watch.mutex);
        watch.session = session;
    }
    const int count = SigrokRecorder::record(*session, bits, bytes, CaptureSource::kSamples);
    {
        const std::lock_guard lock(watch.mutex);
        watch.session.reset();
    }
    session->remove_devices();
    return count;
}

// Waits for the capture thread, stopping its session when it runs too long.
void waitFor(Watch& watch, std::chrono::milliseconds limit) {
    std::unique_lock lock(watch.mutex);
    if (!watch.ended.wait_for(lock, limit, [&] { return watch.finished; })) {
        if (watch.session) {
            SigrokRecorder::stopQuietly(*watch.session);
        }
        watch.ended.wait(lock, [&] { return watch.finished; });
    }
}

// On the capture thread: the device is opened here and closed on the way out.
void capture(const CaptureOptions::DeviceSpec& request, const CaptureOptions::Channels& channels,
             std::uint64_t rate, const DeviceCapture::Setup& setup, SampleStore::Bits& bytes,
             Watch& watch) {
    constexpr int kSamples = CaptureSource::kSamples;
    const ClearedAtEnd driver(driverOf(request));
    const OpenDevice device(findDevice(*driver, request));
    setRate(*device, rate, request.text);
    const auto bits = enableChannels(*device, channels, request.text);
    device->config_set(sigrok::ConfigKey::LIMIT_SAMPLES, Glib::Variant<guint64>::create(kSamples));
    if (setup) {
        setup(*device);
    }
    const int count = runSession(device, bits, bytes, watch);
    // A device that goes away ends its stream early, and the run ends as if
    // all went well: only the count tells.
    if (count < kSamples) {
        const OperatorError lost = failureFromLog(request.text, Kind::DeviceShortCapture);
        if (lost.kind() != Kind::DeviceShortCapture) {
            throw lost;
        }
        throw OperatorError(lost.kind(), request.text, std::to_string(count));
    }
}

} // namespace

DeviceCapture::DeviceCapture(CaptureOptions::DeviceSpec device, CaptureOptions::Channels channels,
                             std::uint64_t sampleRate, Setup setup)
    : device_(std::move(device)), channels_(std::move(channels)), sampleRate_(sampleRate),
      setup_(std::move(setup)) {
    scanOptionsOf(*driverOf(device_), device_);
}

std::chrono::milliseconds DeviceCapture::timeLimit() const {
    const auto sampling = std::chrono::milliseconds(
        static_cast<std::int64_t>(kSamples * std::uint64_t{1000} / sampleRate_));
    return 2 * sampling + std::chrono::seconds(15);
}

void DeviceCapture::scan(SampleStore& store) {
    const auto bytes = std::make_unique<SampleStore::Bits>();
    Watch watch;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            SigrokContext::log().clear();
            capture(device_, channels_, sampleRate_, setup_, *bytes, watch);
        } catch (const OperatorError&) {
            failure = std::current_exception();
        } catch (const std::exception&) {
            failure = std::make_exception_ptr(failureFromLog(device_.text, Kind::DeviceUnexpected));
        }
        const std::lock_guard lock(watch.mutex);
        watch.finished = true;
        watch.ended.notify_all();
    });
    waitFor(watch, timeLimit());
    worker.join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    keep(store, *bytes);
}
