#pragma once

#include "port_error.h"
#include "port_io.h"

#include <cstdint>
#include <vector>

// A port that answers every read with a chosen byte, records every call, and
// can be told to fail at a given call (counting writes and reads together,
// from 0).
class FakePortIo final : public PortIo {
public:
    struct Call {
        bool write;
        int port;
        std::uint8_t value;
    };

    explicit FakePortIo(std::uint8_t answer = 0xFF) : answer(answer) {}

    void PortOut(int port, std::uint8_t value) override { record({true, port, value}); }
    std::uint8_t PortIn(int port) override {
        record({false, port, answer});
        return answer;
    }

    std::uint8_t answer;
    long failAtCall = -1;
    bool recordCalls = false;
    long calls = 0;
    std::vector<Call> log;

private:
    void record(const Call& call) {
        if (calls++ == failAtCall) {
            throw PortError("porta di prova guasta");
        }
        if (recordCalls) {
            log.push_back(call);
        }
    }
};
