#include "file_replacement.h"

#include "operator_error.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace FileReplacement {

namespace {

using Kind = OperatorError::Kind;

// The system's limit on links followed in one path.
constexpr int kLinkLimit = 40;
// A temporary's name, with a number between: short, so that it fits wherever
// the target's name does, and plainly the program's, where one is ever left
// behind.
constexpr const char* kTemporaryPrefix = "correlatore-";
constexpr const char* kTemporarySuffix = ".tmp";

class Replacement {
public:
    explicit Replacement(const std::string& path) : path_(path) {}
    Replacement(const Replacement&) = delete;
    Replacement& operator=(const Replacement&) = delete;
    ~Replacement() {
        if (descriptor_ >= 0) {
            ::close(descriptor_);
        }
        if (!named_.empty()) {
            ::unlink(named_.c_str());
        }
    }

    void run(std::string_view bytes) {
        target_ = linkTarget();
        struct stat info {};
        if (::stat(target_.c_str(), &info) == 0) {
            if (!S_ISREG(info.st_mode)) {
                throw OperatorError(Kind::FileTargetNotRegular, path_);
            }
            existing_ = info;
        }
        create();
        writeAll(bytes);
        keepOwnerAndMode();
        if (::fsync(descriptor_) != 0) {
            fail();
        }
        // Named only for as long as the rename takes: a kill in between is
        // the one way a temporary file can be left behind.
        if (named_.empty()) {
            nameUnnamed();
        }
        if (std::rename(named_.c_str(), target_.c_str()) != 0) {
            fail();
        }
        named_.clear();
        // Its data are on the disk already, synced above.
        ::close(std::exchange(descriptor_, -1));
    }

private:
    [[noreturn]] void fail() const {
        throw OperatorError(Kind::FileNotWritten, path_, std::strerror(errno));
    }

    // The file a chain of symbolic links ends in, whether it exists or not.
    std::string linkTarget() const {
        std::string current = path_;
        for (int followed = 0; followed <= kLinkLimit; ++followed) {
            struct stat info {};
            if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
                return current;
            }
            char link[PATH_MAX];
            const ssize_t size = ::readlink(current.c_str(), link, sizeof link);
            if (size < 0 || static_cast<std::size_t>(size) == sizeof link) {
                fail();
            }
            const std::string next(link, static_cast<std::size_t>(size));
            current = next.starts_with('/') ? next : folderOf(current) + "/" + next;
        }
        errno = ELOOP;
        fail();
    }

    static std::string folderOf(const std::string& path) {
        const std::size_t slash = path.rfind('/');
        return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    }

    // An unnamed file in the target's folder where the file system has them,
    // otherwise a named one that the destructor removes on failure.
    void create() {
        descriptor_ = ::open(folderOf(target_).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
        if (descriptor_ >= 0) {
            return;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            fail();
        }
        newName([this](const char* name) {
            descriptor_ = ::open(name, O_CREAT | O_EXCL | O_WRONLY | O_CLOEXEC, 0666);
            return descriptor_ >= 0;
        });
    }

    void writeAll(std::string_view bytes) const {
        while (!bytes.empty()) {
            const ssize_t written = ::write(descriptor_, bytes.data(), bytes.size());
            if (written < 0 && errno != EINTR) {
                fail();
            }
            bytes.remove_prefix(static_cast<std::size_t>(std::max<ssize_t>(written, 0)));
        }
    }

    void keepOwnerAndMode() const {
        if (!existing_) {
            return;
        }
        // The permissions only: a setuid or setgid bit is no property of
        // the data written, and chown would drop it in part anyway.
        if (::fchmod(descriptor_, existing_->st_mode & 0777) != 0) {
            fail();
        }
        if (::fchown(descriptor_, existing_->st_uid, existing_->st_gid) != 0 && errno != EPERM) {
            fail();
        }
    }

    // Gives the unnamed file a name only now, for as long as the rename takes.
    void nameUnnamed() {
        const std::string handle = "/proc/self/fd/" + std::to_string(descriptor_);
        newName([&](const char* name) {
            return ::linkat(AT_FDCWD, handle.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW) == 0;
        });
    }

    // Tries make on fresh names in the target's folder until one is free.
    template <typename Make> void newName(Make make) {
        std::random_device random;
        const std::string stem = folderOf(target_) + "/" + kTemporaryPrefix;
        for (;;) {
            const std::string name = stem + std::to_string(random() % 1'000'000) + kTemporarySuffix;
            if (make(name.c_str())) {
                named_ = name;
                return;
            }
            if (errno != EEXIST) {
                fail();
            }
        }
    }

    const std::string& path_;
    std::string target_;
    std::optional<struct stat> existing_;
    int descriptor_ = -1;
    std::string named_;
};

} // namespace

void write(const std::string& path, std::string_view bytes) {
    Replacement(path).run(bytes);
}

} // namespace FileReplacement
