#pragma once

#include <stdexcept>

// A failure to reach the parallel port. what() is a message for the operator,
// in Italian, saying what was tried and what to do about it.
class PortError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
