#include "device_capture.h"

#include "device_rates.h"
#include "operator_error.h"
#include "sigrok_context.h"
#include "sigrok_recorder.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <stdexcept>
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
        throw OperatorError(Kind::DriverUnknown, request.driver, {},
                            DeviceCapture::analyserDrivers());
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

// A rate the device does not offer, or does not take, is refused with the
// rates it offers.
void setRate(sigrok::Device& device, std::uint64_t rate, const std::string& name) {
    const OfferedRates rates = offeredRatesOf(device);
    bool taken = rates.offers(rate);
    if (taken) {
        try {
            device.config_set(sigrok::ConfigKey::SAMPLERATE, Glib::Variant<guint64>::create(rate));
        } catch (const sigrok::Error&) {
            taken = false;
        }
    }
    if (!taken) {
        std::vector<std::uint64_t> offered = rates.listed;
        if (rates.range) {
            offered.assign(rates.range->begin(), rates.range->end());
        }
        std::vector<std::string> texts;
        std::transform(offered.begin(), offered.end(), std::back_inserter(texts),
                       CaptureOptions::formatSampleRate);
        throw OperatorError(rates.range ? Kind::DeviceRateOutOfRange : Kind::DeviceRateNotOffered,
                            name, std::to_string(rate), texts);
    }
}

// Only the receivers' two channels are enabled, so that the device spends
// its bandwidth on them alone.
SigrokRecorder::ChannelBits enableChannels(sigrok::Device& device,
                                           const CaptureOptions::Channels& channels,
                                           const std::string& name) {
    const auto bits =
        SigrokRecorder::findChannels(device, channels, Kind::DeviceChannelUnknown, name);
    for (const auto& channel : device.channels()) {
        channel->set_enabled(channel->index() == bits.right || channel->index() == bits.left);
    }
    return bits;
}

// Closed in a phase of its own, however the capture ends: closing calls it.
class OpenDevice {
public:
    OpenDevice(std::shared_ptr<sigrok::HardwareDevice> device, std::function<void()> closing)
        : device_(std::move(device)), closing_(std::move(closing)) {
        device_->open();
    }
    ~OpenDevice() {
        closing_();
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
    std::function<void()> closing_;
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

// The stop made from outside at the acquisition's deadline: it notes that
// it was made, so that a device that sent nothing at all is told from one
// that went away part way.
std::function<void()> stopAtDeadline(std::shared_ptr<sigrok::Session> session,
                                     std::shared_ptr<std::atomic<bool>> made,
                                     DeviceCapture::PhaseStarted phaseStarted) {
    return [session = std::move(session), made = std::move(made),
            phaseStarted = std::move(phaseStarted)] {
        made->store(true);
        if (phaseStarted) {
            phaseStarted(Kind::DeviceStopStalled);
        }
        SigrokRecorder::stopQuietly(*session);
    };
}

// A device stopped at the acquisition's deadline before it sent a single
// sample does not answer; it has not gone away part way.
void checkAnswered(bool sentAny, bool stoppedAtDeadline, const std::string& device,
                   std::chrono::milliseconds limit) {
    if (!sentAny && stoppedAtDeadline) {
        throw CaptureWorker::overrun(Kind::DeviceCaptureStalled, device, limit);
    }
}

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

// A value in the key's own type. libsigrok's own parser reads "1.5MHz" as 1
// and "banana" as false without complaint, so booleans and whole numbers
// are read here, strictly; it has the other types, with its exceptions.
Glib::VariantBase configValue(const sigrok::ConfigKey& key, const std::string& value) {
    const auto* type = key.data_type();
    if (type == sigrok::DataType::BOOL) {
        for (const auto& [yes, no] : {std::pair{"on", "off"}, {"true", "false"}, {"1", "0"}}) {
            if (value == yes || value == no) {
                return Glib::Variant<bool>::create(value == yes);
            }
        }
        return {};
    }
    if (type == sigrok::DataType::UINT64) {
        const auto number = CaptureOptions::sampleRateIn(value);
        return number ? Glib::Variant<guint64>::create(*number) : Glib::VariantBase();
    }
    if (type == sigrok::DataType::INT32) {
        int number = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), number);
        return error == std::errc() && end == value.data() + value.size()
                   ? Glib::Variant<gint32>::create(number)
                   : Glib::VariantBase();
    }
    return key.parse_string(value);
}

// Sets each option the device can set, or refuses with the ones it can.
void applyConfig(sigrok::Device& device, const CaptureOptions::Config& config,
                 const std::string& name) {
    const auto keys = device.config_keys();
    for (const auto& [identifier, value] : config) {
        const auto key = std::find_if(keys.begin(), keys.end(), [&](const auto* k) {
            return k->identifier() == identifier && device.config_check(k, sigrok::Capability::SET);
        });
        if (key == keys.end()) {
            std::vector<std::string> settable;
            for (const auto* k : keys) {
                if (device.config_check(k, sigrok::Capability::SET) &&
                    !CaptureOptions::scanSetsItself(k->identifier())) {
                    settable.push_back(k->identifier());
                }
            }
            throw OperatorError(Kind::ConfigKeyUnknown, identifier, name, settable);
        }
        const std::string pair = identifier + "=" + value;
        try {
            const Glib::VariantBase parsed = configValue(**key, value);
            if (!parsed.gobj()) {
                throw OperatorError(Kind::ConfigValueInvalid, pair);
            }
            device.config_set(*key, parsed);
        } catch (const sigrok::Error& error) {
            throw OperatorError(Kind::ConfigValueInvalid, pair, error.what());
        } catch (const std::invalid_argument& error) {
            throw OperatorError(Kind::ConfigValueInvalid, pair, error.what());
        }
    }
}

FoundAnalyser described(const CaptureOptions::DeviceSpec& where,
                        const std::shared_ptr<sigrok::HardwareDevice>& device) {
    const std::string connection = device->connection_id();
    FoundAnalyser found{where.text, connection, device->vendor(), device->model(), {}, {}};
    if (where.scanOptions.empty() && !connection.empty()) {
        found.address = where.driver + ":conn=" + connection;
    }
    for (const auto& channel : device->channels()) {
        if (channel->type() == sigrok::ChannelType::LOGIC) {
            found.logicChannels.push_back(channel->name());
        }
    }
    return found;
}

} // namespace

std::vector<std::string> DeviceCapture::analyserDrivers() {
    std::vector<std::string> names;
    for (const auto& [name, driver] : SigrokContext::get()->drivers()) {
        if (driver->config_keys().contains(sigrok::ConfigKey::LOGIC_ANALYZER)) {
            names.push_back(name);
        }
    }
    return names;
}

std::vector<FoundAnalyser> DeviceCapture::find(const CaptureOptions::DeviceSpec& where,
                                               CaptureWorker::Progress& progress,
                                               const DeviceLimits& limits) {
    SigrokContext::log().clear();
    try {
        progress.enter(Kind::DeviceScanStalled, limits.scan);
        const ClearedAtEnd driver(driverOf(where));
        std::vector<FoundAnalyser> found;
        for (const auto& device : (*driver).scan(scanOptionsOf(*driver, where))) {
            found.push_back(described(where, device));
            progress.enter(Kind::DeviceOpenStalled, limits.open);
            try {
                const OpenDevice open(device, [&progress, &limits] {
                    progress.enter(Kind::DeviceCloseStalled, limits.close);
                });
                found.back().rates = offeredRatesOf(*device);
            } catch (const sigrok::Error&) {
                // One that another program holds is still listed, its rates unknown.
            }
        }
        return found;
    } catch (const OperatorError&) {
        throw;
    } catch (const std::exception&) {
        throw failureFromLog(where.text, Kind::DeviceUnexpected);
    }
}

DeviceCapture::DeviceCapture(CaptureOptions::Analyser analyser, Setup setup, DeviceLimits limits,
                             PhaseStarted phaseStarted)
    : analyser_(std::move(analyser)), setup_(std::move(setup)), limits_(limits),
      phaseStarted_(std::move(phaseStarted)) {
    scanOptionsOf(*driverOf(analyser_.device), analyser_.device);
}

std::chrono::milliseconds DeviceCapture::acquisitionLimit() const {
    const auto sampling = std::chrono::milliseconds(
        static_cast<std::int64_t>(kSamples * std::uint64_t{1000} / analyser_.sampleRate));
    return 2 * sampling + limits_.acquisitionMargin;
}

void DeviceCapture::enter(CaptureWorker::Progress& progress, Kind phase,
                          std::chrono::milliseconds limit, std::function<void()> stop) const {
    progress.enter(phase, limit, std::move(stop));
    if (phaseStarted_) {
        phaseStarted_(phase);
    }
}

// On the capture worker: the device is found, opened and set up, and
// acquire runs a session of it; the device is closed on the way out. The
// worker holds the driver, the device and the session while it runs, so
// that none of them is torn down under a call that never returns.
template <typename Acquire>
void DeviceCapture::withSession(CaptureWorker::Progress& progress, std::uint64_t limit,
                                Acquire&& acquire) const {
    SigrokContext::log().clear();
    const CaptureOptions::DeviceSpec& request = analyser_.device;
    try {
        enter(progress, Kind::DeviceScanStalled, limits_.scan);
        const ClearedAtEnd driver(driverOf(request));
        const auto found = findDevice(*driver, request);
        enter(progress, Kind::DeviceOpenStalled, limits_.open);
        // Entering the close phase also lets go of a stop that holds the session.
        const OpenDevice device(found,
                                [&] { enter(progress, Kind::DeviceCloseStalled, limits_.close); });
        applyConfig(*device, analyser_.config, request.text);
        setRate(*device, analyser_.sampleRate, request.text);
        const auto bits = enableChannels(*device, analyser_.channels, request.text);
        if (limit > 0) {
            device->config_set(sigrok::ConfigKey::LIMIT_SAMPLES,
                               Glib::Variant<guint64>::create(limit));
        } else if (device->config_check(sigrok::ConfigKey::CONTINUOUS, sigrok::Capability::SET)) {
            device->config_set(sigrok::ConfigKey::CONTINUOUS, Glib::Variant<bool>::create(true));
        }
        if (setup_) {
            setup_(*device);
        }
        enter(progress, Kind::DeviceStartStalled, limits_.start);
        const auto session = SigrokContext::get()->create_session();
        session->add_device(device.get());
        acquire(session, bits);
        // A stop made from outside may hold the session beyond this: it
        // must not hold the device, which is closed and cleared next.
        session->remove_devices();
    } catch (const OperatorError&) {
        throw;
    } catch (const std::exception&) {
        throw failureFromLog(request.text, Kind::DeviceUnexpected);
    }
}

Capture DeviceCapture::capture(CaptureWorker::Progress& progress) {
    Capture capture{{}, analyser_.sampleRate, DeviceOrigin{}};
    const auto stopped = std::make_shared<std::atomic<bool>>(false);
    withSession(progress, kSamples, [&](const auto& session, const auto& bits) {
        capture.origin = DeviceOrigin{analyser_.device.text, bits.channels};
        SigrokRecorder::record(
            *session, bits, capture.samples, kSamples,
            [&] {
                enter(progress, Kind::DeviceCaptureStalled, acquisitionLimit(),
                      stopAtDeadline(session, stopped, phaseStarted_));
            },
            [&] { enter(progress, Kind::DeviceStopStalled, limits_.stop); });
    });
    checkAnswered(!capture.samples.empty(), stopped->load(), analyser_.device.text,
                  acquisitionLimit());
    checkComplete(capture.samples.size(), analyser_.device.text);
    return capture;
}

// The acquisition never ends of itself, so its deadline moves on with the
// data: a device that stops sending is stopped at the deadline.
void DeviceCapture::stream(StreamSink& sink, CaptureWorker::Progress& progress) {
    using Clock = std::chrono::steady_clock;
    withSession(progress, 0, [&](const auto& session, const auto& bits) {
        const auto stopped = std::make_shared<std::atomic<bool>>(false);
        const auto silence = [&, session] {
            enter(progress, Kind::DeviceCaptureStalled, limits_.acquisitionMargin,
                  stopAtDeadline(session, stopped, phaseStarted_));
        };
        bool heard = false;
        Clock::time_point renewed = Clock::now();
        SigrokRecorder::stream(
            *session, bits, sink, silence,
            [&] {
                heard = true;
                // The deadline's lock is taken a few times a second, not per packet.
                if (const auto now = Clock::now(); now - renewed > limits_.acquisitionMargin / 10) {
                    renewed = now;
                    silence();
                }
            },
            [&] { enter(progress, Kind::DeviceStopStalled, limits_.stop); });
        if (sink.stopping()) {
            return;
        }
        checkAnswered(heard, stopped->load(), analyser_.device.text, limits_.acquisitionMargin);
        throw failureFromLog(analyser_.device.text, Kind::DeviceLost);
    });
}
