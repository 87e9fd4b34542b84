#include "session_archive.h"

#include "capture_options.h"
#include "instrument_constants.h"
#include "logic_entries.h"
#include "operator_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>
#include <zip.h>

namespace SessionArchive {

namespace {

using Kind = OperatorError::Kind;

// A file's metadata are a few hundred bytes; more is no session of ours.
constexpr zip_uint64_t kMetadataLimit = 1 << 20;
// libsigrok's channel bitmaps and unit sizes end at 64 channels.
constexpr int kChannelLimit = 64;
constexpr int kUnitSizeLimit = 8;
constexpr std::size_t kCaptureFileNameLimit = 100;

struct KeyFileFree {
    void operator()(GKeyFile* keys) const { g_key_file_free(keys); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

// A whole number, 0 or more, as GLib reads the metadata's numbers; -1 for
// anything else.
long long number(const std::string& text) {
    gchar* end = nullptr;
    errno = 0;
    const gint64 value = g_ascii_strtoll(text.c_str(), &end, 10);
    while (g_ascii_isspace(*end)) {
        ++end;
    }
    return errno != 0 || end == text.c_str() || *end != '\0' || value < 0 ? -1 : value;
}

OperatorError archiveRefusal(const std::string& path, int error) {
    return {Kind::FileNotSession, path,
            error == ZIP_ER_NOZIP ? "non è un archivio zip, o è troncato"
                                  : "l'archivio zip è incoerente o troncato"};
}

class Checker {
public:
    explicit Checker(std::string path) : path_(std::move(path)) {}
    ~Checker() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
    }
    Checker(const Checker&) = delete;
    Checker& operator=(const Checker&) = delete;

    Checked run(int samples) {
        openArchive();
        checkVersion();
        const KeyFile keys = metadata();
        gchar** names = g_key_file_get_groups(keys.get(), nullptr);
        std::vector<std::string> devices;
        for (gchar** name = names; *name != nullptr; ++name) {
            if (std::string_view(*name).starts_with("device ")) {
                devices.emplace_back(*name);
            }
        }
        g_strfreev(names);
        // Before any data is read: each device would be checked, and loaded.
        if (devices.size() > 1) {
            refuse(Kind::FileNotSession, "non contiene un solo dispositivo");
        }
        Contents contents;
        if (!devices.empty()) {
            checkDevice(keys.get(), devices.front().c_str(), samples, contents);
        }
        return {release(), std::move(contents)};
    }

private:
    [[noreturn]] void refuse(Kind kind, std::string detail = {}) const {
        throw OperatorError(kind, path_, std::move(detail));
    }

    void openArchive() {
        // The system's own reason when the file cannot be read at all; a pipe
        // or a device would stall the reader.
        descriptor_ = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (descriptor_ < 0) {
            refuse(Kind::FileUnreadable, std::strerror(errno));
        }
        struct stat info {};
        const bool read = ::fstat(descriptor_, &info) == 0;
        if (!read || !S_ISREG(info.st_mode)) {
            refuse(Kind::FileUnreadable,
                   read && S_ISDIR(info.st_mode) ? "è una cartella" : "non è un file regolare");
        }
        int error = 0;
        const int own = ::fcntl(descriptor_, F_DUPFD_CLOEXEC, 0);
        archive_.reset(own < 0 ? nullptr : zip_fdopen(own, ZIP_CHECKCONS, &error));
        if (!archive_) {
            if (own >= 0) {
                ::close(own);
            }
            throw archiveRefusal(path_, error);
        }
    }

    // The file, handed on held open once checked.
    int release() { return std::exchange(descriptor_, -1); }

    // A value from the metadata, as libsigrok reads it, or nothing where the
    // key is missing. A value GLib cannot read makes no session.
    std::optional<std::string> valueOf(GKeyFile* keys, const char* group, const char* key) const {
        GError* error = nullptr;
        // GLib may give a value and an error together: the error decides.
        gchar* value = g_key_file_get_string(keys, group, key, &error);
        if (error != nullptr) {
            g_free(value);
            const bool missing =
                g_error_matches(error, G_KEY_FILE_ERROR, G_KEY_FILE_ERROR_KEY_NOT_FOUND);
            g_error_free(error);
            if (!missing) {
                refuse(Kind::FileNotSession, std::string("metadati non validi (\"") + key + "\")");
            }
            return std::nullopt;
        }
        std::string text(value);
        g_free(value);
        return text;
    }

    // The whole entry, its checksum verified on the way, or nothing when the
    // archive has no entry of that name. Entries above limit are refused.
    std::optional<std::vector<char>> read(const std::string& name, zip_uint64_t limit) {
        zip_stat_t stat;
        if (zip_stat(archive_.get(), name.c_str(), 0, &stat) != 0) {
            return std::nullopt;
        }
        if ((stat.valid & ZIP_STAT_SIZE) == 0 || stat.size > limit) {
            refuse(Kind::FileNotSession, "la voce \"" + name + "\" è troppo grande");
        }
        const ZipHandles::Entry entry(zip_fopen_index(archive_.get(), stat.index, 0));
        if (!entry) {
            throw ZipHandles::entryRefusal(archive_.get(), path_, name);
        }
        std::vector<char> bytes(stat.size + 1);
        if (zip_fread(entry.get(), bytes.data(), bytes.size()) !=
            static_cast<zip_int64_t>(stat.size)) {
            refuse(Kind::FileCorrupt, name);
        }
        bytes.resize(stat.size);
        return bytes;
    }

    void checkVersion() {
        const auto version = read("version", 16);
        const std::string text = version ? std::string(version->begin(), version->end()) : "";
        const long long release = number(text);
        if (!version || release < 1 || release > 2) {
            refuse(Kind::FileNotSession,
                   version ? "versione del formato non supportata" : "manca la voce \"version\"");
        }
    }

    KeyFile metadata() {
        const auto bytes = read("metadata", kMetadataLimit);
        if (!bytes) {
            refuse(Kind::FileNotSession, "mancano i metadati");
        }
        KeyFile keys(g_key_file_new());
        GError* error = nullptr;
        if (!g_key_file_load_from_data(keys.get(), bytes->data(), bytes->size(), G_KEY_FILE_NONE,
                                       &error)) {
            const std::string reason = error->message;
            g_error_free(error);
            refuse(Kind::FileNotSession, "metadati illeggibili (" + reason + ")");
        }
        return keys;
    }

    // What the device's section holds, up to samples of its logic data.
    void checkDevice(GKeyFile* keys, const char* group, int samples, Contents& contents) {
        const long long logicChannels = channelCount(keys, group, "total probes");
        const long long analogChannels = channelCount(keys, group, "total analog");
        const auto captureFile = valueOf(keys, group, "capturefile");
        checkKeyOrder(keys, group, captureFile || analogChannels > 0);
        contents.sampleRate = sampleRate(keys, group);
        if (!captureFile) {
            return; // analog data only
        }
        // libsigrok cuts the names of numbered chunks at 126 characters, and
        // would read other data than was checked.
        if (captureFile->size() > kCaptureFileNameLimit) {
            refuse(Kind::FileNotSession, "metadati non validi (\"capturefile\")");
        }
        const auto unit = valueOf(keys, group, "unitsize");
        const long long unitSize = unit ? number(*unit) : -1;
        // libsigrok's own writer counts every channel of the analyser but
        // keeps only the bytes of those it captured: whether the receivers'
        // channels lie within the unit is for the load to say.
        if (unitSize < 1 || unitSize > kUnitSizeLimit) {
            refuse(Kind::FileUnitSizeInvalid, unit.value_or(""));
        }
        contents.channels = declaredChannels(keys, group, logicChannels, contents.bits);
        const zip_uint64_t bytes =
            checkData(*captureFile, static_cast<zip_uint64_t>(samples * unitSize));
        contents.captureFile = *captureFile;
        contents.logic = true;
        contents.unitSize = static_cast<int>(unitSize);
        contents.samples = static_cast<int>(std::min<zip_uint64_t>(
            bytes / static_cast<zip_uint64_t>(unitSize), static_cast<zip_uint64_t>(samples)));
    }

    std::uint64_t sampleRate(GKeyFile* keys, const char* group) const {
        const auto text = valueOf(keys, group, "samplerate");
        const auto rate = text ? CaptureOptions::sampleRateIn(*text) : 0;
        if (!rate) {
            refuse(Kind::FileSampleRateInvalid, *text);
        }
        if (*rate == 0) {
            refuse(Kind::FileSampleRateMissing);
        }
        return *rate;
    }

    // libsigrok's loader takes the keys in their order and gives up at the
    // first it cannot take, leaking what it has built: such a file goes no
    // further than here. Every key but the data's name needs a device, made
    // for data, and a channel's name needs the count that made its channel.
    void checkKeyOrder(GKeyFile* keys, const char* group, bool hasDevice) const {
        gchar** names = g_key_file_get_keys(keys, group, nullptr, nullptr);
        std::vector<std::string> order(names, names + g_strv_length(names));
        g_strfreev(names);
        long long logic = 0;
        std::vector<long long> channels; // indices, in the loader's order
        for (const std::string& key : order) {
            const auto value = valueOf(keys, group, key.c_str());
            const bool named = key.starts_with("probe") || key.starts_with("analog");
            const bool taken = named || key == "samplerate" || key == "unitsize" ||
                               key == "total probes" || key == "total analog";
            if (taken && !hasDevice) {
                refuse(Kind::FileNotSession, "metadati non validi (\"" + key + "\" senza dati)");
            }
            const long long count = value ? number(*value) : 0;
            if (key == "total probes") {
                logic = count;
                for (long long i = 0; i < count; ++i) {
                    channels.push_back(i);
                }
            } else if (key == "total analog") {
                for (long long i = logic; i < logic + count; ++i) {
                    channels.push_back(i);
                }
            } else if (named) {
                const bool probe = key.starts_with("probe");
                const long long n = number(key.substr(probe ? 5 : 6));
                const bool exists =
                    probe ? n >= 1 && n <= static_cast<long long>(channels.size())
                          : std::find(channels.begin(), channels.end(), n - 1) != channels.end();
                if (!value || n < 1 || !exists) {
                    refuse(Kind::FileNotSession, "metadati non validi (\"" + key + "\")");
                }
            }
        }
    }

    // The names of probe1.. up to the count, where the file gives them, each
    // once; probeN's bit, N-1, of each into bits, as libsigrok numbers them.
    std::vector<std::string> declaredChannels(GKeyFile* keys, const char* group, long long count,
                                              std::vector<unsigned int>& bits) const {
        std::vector<std::string> names;
        for (long long n = 1; n <= count; ++n) {
            if (const auto name = valueOf(keys, group, ("probe" + std::to_string(n)).c_str())) {
                // Two channels of one name would be one receiver read twice.
                if (std::find(names.begin(), names.end(), *name) != names.end()) {
                    refuse(Kind::FileChannelRepeated, *name);
                }
                names.push_back(*name);
                bits.push_back(static_cast<unsigned int>(n - 1));
            }
        }
        return names;
    }

    // libsigrok makes each channel an object, one by one: a count must be
    // small, and a count that is no number is no session.
    long long channelCount(GKeyFile* keys, const char* group, const char* key) const {
        const auto text = valueOf(keys, group, key);
        const long long count = text ? number(*text) : 0;
        if (count < 0) {
            refuse(Kind::FileNotSession, std::string("valore non valido per \"") + key + "\"");
        }
        if (count > kChannelLimit) {
            refuse(Kind::FileTooManyChannels, *text);
        }
        return count;
    }

    // Unpacks the data that the first samples come from, and returns the
    // bytes there are, up to the bytes wanted. An entry read to its end has
    // its checksum checked there; one cut short has only the inflater's checks.
    zip_uint64_t checkData(const std::string& captureFile, zip_uint64_t wanted) {
        LogicEntries data(archive_.get(), captureFile, path_);
        std::vector<std::uint8_t> buffer(1 << 16);
        zip_uint64_t covered = 0;
        while (covered < wanted) {
            const std::size_t got = data.read(buffer);
            if (got == 0) {
                break;
            }
            covered += got;
        }
        return std::min(covered, wanted);
    }

    std::string path_;
    int descriptor_ = -1;
    ZipHandles::Archive archive_;
};

} // namespace

Checked::~Checked() {
    if (descriptor_ >= 0) {
        ::close(descriptor_);
    }
}

Checked::Checked(Checked&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1)), contents_(std::move(other.contents_)) {}

std::string Checked::loadPath() const {
    return "/proc/self/fd/" + std::to_string(descriptor_);
}

Checked check(const std::string& path, int samples) {
    return Checker(path).run(samples);
}

Opened open(const std::string& path, const CaptureOptions::Channels& wanted, int samples) {
    Checked checked = check(path, samples);
    const Contents& contents = checked.contents();
    if (!contents.logic) {
        throw OperatorError(Kind::FileNoLogicData, path);
    }
    if (checked.samples() < kMinimumSamples) {
        throw OperatorError(Kind::FileTooShort, path, std::to_string(checked.samples()));
    }
    // Only the channels the file declares: libsigrok makes up names for the
    // rest of the unit's bits.
    const auto channels = CaptureOptions::channelsAmong(wanted, contents.channels);
    const auto bitOf = [&](const std::string& name) {
        const auto found = std::find(contents.channels.begin(), contents.channels.end(), name);
        if (found == contents.channels.end()) {
            throw OperatorError(Kind::FileChannelMissing, path, name, contents.channels);
        }
        return contents.bits[static_cast<std::size_t>(found - contents.channels.begin())];
    };
    const Receivers receivers{bitOf(channels.right), bitOf(channels.left), channels};
    if (std::max(receivers.right, receivers.left) / 8 >=
        static_cast<unsigned int>(contents.unitSize)) {
        throw OperatorError(Kind::FileUnitSizeInvalid, path, std::to_string(contents.unitSize));
    }
    return {std::move(checked), receivers};
}

ZipHandles::Archive reopen(const Checked& checked, const std::string& path) {
    int error = 0;
    ZipHandles::Archive archive(zip_open(checked.loadPath().c_str(), ZIP_RDONLY, &error));
    if (!archive) {
        throw archiveRefusal(path, error);
    }
    return archive;
}

} // namespace SessionArchive
