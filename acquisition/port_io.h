#pragma once

#include <cstdint>

// The two port operations the scan needs. Either one throws PortError when
// the port cannot be reached; no sample is taken then.
class PortIo {
public:
    virtual ~PortIo() = default;
    virtual void PortOut(int port, std::uint8_t value) = 0;
    virtual std::uint8_t PortIn(int port) = 0;
};
