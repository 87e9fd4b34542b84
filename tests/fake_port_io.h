#pragma once

#include "operator_error.h"
#include "port_io.h"

#include <cstdint>
#include <functional>
#include <vector>

// A port that answers every read with a chosen byte, or plays back a script of
// bytes, records every call, and can be told to fail at a given call (counting
// writes and reads together, from 0) with kFailure, running atFailure first.
// It counts its releases.
class FakePortIo final : public PortIo {
public:
    struct Call {
        bool write;
        int port;
        std::uint8_t value;
    };

    static inline const OperatorError kFailure{OperatorError::Kind::PortLost, "/dev/prova",
                                               "guasto di prova"};

    explicit FakePortIo(std::uint8_t byte = 0xFF) : answer(byte) {}

    void PortOut(int port, std::uint8_t value) override { record({true, port, value}); }
    std::uint8_t PortIn(int port) override {
        const std::uint8_t value = script.empty() ? answer : script[reads_++ % script.size()];
        record({false, port, value});
        return value;
    }
    void release() override { ++releases; }

    std::uint8_t answer;
    // When not empty, read n (from 0) answers script[n % script.size()] instead.
    std::vector<std::uint8_t> script;
    long failAtCall = -1;
    std::function<void()> atFailure;
    bool recordCalls = false;
    long calls = 0;
    int releases = 0;
    std::vector<Call> log;

private:
    std::size_t reads_ = 0;

    void record(const Call& call) {
        if (calls++ == failAtCall) {
            if (atFailure) {
                atFailure();
            }
            throw kFailure;
        }
        if (recordCalls) {
            log.push_back(call);
        }
    }
};
