#pragma once

#include "capture_options.h"
#include "operator_error.h"

#include <QString>
#include <optional>

class QWidget;

// The message of a capture that lacks the receivers' channels, offering in
// the same box to read two of the channels it has instead.
namespace ChannelChoiceBox {

// Whether error is one that the box can mend.
bool offers(const OperatorError& error);
// The channels picked, or nothing when the operator cancels.
std::optional<CaptureOptions::Channels> ask(QWidget* parent, const QString& title,
                                            const OperatorError& error);

} // namespace ChannelChoiceBox
