#include "session_file.h"

#include "file_replacement.h"
#include "operator_error.h"
#include "session_archive.h"
#include "sigrok_context.h"
#include "sigrok_recorder.h"

#include <exception>
#include <glib.h>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>
#include <zip.h>

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

// Plays the file's data into a capture.
Capture load(const std::string& path, const CaptureOptions::Channels& wanted) {
    // Reading stops at the end of the file's logic data: what may follow is
    // of no use, and libsigrok 0.5.2 leaks on its way to analog data.
    const SessionArchive::Opened opened = SessionArchive::open(path, wanted, kSamples);
    const SessionArchive::Checked& checked = opened.checked;
    SigrokContext::log().clear();
    std::shared_ptr<sigrok::Session> session;
    try {
        session = SigrokContext::get()->load_session(checked.loadPath());
    } catch (const sigrok::Error&) {
        throw OperatorError(Kind::FileUnexpected, path, SigrokContext::log().text());
    }
    const ClosedAtEnd loaded(session->devices());
    if (loaded.devices().size() != 1) {
        throw OperatorError(Kind::FileNotSession, path, "non contiene un solo dispositivo");
    }
    const auto& [right, left, channels] = opened.receivers;
    const SigrokRecorder::ChannelBits bits{right, left, channels};
    Capture capture{{}, checked.sampleRate(), FileOrigin{path, channels}};
    // The checked data may still fail libsigrok's reader part way.
    SigrokRecorder::record(
        *session, bits, capture.samples, checked.samples(), [] {}, [] {});
    if (capture.samples.size() < static_cast<std::size_t>(kMinimumSamples)) {
        throw OperatorError(Kind::FileTooShort, path, std::to_string(capture.samples.size()));
    }
    return capture;
}

struct Entry {
    const char* name;
    std::string bytes;
};

// A zip archive of the entries, compressed as libzip does by default.
std::string zipped(const std::vector<Entry>& entries) {
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t* buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    zip_t* archive = buffer ? zip_open_from_source(buffer, ZIP_TRUNCATE, &error) : nullptr;
    if (archive == nullptr) {
        zip_source_free(buffer);
        zip_error_fini(&error);
        throw std::bad_alloc();
    }
    // The buffer holds the archive once it is closed.
    zip_source_keep(buffer);
    bool added = true;
    for (const Entry& entry : entries) {
        zip_source_t* data = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        if (data == nullptr || zip_file_add(archive, entry.name, data, 0) < 0) {
            zip_source_free(data);
            added = false;
        }
    }
    if (!added || zip_close(archive) != 0) {
        zip_discard(archive);
        zip_source_free(buffer);
        throw std::bad_alloc();
    }
    std::string bytes;
    zip_stat_t stat;
    if (zip_source_stat(buffer, &stat) == 0 && zip_source_open(buffer) == 0) {
        bytes.resize(stat.size);
        const zip_int64_t read = zip_source_read(buffer, bytes.data(), bytes.size());
        zip_source_close(buffer);
        bytes.resize(read < 0 ? 0 : static_cast<std::size_t>(read));
    }
    zip_source_free(buffer);
    if (bytes.size() != stat.size) {
        throw std::bad_alloc();
    }
    return bytes;
}

struct KeyFileFree {
    void operator()(GKeyFile* keys) const { g_key_file_free(keys); }
};

// The session as libsigrok's own writer lays it out, built in memory so that
// the file is written in one step.
std::string sessionBytes(std::span<const std::uint8_t> samples, std::uint64_t sampleRate) {
    const std::unique_ptr<GKeyFile, KeyFileFree> keys(g_key_file_new());
    g_key_file_set_string(keys.get(), "global", "sigrok version", sr_package_version_string_get());
    const std::pair<const char*, std::string> device[] = {
        {"capturefile", "logic-1"},
        {"total probes", "2"},
        {"samplerate", CaptureOptions::formatSampleRate(sampleRate)},
        {"total analog", "0"},
        {"probe1", "D0"},
        {"probe2", "D1"},
        {"unitsize", "1"}};
    for (const auto& [key, value] : device) {
        g_key_file_set_string(keys.get(), "device 1", key, value.c_str());
    }
    gsize size = 0;
    gchar* text = g_key_file_to_data(keys.get(), &size, nullptr);
    const std::string metadata(text, size);
    g_free(text);
    return zipped({{"version", "2"},
                   {"metadata", metadata},
                   {"logic-1-1", std::string(samples.begin(), samples.end())}});
}

} // namespace

SessionFile::SessionFile(std::string path, CaptureOptions::Channels channels)
    : path_(std::move(path)), channels_(std::move(channels)) {}

Capture SessionFile::capture(CaptureWorker::Progress& progress) {
    progress.enter(Kind::FileReadStalled, kReadLimit);
    try {
        return load(path_, channels_);
    } catch (const OperatorError&) {
        throw;
    } catch (const std::exception&) {
        throw OperatorError(Kind::FileUnexpected, path_, SigrokContext::log().text());
    }
}

void SessionFile::write(const std::string& path, std::span<const std::uint8_t> samples,
                        std::uint64_t sampleRate) {
    FileReplacement::write(path, sessionBytes(samples, sampleRate));
}
