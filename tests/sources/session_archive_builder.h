#pragma once

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>
#include <zip.h>

// Session files made entry by entry, so that any part of one can be broken.
namespace SessionArchiveBuilder {

// The device section's keys, as libsigrok writes them for two channels.
using Keys = std::vector<std::pair<std::string, std::string>>;

inline Keys twoChannels() {
    return {{"capturefile", "logic-1"}, {"total probes", "2"}, {"samplerate", "50 kHz"},
            {"total analog", "0"},      {"probe1", "D0"},      {"probe2", "D1"},
            {"unitsize", "1"}};
}

// The keys with key set to value in its place, or added last, or without it
// where there is no value.
inline Keys edited(Keys keys, const std::string& key, std::optional<std::string> value) {
    const auto found = std::find_if(keys.begin(), keys.end(),
                                    [&](const auto& entry) { return entry.first == key; });
    if (!value) {
        if (found != keys.end()) {
            keys.erase(found);
        }
    } else if (found != keys.end()) {
        found->second = *value;
    } else {
        keys.emplace_back(key, *value);
    }
    return keys;
}

inline std::string metadata(const Keys& keys) {
    std::string text = "[global]\nsigrok version=0.5.2\n\n[device 1]\n";
    for (const auto& [key, value] : keys) {
        text += key + "=" + value + "\n";
    }
    return text;
}

struct Entry {
    std::string name;
    std::string data;
};

// Stored entries keep their bytes as they are in the file, where a test can
// find and change them.
inline void write(const std::string& path, const std::vector<Entry>& entries,
                  bool compressed = true) {
    int error = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (archive == nullptr) {
        throw std::runtime_error("cannot create " + path);
    }
    for (const Entry& entry : entries) {
        zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
        const zip_int64_t index =
            zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(source);
        } else if (!compressed) {
            zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0);
        }
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot write " + path);
    }
}

// A session with the given device keys and logic data, one chunk.
inline void writeSession(const std::string& path, const Keys& keys, const std::string& data,
                         bool compressed = true) {
    write(path, {{"version", "2"}, {"metadata", metadata(keys)}, {"logic-1-1", data}}, compressed);
}

inline std::string bytesOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

} // namespace SessionArchiveBuilder
