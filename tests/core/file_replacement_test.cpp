#include "file_replacement.h"
#include "full_disk.h"
#include "operator_error.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using Kind = OperatorError::Kind;

fs::path freshFolder(const std::string& name) {
    const fs::path folder = fs::path(testing::TempDir()) / "file_replacement_test" / name;
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

mode_t modeOf(const fs::path& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

struct Target {
    const char* name;
    std::function<void(const fs::path& folder)> make; // makes folder/"t"
    bool written;
    std::string writtenAt;          // where the bytes land, relative to the folder
    std::vector<std::string> names; // what the folder holds afterwards
};

const Target kTargets[] = {
    {"new file", [](const fs::path&) {}, true, "t", {"t"}},
    {"file", [](const fs::path& f) { writeText(f / "t", "old"); }, true, "t", {"t"}},
    {"link to a file",
     [](const fs::path& f) {
         writeText(f / "real", "old");
         fs::create_symlink("real", f / "t");
     },
     true,
     "real",
     {"real", "t"}},
    {"link to nothing yet",
     [](const fs::path& f) { fs::create_symlink("real", f / "t"); },
     true,
     "real",
     {"real", "t"}},
    {"fifo",
     [](const fs::path& f) { ASSERT_EQ(::mkfifo((f / "t").c_str(), 0600), 0); },
     false,
     "",
     {"t"}},
    {"folder", [](const fs::path& f) { fs::create_directory(f / "t"); }, false, "", {"t"}},
};

TEST(FileReplacement, WritesFilesAndLinkTargetsAndRefusesEverythingElse) {
    for (const Target& target : kTargets) {
        const fs::path folder = freshFolder("targets");
        target.make(folder);
        const auto before = modeOf(folder / "t");
        try {
            FileReplacement::write((folder / "t").string(), "new");
            EXPECT_TRUE(target.written) << target.name;
            EXPECT_EQ(contentsOf(folder / target.writtenAt), "new") << target.name;
        } catch (const OperatorError& error) {
            EXPECT_FALSE(target.written) << target.name << ": " << error.what();
            EXPECT_EQ(error.subject(), (folder / "t").string());
            if (before != 0) {
                EXPECT_EQ(modeOf(folder / "t"), before) << target.name << " was replaced";
            }
        }
        EXPECT_EQ(namesIn(folder), target.names) << target.name;
    }
}

// Root may make one; the node must survive as the node it was.
TEST(FileReplacement, ADeviceNodeIsNeverReplaced) {
    const fs::path node = freshFolder("node") / "null";
    if (::mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0) {
        GTEST_SKIP() << "cannot make a device node here";
    }
    try {
        FileReplacement::write(node.string(), "new");
        ADD_FAILURE() << "wrote over a device node";
    } catch (const OperatorError& error) {
        EXPECT_EQ(error.kind(), Kind::FileTargetNotRegular);
    }
    EXPECT_TRUE(S_ISCHR(modeOf(node)));
}

TEST(FileReplacement, AReplacedFileKeepsItsModeAndOwner) {
    const fs::path file = freshFolder("mode") / "t";
    writeText(file, "old");
    ASSERT_EQ(::chmod(file.c_str(), 0640), 0);
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);
    FileReplacement::write(file.string(), "new");
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode & 07777, 0640U);
    EXPECT_EQ(after.st_uid, before.st_uid);
    EXPECT_EQ(after.st_gid, before.st_gid);
    EXPECT_NE(after.st_ino, before.st_ino) << "written in place, not replaced";
}

// A full disk, as a file-size limit makes one: the old file stays whole.
TEST(FileReplacement, AFailedWriteLeavesTheOldFileAndNothingElse) {
    const fs::path folder = freshFolder("full");
    writeText(folder / "keep.csv", "old contents");
    try {
        const FullDisk full(4);
        FileReplacement::write((folder / "keep.csv").string(), std::string(100, 'x'));
        ADD_FAILURE() << "a failed write was taken for a success";
    } catch (const OperatorError& error) {
        EXPECT_EQ(error.kind(), Kind::FileNotWritten);
        EXPECT_NE(error.detail().find("too large"), std::string::npos) << error.what();
    }
    EXPECT_EQ(contentsOf(folder / "keep.csv"), "old contents");
    EXPECT_EQ(namesIn(folder), std::vector<std::string>{"keep.csv"});
}

} // namespace
