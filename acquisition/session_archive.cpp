#include "session_archive.h"

#include "operator_error.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <libsigrok/libsigrok.h>
#include <memory>
#include <optional>
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

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using Archive = std::unique_ptr<zip_t, ArchiveCloser>;

struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using Entry = std::unique_ptr<zip_file_t, EntryCloser>;

struct KeyFileFree {
    void operator()(GKeyFile* keys) const { g_key_file_free(keys); }
};
using KeyFile = std::unique_ptr<GKeyFile, KeyFileFree>;

// A value from the metadata, as libsigrok reads it, or nothing where the key
// is missing or its value cannot be read.
std::optional<std::string> valueOf(GKeyFile* keys, const char* group, const char* key) {
    gchar* value = g_key_file_get_string(keys, group, key, nullptr);
    if (value == nullptr) {
        return std::nullopt;
    }
    std::string text(value);
    g_free(value);
    return text;
}

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

class Checker {
public:
    explicit Checker(std::string path) : path_(std::move(path)) {}

    int run(int samples) {
        openArchive();
        checkVersion();
        const KeyFile keys = metadata();
        gchar** names = g_key_file_get_groups(keys.get(), nullptr);
        const std::vector<std::string> groups(names, names + g_strv_length(names));
        g_strfreev(names);
        int held = 0;
        for (const std::string& group : groups) {
            if (group.starts_with("device ")) {
                held = std::max(held, checkDevice(keys.get(), group.c_str(), samples));
            }
        }
        return held;
    }

private:
    [[noreturn]] void refuse(Kind kind, std::string detail = {}) const {
        throw OperatorError(kind, path_, std::move(detail));
    }

    void openArchive() {
        // The system's own reason when the file cannot be read at all; a pipe
        // or a device would stall the reader.
        const int descriptor = ::open(path_.c_str(), O_RDONLY | O_NONBLOCK);
        if (descriptor < 0) {
            refuse(Kind::FileUnreadable, std::strerror(errno));
        }
        struct stat info {};
        const bool read = ::fstat(descriptor, &info) == 0;
        ::close(descriptor);
        if (!read || !S_ISREG(info.st_mode)) {
            refuse(Kind::FileUnreadable,
                   read && S_ISDIR(info.st_mode) ? "è una cartella" : "non è un file regolare");
        }
        int error = 0;
        archive_.reset(zip_open(path_.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error));
        if (!archive_) {
            refuse(Kind::FileNotSession, error == ZIP_ER_NOZIP
                                             ? "non è un archivio zip, o è troncato"
                                             : "l'archivio zip è incoerente o troncato");
        }
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
        const Entry entry(zip_fopen_index(archive_.get(), stat.index, 0));
        std::vector<char> bytes(stat.size + 1);
        if (!entry || zip_fread(entry.get(), bytes.data(), bytes.size()) !=
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

    // Returns the samples of logic data the device's section names, up to samples.
    int checkDevice(GKeyFile* keys, const char* group, int samples) {
        const long long logicChannels = channelCount(keys, group, "total probes");
        const long long analogChannels = channelCount(keys, group, "total analog");
        const auto captureFile = valueOf(keys, group, "capturefile");
        checkKeyOrder(keys, group, captureFile || analogChannels > 0);
        const auto rate = valueOf(keys, group, "samplerate");
        std::uint64_t hertz = 0;
        if (!rate || sr_parse_sizestring(rate->c_str(), &hertz) != SR_OK || hertz == 0) {
            refuse(Kind::FileSampleRateMissing);
        }
        if (!captureFile) {
            return 0; // analog data only
        }
        // libsigrok cuts the names of numbered chunks at 126 characters, and
        // would read other data than was checked.
        if (captureFile->size() > kCaptureFileNameLimit) {
            refuse(Kind::FileNotSession, "metadati non validi (\"capturefile\")");
        }
        const auto unit = valueOf(keys, group, "unitsize");
        const long long unitSize = unit ? number(*unit) : -1;
        if (unitSize < 1 || unitSize > kUnitSizeLimit || unitSize * 8 < logicChannels) {
            refuse(Kind::FileUnitSizeInvalid, unit.value_or(""));
        }
        const zip_uint64_t bytes =
            checkData(*captureFile, static_cast<zip_uint64_t>(samples * unitSize));
        return static_cast<int>(std::min<zip_uint64_t>(bytes / static_cast<zip_uint64_t>(unitSize),
                                                       static_cast<zip_uint64_t>(samples)));
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

    // The data that the first samples come from: one entry, or chunks
    // numbered from 1, each of which must match its checksum. Returns the
    // bytes there are, or at least the bytes wanted.
    zip_uint64_t checkData(const std::string& captureFile, zip_uint64_t wanted) {
        if (const auto whole = verify(captureFile)) {
            return *whole;
        }
        zip_uint64_t covered = 0;
        for (int chunk = 1; covered < wanted; ++chunk) {
            const auto size = verify(captureFile + "-" + std::to_string(chunk));
            if (!size) {
                break;
            }
            covered += *size;
        }
        return covered;
    }

    // Reads an entry through, which checks its checksum at the end, and
    // returns its size; nothing when the archive has no such entry.
    std::optional<zip_uint64_t> verify(const std::string& name) {
        const Entry entry(zip_fopen(archive_.get(), name.c_str(), 0));
        if (!entry) {
            if (zip_error_code_zip(zip_get_error(archive_.get())) == ZIP_ER_NOENT) {
                return std::nullopt;
            }
            refuse(Kind::FileCorrupt, name);
        }
        std::vector<char> buffer(1 << 16);
        zip_uint64_t size = 0;
        for (zip_int64_t got; (got = zip_fread(entry.get(), buffer.data(), buffer.size())) != 0;) {
            if (got < 0) {
                refuse(Kind::FileCorrupt, name);
            }
            size += static_cast<zip_uint64_t>(got);
        }
        return size;
    }

    std::string path_;
    Archive archive_;
};

} // namespace

int check(const std::string& path, int samples) {
    return Checker(path).run(samples);
}

} // namespace SessionArchive
