#include "operator_error_box.h"

#include "operator_message.h"

#include <QMessageBox>

void showOperatorError(QWidget* parent, const QString& title, const OperatorError& error) {
    QMessageBox::warning(parent, title, QString::fromStdString(operatorMessage(error)));
}
