#pragma once

#include "bearing.h"
#include "follower.h"
#include "sample_stream.h"

#include <memory>
#include <optional>

// What a recording of any length says of the source over every whole window
// it holds, read as a stream on the capture worker, so that memory does not
// grow with its length: the windows' mean, summed in window order and then
// divided, bit for bit as integrating a capture that held it all; or the
// whitened correlation of all its samples. Throws the stream's
// OperatorError.
namespace WholeRecording {

struct Assessed {
    Bearing::Result result;
    int windows = 0;
};

// A recording with no whole window is refused as too short.
Assessed assess(const std::shared_ptr<SampleStream>& recording, const Follower::Analysis& analysis);

} // namespace WholeRecording
