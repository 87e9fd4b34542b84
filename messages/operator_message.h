#pragma once

#include "operator_error.h"

#include <string>

// The operator's message, in Italian, for every kind of failure: what was
// tried, what went wrong and what to do about it. The one place where these
// texts are written.
std::string operatorMessage(const OperatorError& error);
