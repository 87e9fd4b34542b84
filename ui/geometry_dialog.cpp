#include "geometry_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QPushButton>

namespace GeometryDialog {

namespace {

QDoubleSpinBox* spinBox(QDialog& dialog, double lowest, double highest, int decimals,
                        const QString& unit, double value) {
    auto* box = new QDoubleSpinBox(&dialog);
    box->setRange(lowest, highest);
    box->setDecimals(decimals);
    box->setSuffix(unit);
    box->setValue(value);
    return box;
}

QPushButton* preset(QDialog& dialog, const QString& text, QDoubleSpinBox* speed, double value) {
    auto* button = new QPushButton(text, &dialog);
    QObject::connect(button, &QPushButton::clicked, speed,
                     [speed, value] { speed->setValue(value); });
    return button;
}

} // namespace

std::optional<Bearing::Geometry> ask(QWidget* parent,
                                     const std::optional<Bearing::Geometry>& current) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Geometria dei ricevitori"));
    auto* baseline = spinBox(dialog, 0.001, 10'000.0, 3, QStringLiteral(" m"),
                             current ? current->baseline : 1.0);
    auto* speed = spinBox(dialog, 1.0, 100'000.0, 1, QStringLiteral(" m/s"),
                          current ? current->speed : Bearing::kSpeedOfSoundInAir);
    auto* presets = new QHBoxLayout;
    presets->addWidget(
        preset(dialog, QStringLiteral("Aria a 20 \u00B0C"), speed, Bearing::kSpeedOfSoundInAir));
    presets->addWidget(
        preset(dialog, QStringLiteral("Acqua"), speed, Bearing::kSpeedOfSoundInWater));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(QStringLiteral("Distanza tra i ricevitori:"), baseline);
    form->addRow(QStringLiteral("Velocit\u00E0 di propagazione:"), speed);
    form->addRow(presets);
    form->addRow(buttons);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return Bearing::Geometry{baseline->value(), speed->value()};
}

} // namespace GeometryDialog
