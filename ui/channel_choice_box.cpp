#include "channel_choice_box.h"

#include "operator_message.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

namespace ChannelChoiceBox {

bool offers(const OperatorError& error) {
    return error.kind() == OperatorError::Kind::FileChannelMissing && error.choices().size() >= 2;
}

std::optional<CaptureOptions::Channels> ask(QWidget* parent, const QString& title,
                                            const OperatorError& error) {
    QDialog box(parent);
    box.setWindowTitle(title);
    auto* icon = new QLabel(&box);
    const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize);
    icon->setPixmap(box.style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(size));
    auto* message = new QLabel(QString::fromStdString(operatorMessage(error)) +
                                   QStringLiteral("\n\nOppure scegliere qui i canali dei "
                                                  "ricevitori tra quelli del file:"),
                               &box);
    message->setObjectName(QStringLiteral("message"));
    message->setWordWrap(true);
    // The first two, as a file without the usual names is read by default.
    const auto channels = CaptureOptions::channelsAmong({}, error.choices());
    const auto picker = [&](const std::string& selected, const char* name) {
        auto* combo = new QComboBox(&box);
        combo->setObjectName(QString::fromLatin1(name));
        for (const std::string& channel : error.choices()) {
            combo->addItem(QString::fromStdString(channel));
        }
        combo->setCurrentText(QString::fromStdString(selected));
        return combo;
    };
    QComboBox* right = picker(channels.right, "right");
    QComboBox* left = picker(channels.left, "left");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &box);
    QPushButton* open =
        buttons->addButton(QStringLiteral("Apri con questi canali"), QDialogButtonBox::AcceptRole);
    const auto check = [=] { open->setEnabled(right->currentText() != left->currentText()); };
    QObject::connect(right, &QComboBox::currentTextChanged, &box, check);
    QObject::connect(left, &QComboBox::currentTextChanged, &box, check);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &box, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &box, &QDialog::reject);

    auto* layout = new QFormLayout(&box);
    layout->addRow(icon, message);
    layout->addRow(QStringLiteral("Ricevitore destro:"), right);
    layout->addRow(QStringLiteral("Ricevitore sinistro:"), left);
    layout->addRow(buttons);
    if (box.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return CaptureOptions::Channels{right->currentText().toStdString(),
                                    left->currentText().toStdString(),
                                    CaptureOptions::Channels::Choice::Named};
}

} // namespace ChannelChoiceBox
