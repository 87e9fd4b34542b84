#pragma once

#include "operator_error.h"

#include <string>
#include <vector>

// The operator's message, in Italian, for every kind of failure: what was
// tried, what went wrong and what to do about it. The one place where these
// texts are written.
std::string operatorMessage(OperatorError::Kind kind, const std::string& subject,
                            const std::string& detail, const std::vector<std::string>& choices);
