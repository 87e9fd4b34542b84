#pragma once

#include "instrument_constants.h"
#include "operator_error.h"
#include "port_io.h"

#include <cstdint>
#include <string>

// The parallel port on Linux. The port is reached at the first call after
// construction or release(), and held until the next release(), through the
// kernel's user-space parallel-port driver (ppdev) when its device exists,
// otherwise by direct access to the registers at kPortAddress, the only port
// number this layer serves. Every failure throws OperatorError with one of
// the Port kinds.
class LinuxPortIo final : public PortIo {
public:
    explicit LinuxPortIo(std::string device = kPortDevice);
    ~LinuxPortIo() override;
    LinuxPortIo(const LinuxPortIo&) = delete;
    LinuxPortIo& operator=(const LinuxPortIo&) = delete;

    // port must be kPortAddress (std::invalid_argument otherwise).
    void PortOut(int port, std::uint8_t value) override;
    std::uint8_t PortIn(int port) override;
    void release() override;

private:
    enum class Access { None, Ppdev, Direct };

    void reach(int port);
    bool openPpdev();
    int openDevice() const;
    bool claim(int fd) const;
    void openDirect();
    [[noreturn]] void lose(int error);
    [[noreturn]] void fail(OperatorError::Kind kind, int error = 0) const;

    std::string device_;
    Access access_ = Access::None;
    int fd_ = -1;
};
