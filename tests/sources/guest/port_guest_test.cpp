// The port layer and the scan against the kernel's own parallel-port drivers,
// run as root or as an ordinary user inside a small virtual machine whose
// emulated port at the usual address latches the data register: what is written is what
// is read back. The guest's init script loads the drivers step by step and
// runs one suite per step; each suite states the state it expects.

#include "linux_port_io.h"
#include "operator_error.h"
#include "parallel_port_scan.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <linux/ppdev.h>
#include <memory>
#include <string>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

using Kind = OperatorError::Kind;

std::string messageOf(Kind kind, const std::string& device) {
    return OperatorError(kind, device).what();
}

constexpr int kData = kPortAddress;
const std::string kDevice = kPortDevice;
const std::string kActive = "/proc/sys/dev/parport/parport0/devices/active";

bool exists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string firstLine(const std::string& path) {
    std::ifstream file(path);
    std::string line;
    std::getline(file, line);
    return line;
}

// The scan on this thread, which holds the port's access, with no deadline.
Capture scanned(LinuxPortIo& port) {
    struct NoDeadline final : CaptureWorker::Progress {
        void enter(Kind, std::chrono::milliseconds, std::function<void()>) override {}
    } progress;
    return ParallelPortScan(port).capture(progress);
}

// The emulated port latches the data register, so a value written comes back;
// 0x02 and then 0x01 cannot be mistaken for an empty bus, which reads 0xFF.
void expectLatch(LinuxPortIo& port) {
    for (const std::uint8_t value : {std::uint8_t{0x02}, std::uint8_t{0x01}, std::uint8_t{0x00}}) {
        port.PortOut(kData, value);
        EXPECT_EQ(port.PortIn(kData), value);
    }
}

// A real scan at the real period: the scan drives the data lines high and
// reads them back, so every sample is 0xFF and both receivers read 1.
void expectFullScan(LinuxPortIo& port) {
    const Capture capture = scanned(port);
    ASSERT_EQ(capture.samples.size(), std::size_t{kSamples});
    for (std::size_t i = 0; i < capture.samples.size(); ++i) {
        ASSERT_EQ(capture.samples[i], 0xFF) << "sample " << i + 1;
    }
}

void expectRefusal(LinuxPortIo& port, Kind failure) {
    try {
        scanned(port);
        ADD_FAILURE() << "the scan succeeded";
    } catch (const OperatorError& error) {
        EXPECT_EQ(std::string(error.what()), messageOf(failure, kDevice));
    }
}

// --- Root, parport_pc loaded, ppdev not: direct access to the register. -----

TEST(DirectAccess, RootReachesTheRegisterWithoutPpdev) {
    ASSERT_EQ(::geteuid(), 0u);
    ASSERT_TRUE(exists(kActive)) << "parport_pc found no port";
    ASSERT_FALSE(exists(kDevice)) << "ppdev is loaded";
    LinuxPortIo port;
    expectLatch(port);
    // Direct access goes past the parport driver, which keeps no claim.
    EXPECT_EQ(firstLine(kActive), "none");
    expectFullScan(port);
}

// --- Root, ppdev loaded. ----------------------------------------------------

TEST(Ppdev, FirstCallClaimsTheDeviceAndDestructionReleasesIt) {
    ASSERT_TRUE(exists(kDevice)) << "ppdev is not loaded";
    {
        LinuxPortIo port;
        EXPECT_EQ(firstLine(kActive), "none");
        port.PortOut(kData, 0x02);
        EXPECT_EQ(firstLine(kActive), "ppdev0");
        EXPECT_EQ(port.PortIn(kData), 0x02);
    }
    EXPECT_EQ(firstLine(kActive), "none");
}

TEST(Ppdev, ScanReadsTheRegisterThroughTheDriver) {
    LinuxPortIo port;
    expectLatch(port);
    expectFullScan(port);
}

// Between scans the port is free for the printer driver or another program.
TEST(Ppdev, ScanReleasesThePortWhenItEnds) {
    LinuxPortIo port;
    expectFullScan(port);
    EXPECT_EQ(firstLine(kActive), "none");

    const int other = ::open(kDevice.c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    EXPECT_EQ(::ioctl(other, PPCLAIM), 0);
    ::ioctl(other, PPRELEASE);
    ::close(other);
}

// A port held by another program is refused at once instead of waiting for
// it; once it is free, the same layer reaches it.
TEST(Ppdev, HeldPortIsReportedBusyThenReachedWhenFree) {
    const int other = ::open(kDevice.c_str(), O_RDWR);
    ASSERT_GE(other, 0);
    ASSERT_EQ(::ioctl(other, PPCLAIM), 0);

    LinuxPortIo port;
    expectRefusal(port, Kind::PortBusy);

    ::ioctl(other, PPRELEASE);
    ::close(other);
    expectLatch(port);
}

// --- An ordinary user. ------------------------------------------------------

TEST(UserWithoutDriver, IsToldDirectAccessNeedsRoot) {
    ASSERT_NE(::geteuid(), 0u);
    ASSERT_FALSE(exists(kDevice));
    LinuxPortIo port;
    expectRefusal(port, Kind::PortNeedsRoot);
}

TEST(UserWithoutDeviceAccess, IsToldToJoinTheLpGroup) {
    ASSERT_NE(::geteuid(), 0u);
    ASSERT_TRUE(exists(kDevice));
    LinuxPortIo port;
    expectRefusal(port, Kind::PortPermissionDenied);
}

// --- Root on a PC without a parallel port, no drivers loaded. --------------

// Direct access is granted, but only the floating bus would answer.
TEST(NoPortAnswers, RootIsToldNoPortAnswersAndNothingIsSampled) {
    ASSERT_EQ(::geteuid(), 0u);
    ASSERT_FALSE(exists(kDevice));
    LinuxPortIo port;
    expectRefusal(port, Kind::PortNotAnswering);
}

// --- Root on a kernel in lockdown, no drivers loaded. -----------------------

TEST(Lockdown, RootIsToldOnlyPpdevReachesThePort) {
    ASSERT_EQ(::geteuid(), 0u);
    ASSERT_FALSE(exists(kDevice));
    LinuxPortIo port;
    expectRefusal(port, Kind::PortLockdown);
}

} // namespace
