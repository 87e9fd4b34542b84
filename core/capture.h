#pragma once

#include "capture_options.h"
#include "side.h"

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

// Where a capture's samples came from.
struct PortOrigin {};
struct DeviceOrigin {
    std::string driver; // as the operator gave it
    CaptureOptions::Channels channels;
    // The samples the board holds, where that is fewer than a scan takes:
    // all the capture has.
    std::optional<std::uint64_t> memory = std::nullopt;
};
struct FileOrigin {
    std::string path;
    CaptureOptions::Channels channels;
};
// The window's one-shot simulation, written straight into the store's channels.
struct SimulationOrigin {
    Side side;
    int delay;
};
// A simulated source that may move, as raw samples like any other source's.
struct SimulatedSourceOrigin {
    CaptureOptions::Simulation simulation;
};
using CaptureOrigin =
    std::variant<PortOrigin, DeviceOrigin, FileOrigin, SimulationOrigin, SimulatedSourceOrigin>;

// What a capture source gives: sample i (from 1) at samples[i - 1], the right
// receiver on bit 0 and the left on bit 1 (the port's other lines above
// them), at most kSamples of them, taken sampleRate times a second.
struct Capture {
    std::vector<std::uint8_t> samples;
    std::uint64_t sampleRate = 0;
    CaptureOrigin origin;
};
