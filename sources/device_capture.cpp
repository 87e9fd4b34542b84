#include "device_capture.h"

#include "operator_error.h"
#include "sigrok_context.h"
#include "sigrok_recorder.h"

#include <algorithm>
#include <exception>
#include <iterator>
#include <map>
#include <memory>
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
        // Those that libsigrok classes as logic analysers (some oscilloscopes
        // with logic channels among them): not its multimeters or supplies.
        std::vector<std::string> names;
        for (const auto& [name, driver] : drivers) {
            if (driver->config_keys().contains(sigrok::ConfigKey::LOGIC_ANALYZER)) {
                names.push_back(name);
            }
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
    ~ClearedAtEnd() {
        // A worker blocked in this driver may still use what it found.
        if (CaptureWorker::abandoned() == 0) {
            sr_dev_clear(SigrokContext::structureOf(*driver_));
        }
    }
    ClearedAtEnd(const ClearedAtEnd&) = delete;
    ClearedAtEnd& operator=(const ClearedAtEnd&) = delete;

    sigrok::Driver& operator*() const { return *driver_; }

private:
    std::shared_ptr<sigrok::Driver> driver_;
};

// A device that goes away ends its stream early, and the run ends as if all
// went well: only the count tells.
void checkComplete(std::size_t count, const std::string& device) {
    if (count < static_cast<std::size_t>(kSamples)) {
        const OperatorError lost = failureFromLog(device, Kind::DeviceShortCapture);
        if (lost.kind() != Kind::DeviceShortCapture) {
            throw lost;
        }
        throw OperatorError(lost.kind(), device, std::to_string(count));
    }
}

std::shared_ptr<sigrok::HardwareDevice> findDevice(sigrok::Driver& driver,
                                                   const CaptureOptions::DeviceSpec& request) {
    const auto found = driver.scan(scanOptionsOf(driver, request));
    if (found.empty()) {
        throw failureFromLog(request.text, Kind::DeviceNotFound);
    }
    return found.front();
}

} // namespace

DeviceCapture::DeviceCapture(CaptureOptions::DeviceSpec device, CaptureOptions::Channels channels,
                             std::uint64_t sampleRate, Setup setup, DeviceLimits limits,
                             PhaseStarted phaseStarted)
    : device_(std::move(device)), channels_(std::move(channels)), sampleRate_(sampleRate),
      setup_(std::move(setup)), limits_(limits), phaseStarted_(std::move(phaseStarted)) {
    scanOptionsOf(*driverOf(device_), device_);
}

std::chrono::milliseconds DeviceCapture::acquisitionLimit() const {
    const auto sampling = std::chrono::milliseconds(
        static_cast<std::int64_t>(kSamples * std::uint64_t{1000} / sampleRate_));
    return 2 * sampling + limits_.acquisitionMargin;
}

void DeviceCapture::enter(CaptureWorker::Progress& progress, Kind phase,
                          std::chrono::milliseconds limit, std::function<void()> stop) const {
    progress.enter(phase, limit, std::move(stop));
    if (phaseStarted_) {
        phaseStarted_(phase);
    }
}

// On the capture worker: the device is opened here and closed on the way
// out. The worker holds the driver, the device and the session while it
// runs, so that none of them is torn down under a call that never returns.
Capture DeviceCapture::capture(CaptureWorker::Progress& progress) {
    SigrokContext::log().clear();
    try {
        enter(progress, Kind::DeviceScanStalled, limits_.scan);
        const ClearedAtEnd driver(driverOf(device_));
        const auto found = findDevice(*driver, device_);
        enter(progress, Kind::DeviceOpenStalled, limits_.open);
        const OpenDevice device(found);
        setRate(*device, sampleRate_, device_.text);
        const auto bits = enableChannels(*device, channels_, device_.text);
        device->config_set(sigrok::ConfigKey::LIMIT_SAMPLES,
                           Glib::Variant<guint64>::create(kSamples));
        if (setup_) {
            setup_(*device);
        }
        enter(progress, Kind::DeviceStartStalled, limits_.start);
        const auto session = SigrokContext::get()->create_session();
        session->add_device(device.get());
        Capture capture{{}, sampleRate_, DeviceOrigin{device_.text, channels_}};
        // A session that runs too long is stopped from the waiting thread.
        SigrokRecorder::record(*session, bits, capture.samples, kSamples, [&] {
            enter(progress, Kind::DeviceCaptureStalled, acquisitionLimit(),
                  [session] { SigrokRecorder::stopQuietly(*session); });
        });
        // Closing is bounded too, and the waiting thread lets go of the session.
        enter(progress, Kind::DeviceCaptureStalled, limits_.start);
        session->remove_devices();
        checkComplete(capture.samples.size(), device_.text);
        return capture;
    } catch (const OperatorError&) {
        throw;
    } catch (const std::exception&) {
        throw failureFromLog(device_.text, Kind::DeviceUnexpected);
    }
}
