#include "linux_port_io.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <linux/major.h>
#include <linux/ppdev.h>
#include <stdexcept>
#include <sys/io.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>

namespace {

using Kind = OperatorError::Kind;

std::string systemError(int error) {
    return std::string(std::strerror(error)) + ", codice " + std::to_string(error);
}

// Kernel lockdown lists its modes with the active one in brackets, e.g.
// "none [integrity] confidentiality"; without the file there is no lockdown.
bool kernelLockedDown() {
    std::ifstream file("/sys/kernel/security/lockdown");
    std::string modes;
    std::getline(file, modes);
    return !modes.empty() && modes.find("[none]") == std::string::npos;
}

// The driver that holds port number `number` now, "none" when it is free, or
// empty when the kernel lists no such port.
// Data, status and control register of the port, from kPortAddress.
constexpr unsigned long kRegisters = 3;

// The probe the kernel's parport_pc makes: a port's control register keeps
// its low four bits as written, where an empty bus reads back all ones. The
// data register cannot tell, since the receivers drive its lines. The
// register is left at 0x0C, the idle state the kernel leaves it in.
bool portAnswers() {
    const auto control = static_cast<unsigned short>(kPortControlAddress);
    bool answers = true;
    for (const std::uint8_t value : {std::uint8_t{0x0C}, std::uint8_t{0x0E}}) {
        ::outb(value, control);
        answers = answers && (::inb(control) & 0x0F) == value;
    }
    ::outb(0x0C, control);
    return answers;
}

std::string holderOf(unsigned int number) {
    std::ifstream file("/proc/sys/dev/parport/parport" + std::to_string(number) +
                       "/devices/active");
    std::string name;
    std::getline(file, name);
    return name;
}

} // namespace

LinuxPortIo::LinuxPortIo(std::string device) : device_(std::move(device)) {}

LinuxPortIo::~LinuxPortIo() {
    release();
}

void LinuxPortIo::release() {
    if (access_ == Access::Ppdev) {
        ::ioctl(fd_, PPRELEASE);
        ::close(fd_);
        fd_ = -1;
    } else if (access_ == Access::Direct) {
        ::ioperm(kPortAddress, kRegisters, 0);
    }
    access_ = Access::None;
}

void LinuxPortIo::PortOut(int port, std::uint8_t value) {
    reach(port);
    if (access_ == Access::Direct) {
        ::outb(value, static_cast<unsigned short>(port));
    } else if (::ioctl(fd_, PPWDATA, &value) != 0) {
        lose(errno);
    }
}

std::uint8_t LinuxPortIo::PortIn(int port) {
    reach(port);
    if (access_ == Access::Direct) {
        return ::inb(static_cast<unsigned short>(port));
    }
    std::uint8_t value = 0;
    if (::ioctl(fd_, PPRDATA, &value) != 0) {
        lose(errno);
    }
    return value;
}

// A failed attempt leaves nothing open, so the next call tries again from the
// start: an operator who loads the modules or frees the port can simply
// repeat the scan without restarting the program.
void LinuxPortIo::reach(int port) {
    if (port != kPortAddress) {
        throw std::invalid_argument("port " + std::to_string(port) +
                                    " is not the port's data register");
    }
    if (access_ == Access::None && !openPpdev()) {
        openDirect();
    }
}

// Returns false when there is no ppdev port behind the device path, so that
// direct access may be tried instead.
bool LinuxPortIo::openPpdev() {
    const int fd = openDevice();
    if (fd < 0 || !claim(fd)) {
        return false;
    }
    fd_ = fd;
    access_ = Access::Ppdev;
    return true;
}

// The open descriptor, or -1 when there is no device at the path.
int LinuxPortIo::openDevice() const {
    const int fd = ::open(device_.c_str(), O_RDWR | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0) {
        return fd;
    }
    const int error = errno;
    switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENODEV: // a device node with no ppdev driver loaded
    case ENXIO:
        return -1;
    case EACCES:
    case EPERM:
    case EROFS:
        fail(Kind::PortPermissionDenied);
    case EBUSY:
        fail(Kind::PortBusy);
    case EISDIR:
        fail(Kind::PortNotAParallelPort);
    default:
        fail(Kind::PortUnexpected, error);
    }
}

// Claims the port behind fd, or closes fd and returns false when there is no
// port behind it; closes fd and throws on any other failure.
bool LinuxPortIo::claim(int fd) const {
    // No ioctl reaches anything but a ppdev device: on other devices the same
    // request numbers could mean something else.
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || major(info.st_rdev) != PP_MAJOR) {
        ::close(fd);
        fail(Kind::PortNotAParallelPort);
    }
    // PPCLAIM waits for as long as another program holds the port, which would
    // freeze the window: ask the kernel first who holds it. A program that
    // claims the port between the two steps still makes the claim wait.
    const std::string holder = holderOf(minor(info.st_rdev));
    if (!holder.empty() && holder != "none") {
        ::close(fd);
        fail(Kind::PortBusy);
    }
    // No PPEXCL: exclusive access is refused whenever the printer driver lp is
    // loaded, while a plain claim shares the port with it.
    if (::ioctl(fd, PPCLAIM) == 0) {
        return true;
    }
    const int error = errno;
    ::close(fd);
    if (error == ENXIO && holder.empty()) {
        return false;
    }
    // ENXIO on a listed port: another program registered it exclusively.
    fail(error == ENXIO || error == EINTR ? Kind::PortBusy : Kind::PortUnexpected, error);
}

void LinuxPortIo::openDirect() {
    if (::ioperm(kPortAddress, kRegisters, 1) != 0) {
        if (errno != EPERM) {
            // ENOSYS: a kernel built without user-space port access.
            fail(Kind::PortMissing);
        }
        // Lockdown refuses even root, so becoming root would not help.
        fail(kernelLockedDown() ? Kind::PortLockdown : Kind::PortNeedsRoot);
    }
    // Root may reach the port's address on a PC that has no port there: every read would
    // then give the floating bus, a scan of nothing.
    if (!portAnswers()) {
        ::ioperm(kPortAddress, kRegisters, 0);
        fail(Kind::PortNotAnswering);
    }
    access_ = Access::Direct;
}

// The port went away in use: close it, so that the next call starts afresh.
void LinuxPortIo::lose(int error) {
    ::close(fd_);
    fd_ = -1;
    access_ = Access::None;
    fail(Kind::PortLost, error);
}

void LinuxPortIo::fail(Kind kind, int error) const {
    throw OperatorError(kind, device_, error == 0 ? std::string() : systemError(error));
}
