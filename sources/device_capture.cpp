#include "device_capture.h"

#include "device_rates.h"
#include "operator_error.h"
#include "sigrok_context.h"
#include "sigrok_recorder.h"

#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <exception>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <optional>
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
void checkComplete(std::size_t count, std::uint64_t wanted, const std::string& device) {
    if (count < wanted) {
        const OperatorError lost = failureFromLog(device, Kind::DeviceShortCapture);
        if (lost.kind() != Kind::DeviceShortCapture) {
            throw lost;
        }
        throw OperatorError(lost.kind(), device, std::to_string(count), {std::to_string(wanted)});
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

// The samples a board holds, as its driver lists the sample limit's range
// (lowest, highest); nothing where it lists none, as an ols board whose
// memory its metadata does not give.
std::optional<std::uint64_t> memoryOf(sigrok::Device& device) {
    if (!device.config_check(sigrok::ConfigKey::LIMIT_SAMPLES, sigrok::Capability::LIST)) {
        return std::nullopt;
    }
    try {
        const Glib::VariantContainerBase range =
            device.config_list(sigrok::ConfigKey::LIMIT_SAMPLES);
        GVariant* const tuple = const_cast<GVariant*>(range.gobj());
        if (!g_variant_is_of_type(tuple, G_VARIANT_TYPE("(tt)"))) {
            return std::nullopt;
        }
        guint64 lowest = 0;
        guint64 highest = 0;
        g_variant_get(tuple, "(tt)", &lowest, &highest);
        return highest;
    } catch (const sigrok::Error&) {
        return std::nullopt;
    }
}

// The time samples take at rate, whole microseconds.
std::chrono::microseconds durationOf(std::uint64_t samples, std::uint64_t rate) {
    return std::chrono::microseconds(
        static_cast<std::int64_t>(static_cast<double>(samples) * 1e6 / static_cast<double>(rate)));
}

// The samples that come at rate in a time; none in a time that is negative.
std::uint64_t samplesIn(std::chrono::steady_clock::duration time, std::uint64_t rate) {
    const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(time).count();
    return micros > 0 ? static_cast<std::uint64_t>(micros) * rate / 1'000'000 : 0;
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

// Drivers list CONTINUOUS, mostly without SET, where the device acquires
// without end when given no limit: one that does not list it fills its
// memory and stops.
DeviceCapture::Board DeviceCapture::boardOf(sigrok::Device& device) {
    return {device.config_keys().contains(sigrok::ConfigKey::CONTINUOUS), memoryOf(device)};
}

DeviceCapture::DeviceCapture(CaptureOptions::Analyser analyser, Setup setup, DeviceLimits limits,
                             PhaseStarted phaseStarted, BoardQuery board)
    : analyser_(std::move(analyser)), setup_(std::move(setup)), limits_(limits),
      phaseStarted_(std::move(phaseStarted)), board_(std::move(board)) {
    scanOptionsOf(*driverOf(analyser_.device), analyser_.device);
}

std::chrono::milliseconds DeviceCapture::acquisitionLimit(std::uint64_t samples) const {
    const auto sampling = std::chrono::duration_cast<std::chrono::milliseconds>(
        durationOf(samples, analyser_.sampleRate));
    return 2 * sampling + limits_.acquisitionMargin;
}

std::uint64_t DeviceCapture::limitFor(const Board& board, Run run) const {
    if (run.streams && board.streams) {
        return 0;
    }
    if (board.memory && *board.memory < static_cast<std::uint64_t>(kMinimumSamples)) {
        throw OperatorError(Kind::DeviceMemoryTooSmall, analyser_.device.text,
                            std::to_string(*board.memory));
    }
    return board.memory ? std::min(*board.memory, run.wanted) : run.wanted;
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
void DeviceCapture::withSession(CaptureWorker::Progress& progress, Run run,
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
        const std::uint64_t limit = limitFor(board_(*device), run);
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
        acquire(session, bits, limit);
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
    std::uint64_t wanted = kSamples;
    withSession(progress, {wanted, false}, [&](const auto& session, const auto& bits, auto limit) {
        wanted = limit;
        capture.origin = DeviceOrigin{
            analyser_.device.text, bits.channels,
            limit < static_cast<std::uint64_t>(kSamples) ? std::optional(limit) : std::nullopt};
        SigrokRecorder::record(
            *session, bits, capture.samples, static_cast<int>(limit),
            [&] {
                enter(progress, Kind::DeviceCaptureStalled, acquisitionLimit(limit),
                      stopAtDeadline(session, stopped, phaseStarted_));
            },
            [&] { enter(progress, Kind::DeviceStopStalled, limits_.stop); });
    });
    checkAnswered(!capture.samples.empty(), stopped->load(), analyser_.device.text,
                  acquisitionLimit(wanted));
    checkComplete(capture.samples.size(), wanted, analyser_.device.text);
    return capture;
}

void DeviceCapture::stream(StreamSink& sink, CaptureWorker::Progress& progress) {
    withSession(progress, {sink.rowSamples(), true},
                [&](const auto& session, const auto& bits, auto limit) {
                    if (limit == 0) {
                        streamContinuously(session, bits, sink, progress);
                    } else {
                        followByCaptures(session, bits, limit, sink, progress);
                    }
                });
}

// The acquisition never ends of itself, so its deadline moves on with the
// data: a device that stops sending is stopped at the deadline.
void DeviceCapture::streamContinuously(const std::shared_ptr<sigrok::Session>& session,
                                       const SigrokRecorder::ChannelBits& bits, StreamSink& sink,
                                       CaptureWorker::Progress& progress) const {
    using Clock = std::chrono::steady_clock;
    const auto stopped = std::make_shared<std::atomic<bool>>(false);
    const auto silence = [&, session] {
        enter(progress, Kind::DeviceCaptureStalled, limits_.acquisitionMargin,
              stopAtDeadline(session, stopped, phaseStarted_));
    };
    bool heard = false;
    Clock::time_point renewed = Clock::now();
    SigrokRecorder::stream(
        *session, bits, sink, 0, silence,
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
}

// Each capture is a run of the same session on the device kept open:
// finding and opening it anew would lengthen every gap by a scan and, for
// some boards, a firmware upload. A capture's samples are taken to end as
// long after its start as they last at the rate, since a board may send its
// memory well after it filled it; the time from there to the next start is
// lost, at least one sample, so that no two captures are spliced.
void DeviceCapture::followByCaptures(const std::shared_ptr<sigrok::Session>& session,
                                     const SigrokRecorder::ChannelBits& bits, std::uint64_t limit,
                                     StreamSink& sink, CaptureWorker::Progress& progress) const {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastEnd;
    while (!sink.stopping()) {
        enter(progress, Kind::DeviceStartStalled, limits_.start);
        const auto stopped = std::make_shared<std::atomic<bool>>(false);
        Clock::time_point start{};
        const std::uint64_t taken = SigrokRecorder::stream(
            *session, bits, sink, limit,
            [&] {
                start = Clock::now();
                if (lastEnd) {
                    sink.lose(std::max<std::uint64_t>(
                        1, samplesIn(start - *lastEnd, analyser_.sampleRate)));
                }
                enter(progress, Kind::DeviceCaptureStalled, acquisitionLimit(limit),
                      stopAtDeadline(session, stopped, phaseStarted_));
            },
            [] {}, [&] { enter(progress, Kind::DeviceStopStalled, limits_.stop); });
        if (sink.stopping()) {
            return;
        }
        if (taken < limit) {
            checkAnswered(taken > 0, stopped->load(), analyser_.device.text,
                          acquisitionLimit(limit));
            throw failureFromLog(analyser_.device.text, Kind::DeviceLost);
        }
        lastEnd = start + durationOf(taken, analyser_.sampleRate);
    }
}
