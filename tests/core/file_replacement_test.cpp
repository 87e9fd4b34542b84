#include "file_replacement.h"
#include "full_disk.h"
#include "operator_error.h"

#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

namespace fs = std::filesystem;
using Kind = OperatorError::Kind;

// A folder of each test's own: ctest runs them side by side.
fs::path freshFolder() {
    const fs::path folder = fs::path(testing::TempDir()) / "file_replacement_test" /
                            testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

std::string contentsOf(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void writeText(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct stat infoOf(const fs::path& path) {
    struct stat info {};
    ::lstat(path.c_str(), &info);
    return info;
}

struct Target {
    const char* name;
    std::function<bool(const fs::path& folder)> make; // makes folder/"t"; false: cannot here
    std::optional<Kind> refusal;
    std::string writtenAt;          // where the bytes land, relative to the folder
    std::vector<std::string> names; // what the folder holds afterwards
    bool fullDisk = false;
};

// As long as a name may be: no room for a suffix to it.
const std::string kLongest(NAME_MAX, 'n');

const Target kTargets[] = {
    {"new file", [](const fs::path&) { return true; }, {}, "t", {"t"}},
    {"link to a file",
     [](const fs::path& f) {
         writeText(f / "real", "old");
         fs::create_symlink("real", f / "t");
         return true;
     },
     {},
     "real",
     {"real", "t"}},
    {"link to nothing yet",
     [](const fs::path& f) {
         fs::create_symlink("real", f / "t");
         return true;
     },
     {},
     "real",
     {"real", "t"}},
    {"fifo",
     [](const fs::path& f) { return ::mkfifo((f / "t").c_str(), 0600) == 0; },
     Kind::FileTargetNotRegular,
     "",
     {"t"}},
    {"folder",
     [](const fs::path& f) { return fs::create_directory(f / "t"); },
     Kind::FileTargetNotRegular,
     "",
     {"t"}},
    // Root may make one: it must survive as the node it was.
    {"device node",
     [](const fs::path& f) {
         return ::mknod((f / "t").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
     },
     Kind::FileTargetNotRegular,
     "",
     {"t"}},
    {"file on a full disk",
     [](const fs::path& f) {
         writeText(f / "t", "old");
         return true;
     },
     Kind::FileNotWritten,
     "",
     {"t"},
     true},
    {"link to the longest name",
     [](const fs::path& f) {
         fs::create_symlink(kLongest, f / "t");
         return true;
     },
     {},
     kLongest,
     {kLongest, "t"}},
};

TEST(FileReplacement, WritesFilesAndLinkTargetsAndRefusesEverythingElse) {
    for (const Target& target : kTargets) {
        const fs::path folder = freshFolder();
        if (!target.make(folder)) {
            continue;
        }
        const struct stat before = infoOf(folder / "t");
        try {
            std::optional<FullDisk> full;
            if (target.fullDisk) {
                full.emplace();
            }
            FileReplacement::write((folder / "t").string(), std::string(100, 'x'));
            EXPECT_FALSE(target.refusal) << target.name;
            EXPECT_EQ(contentsOf(folder / target.writtenAt), std::string(100, 'x'));
        } catch (const OperatorError& error) {
            ASSERT_TRUE(target.refusal) << target.name << ": " << error.what();
            EXPECT_EQ(error.kind(), *target.refusal) << target.name;
            EXPECT_EQ(error.subject(), (folder / "t").string());
            const struct stat after = infoOf(folder / "t");
            EXPECT_EQ(after.st_ino, before.st_ino) << target.name << " was replaced";
            EXPECT_EQ(after.st_mode, before.st_mode) << target.name;
        }
        EXPECT_EQ(namesIn(folder), target.names) << target.name << ": nothing left behind";
    }
}

// The permissions stay, a setuid or setgid bit does not; the file is a new
// one, and another hard link keeps the old.
TEST(FileReplacement, AReplacedFileKeepsItsModeAndOwner) {
    for (const mode_t mode : {0640U, 02640U, 04750U}) {
        const fs::path file = freshFolder() / "t";
        writeText(file, "old");
        fs::create_hard_link(file, file.string() + "2");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        const struct stat before = infoOf(file);
        FileReplacement::write(file.string(), "new");
        const struct stat after = infoOf(file);
        EXPECT_EQ(after.st_mode & 07777, mode & 0777);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
        EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced";
        EXPECT_EQ(contentsOf(file.string() + "2"), "old");
    }
}

} // namespace
