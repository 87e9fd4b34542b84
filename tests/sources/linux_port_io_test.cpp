#include "linux_port_io.h"
#include "marked_store.h"
#include "operator_error.h"
#include "operator_message.h"
#include "parallel_port_scan.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <gtest/gtest.h>
#include <iterator>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Kind = OperatorError::Kind;

std::string messageOf(Kind kind, const std::string& device) {
    return OperatorError(kind, device).what();
}

constexpr int kData = kPortAddress;

// A fresh directory, removed with everything in it at the end of the test.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "porta-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("mkdtemp failed");
        }
        path_ = pattern;
    }
    ~TempDir() { fs::remove_all(path_); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    std::string file(const std::string& name) const { return (path_ / name).string(); }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
};

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// The message of the OperatorError a read throws, or nothing when the read works.
std::optional<std::string> readFailure(LinuxPortIo& port) {
    try {
        port.PortIn(kData);
    } catch (const OperatorError& error) {
        return error.what();
    }
    return std::nullopt;
}

// Without a ppdev device only direct access is left, and these are the ways
// it can be refused.
bool isDirectAccessRefusal(const std::string& message, const std::string& device) {
    for (const Kind failure :
         {Kind::PortMissing, Kind::PortNeedsRoot, Kind::PortLockdown, Kind::PortNotAnswering}) {
        if (message == messageOf(failure, device)) {
            return true;
        }
    }
    return false;
}

TEST(LinuxPortIo, PlainFileIsRefusedAndLeftUntouched) {
    const TempDir dir;
    const std::string path = dir.file("parport0");
    const std::string content = "not a port\n";
    writeFile(path, content);
    const std::string expected = messageOf(Kind::PortNotAParallelPort, path);
    LinuxPortIo port(path);

    try {
        port.PortOut(kData, 0xFF);
        FAIL() << "a plain file was used as a port";
    } catch (const OperatorError& error) {
        EXPECT_EQ(error.what(), expected);
    }
    EXPECT_EQ(readFailure(port), expected);
    EXPECT_EQ(readFile(path), content);
}

TEST(LinuxPortIo, DirectoryAndOtherCharacterDevicesAreRefused) {
    const TempDir dir;
    for (const std::string& path : {dir.path().string(), std::string("/dev/null")}) {
        LinuxPortIo port(path);
        EXPECT_EQ(readFailure(port), messageOf(Kind::PortNotAParallelPort, path));
    }
}

TEST(LinuxPortIo, WithoutPpdevDeviceTriesDirectAccessAndExplainsItsRefusal) {
    const TempDir dir;
    const std::string path = dir.file("parport0");
    LinuxPortIo port(path);

    const auto failure = readFailure(port);
    if (!failure) {
        GTEST_SKIP() << "this machine grants direct access to the port";
    }
    EXPECT_TRUE(isDirectAccessRefusal(*failure, path)) << *failure;
    // Still refused at the next call, with the same explanation.
    EXPECT_EQ(readFailure(port), failure);
}

// Nothing of a failed attempt is kept: once the cause is gone, the next call
// gets further without a new LinuxPortIo.
TEST(LinuxPortIo, TriesAgainFromTheStartAtEveryCallAfterAFailure) {
    const TempDir dir;
    const std::string path = dir.file("parport0");
    writeFile(path, "x");
    LinuxPortIo port(path);
    const std::string notAPort = messageOf(Kind::PortNotAParallelPort, path);
    ASSERT_EQ(readFailure(port), notAPort);

    fs::remove(path);
    const auto failure = readFailure(port);

    if (failure) {
        EXPECT_TRUE(isDirectAccessRefusal(*failure, path)) << *failure;
    }
}

TEST(LinuxPortIo, ServesOnlyTheDataRegisterOfTheFirstPort) {
    const TempDir dir;
    LinuxPortIo port(dir.file("parport0"));
    EXPECT_THROW(port.PortOut(0x379, 0xFF), std::invalid_argument);
    EXPECT_THROW(port.PortIn(0x278), std::invalid_argument);
}

// Runs in the child of a death test: drops root if need be, then tries a
// device that the user may not open. The exit code tells the parent.
[[noreturn]] void readAsUnprivilegedUser(const std::string& path) {
    constexpr uid_t kNobody = 65534;
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
        std::_Exit(3);
    }
    LinuxPortIo port(path);
    const auto failure = readFailure(port);
    const std::string expected = messageOf(Kind::PortPermissionDenied, path);
    if (failure != expected) {
        std::fprintf(stderr, "%s\n", failure.value_or("(no failure)").c_str());
        std::_Exit(1);
    }
    std::_Exit(0);
}

TEST(LinuxPortIoDeathTest, DeviceTheUserMayNotOpenAsksToJoinTheLpGroup) {
    const TempDir dir;
    const std::string path = dir.file("parport0");
    writeFile(path, "x");
    fs::permissions(path, fs::perms::none);
    fs::permissions(dir.path(),
                    fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec);

    EXPECT_EXIT(readAsUnprivilegedUser(path), testing::ExitedWithCode(0), "");
    EXPECT_EQ(readFile(path), "x");
}

// This is what a user without a usable port sees: the scan stops at its first
// port call with the reason, and takes no sample.
TEST(LinuxPortIo, ScanWithoutAReachablePortFailsBeforeTakingASample) {
    LinuxPortIo port;
    std::string message;
    try {
        captureFrom(ParallelPortScan(port, std::chrono::nanoseconds(0)));
        GTEST_SKIP() << "this machine has a usable parallel port";
    } catch (const OperatorError& error) {
        message = operatorMessage(error);
    }
    EXPECT_NE(message.find("porta parallela"), std::string::npos) << message;
}

} // namespace
