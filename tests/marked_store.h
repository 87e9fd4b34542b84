#pragma once

#include "capture_source.h"
#include "operator_error.h"
#include "sample_store.h"

#include <cstring>
#include <gtest/gtest.h>
#include <memory>

// A store with values that no scan writes, so that every entry a scan
// changes, or leaves alone, stands out.
inline std::unique_ptr<SampleStore> markedStore() {
    auto store = std::make_unique<SampleStore>();
    store->rawSamples.fill(0xA5);
    store->channelLeft.fill(7);
    store->channelRight.fill(9);
    store->simulatedDelay = 33;
    store->correlationLeft.fill(1.5);
    store->correlationRight.fill(2.5);
    return store;
}

inline bool sameStore(const SampleStore& a, const SampleStore& b) {
    return std::memcmp(&a, &b, sizeof(SampleStore)) == 0;
}

// A capture from source, taken as the instrument takes it: on the worker.
inline Capture captureFrom(CaptureSource& source) {
    return CaptureWorker::run(
        [&source](CaptureWorker::Progress& progress) { return source.capture(progress); },
        source.subject());
}

inline Capture captureFrom(CaptureSource&& source) {
    return captureFrom(source);
}

// The same for a source that a worker given up on may still use.
inline Capture captureFrom(const std::shared_ptr<CaptureSource>& source) {
    return CaptureWorker::run(
        [source](CaptureWorker::Progress& progress) { return source->capture(progress); },
        source->subject());
}

// The error a capture throws.
inline OperatorError refusalOf(CaptureSource& source) {
    try {
        captureFrom(source);
    } catch (const OperatorError& error) {
        return error;
    }
    ADD_FAILURE() << "the capture succeeded";
    return {OperatorError::Kind::FileUnexpected, ""};
}
