#pragma once

#include <cstdint>

// The two port operations the scan needs. Either one throws OperatorError
// when the port cannot be reached; no sample is taken then.
class PortIo {
public:
    virtual ~PortIo() = default;
    virtual void PortOut(int port, std::uint8_t value) = 0;
    virtual std::uint8_t PortIn(int port) = 0;
    // Gives the port back to the system between scans, so that a printer
    // driver or another program may use it; the next call reaches it afresh.
    virtual void release() {}
};
