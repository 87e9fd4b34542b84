#include "operator_error.h"

#include <utility>

namespace {

std::string summary(OperatorError::Kind kind, const std::string& subject,
                    const std::string& detail) {
    return "operator error " + std::to_string(static_cast<int>(kind)) + " on \"" + subject + "\"" +
           (detail.empty() ? std::string() : ": " + detail);
}

} // namespace

OperatorError::OperatorError(Kind kind, std::string subject, std::string detail,
                             std::vector<std::string> choices)
    : std::runtime_error(summary(kind, subject, detail)), kind_(kind), subject_(std::move(subject)),
      detail_(std::move(detail)), choices_(std::move(choices)) {}
