#pragma once

#include "operator_error.h"

#include <QString>

class QWidget;

// Tells the operator what went wrong, in the window's own words, and waits
// for the message to be read.
void showOperatorError(QWidget* parent, const QString& title, const OperatorError& error);
