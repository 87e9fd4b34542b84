#pragma once

// A stream of uniform single-precision values r with 0 <= r < 1.
class UniformRandom {
public:
    virtual ~UniformRandom() = default;
    virtual float next() = 0;
};
