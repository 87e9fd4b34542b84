#pragma once

#include "port_io.h"

#include <cstdint>
#include <string>

// The parallel port on Linux. The port is reached at the first call and kept
// until destruction, through the kernel's user-space parallel-port driver
// (ppdev) when its device exists, otherwise by direct access to the data
// register at 0x378. Every failure throws PortError with an operator message.
class LinuxPortIo final : public PortIo {
public:
    // The legacy address of the first port's data register: the only port
    // number this layer serves, whichever way it reaches the port.
    static constexpr int kDirectAddress = 0x378;

    // Why the port could not be reached; each kind has one operator message.
    enum class Failure {
        NoPort,           // no ppdev port, and this kernel offers no direct access
        PermissionDenied, // the ppdev device exists but this user may not open it
        Busy,             // another program holds the port
        NotAParallelPort, // the device path names something other than a ppdev port
        Lockdown,         // no ppdev port, direct access refused by kernel lockdown
        NoPrivilege,      // no ppdev port, direct access needs root
        Lost,             // the port stopped answering while in use
        Unexpected,       // any other system error
    };

    // The operator message, in Italian, for a failure on the ppdev device
    // path; error is the errno shown by Lost and Unexpected.
    static std::string message(Failure failure, const std::string& device, int error = 0);

    explicit LinuxPortIo(std::string device = "/dev/parport0");
    ~LinuxPortIo() override;
    LinuxPortIo(const LinuxPortIo&) = delete;
    LinuxPortIo& operator=(const LinuxPortIo&) = delete;

    // port must be kDirectAddress (std::invalid_argument otherwise).
    void PortOut(int port, std::uint8_t value) override;
    std::uint8_t PortIn(int port) override;

private:
    enum class Access { None, Ppdev, Direct };

    void reach(int port);
    bool openPpdev();
    int openDevice() const;
    bool claim(int fd) const;
    void openDirect();
    [[noreturn]] void lose(int error);
    [[noreturn]] void fail(Failure failure, int error = 0) const;

    std::string device_;
    Access access_ = Access::None;
    int fd_ = -1;
};
