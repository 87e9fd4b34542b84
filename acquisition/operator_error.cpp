#include "operator_error.h"

#include "operator_message.h"

#include <utility>

OperatorError::OperatorError(Kind kind, std::string subject, std::string detail,
                             std::vector<std::string> choices)
    : std::runtime_error(operatorMessage(kind, subject, detail, choices)), kind_(kind),
      subject_(std::move(subject)), detail_(std::move(detail)), choices_(std::move(choices)) {}
