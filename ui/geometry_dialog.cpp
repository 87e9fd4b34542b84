#include "geometry_dialog.h"

#include "pipe_speeds.h"
#include "result_text.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QStackedWidget>
#include <utility>
#include <vector>

namespace GeometryDialog {

namespace {

using Kind = Bearing::Geometry::Kind;
using Presets = std::vector<std::pair<QString, double>>;

QString nameOf(PipeSpeeds::Material material) {
    switch (material) {
    case PipeSpeeds::Material::Steel:
        return QStringLiteral("Acciaio, acqua");
    case PipeSpeeds::Material::CastIron:
        return QStringLiteral("Ghisa, acqua");
    case PipeSpeeds::Material::Concrete:
        return QStringLiteral("Calcestruzzo, acqua");
    case PipeSpeeds::Material::Pvc:
        return QStringLiteral("PVC, acqua");
    case PipeSpeeds::Material::Polyethylene:
        return QStringLiteral("PE, acqua");
    }
    return {};
}

Presets presetsOf(Kind kind) {
    if (kind == Kind::Baseline) {
        return {{QStringLiteral("Aria a 20 \u00B0C"), Bearing::kSpeedOfSoundInAir},
                {QStringLiteral("Acqua"), Bearing::kSpeedOfSoundInWater}};
    }
    Presets presets;
    for (const PipeSpeeds::Pipe& pipe : PipeSpeeds::kWaterFilled) {
        presets.emplace_back(nameOf(pipe.material), pipe.speed);
    }
    return presets;
}

QDoubleSpinBox* spinBox(QDialog& dialog, const char* name, double lowest, double highest,
                        int decimals, const QString& unit, double value) {
    auto* box = new QDoubleSpinBox(&dialog);
    box->setObjectName(QString::fromLatin1(name));
    box->setRange(lowest, highest);
    box->setDecimals(decimals);
    box->setSuffix(unit);
    box->setValue(value);
    return box;
}

// The kind's presets, three to a row, each setting speed.
QWidget* presetButtons(Kind kind, QDoubleSpinBox* speed) {
    auto* buttons = new QWidget;
    auto* grid = new QGridLayout(buttons);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setAlignment(Qt::AlignTop);
    const Presets presets = presetsOf(kind);
    for (std::size_t i = 0; i < presets.size(); ++i) {
        const auto& [text, value] = presets[i];
        auto* button = new QPushButton(text, buttons);
        button->setAutoDefault(false);
        button->setToolTip(QLocale().toString(value, 'f', 0) + QStringLiteral(" m/s"));
        QObject::connect(button, &QPushButton::clicked, speed,
                         [speed, value] { speed->setValue(value); });
        grid->addWidget(button, static_cast<int>(i / 3), static_cast<int>(i % 3));
    }
    return buttons;
}

QComboBox* kindBox(QDialog& dialog, Kind kind) {
    auto* box = new QComboBox(&dialog);
    box->setObjectName(QStringLiteral("tipo"));
    box->addItem(QStringLiteral("Ricevitori in aria/acqua"), static_cast<int>(Kind::Baseline));
    box->addItem(QStringLiteral("Condotta"), static_cast<int>(Kind::Pipe));
    box->setCurrentIndex(box->findData(static_cast<int>(kind)));
    return box;
}

// The dialog's fields, and what they say together.
struct Fields {
    QComboBox* kind;
    QLabel* baselineName;
    QDoubleSpinBox* baseline;
    QLabel* speedName;
    QDoubleSpinBox* speed;
    // The presets of each kind, in the kinds' order, one shown at a time in
    // the room of the larger.
    QStackedWidget* presets;
    QLabel* sector;

    Bearing::Geometry geometry() const {
        return {baseline->value(), speed->value(), static_cast<Kind>(kind->currentData().toInt())};
    }
};

// The fields' names, the presets shown and the note follow the kind; a
// kind chosen starts from its first preset's speed, since the other kind's
// is never right for it.
void bind(const Fields& fields, std::uint64_t sampleRate) {
    const auto showNote = [fields, sampleRate] {
        fields.sector->setText(QString::fromStdString(
            sectorText(sampleRate, fields.geometry(), QLocale().decimalPoint().toStdString())));
    };
    const auto showKind = [=] {
        const bool pipe = fields.geometry().kind == Kind::Pipe;
        fields.baselineName->setText(pipe
                                         ? QStringLiteral("Lunghezza della condotta tra i sensori:")
                                         : QStringLiteral("Distanza tra i ricevitori:"));
        fields.speedName->setText(pipe ? QStringLiteral("Velocit\u00E0 del suono nella condotta:")
                                       : QStringLiteral("Velocit\u00E0 di propagazione:"));
        fields.presets->setCurrentIndex(static_cast<int>(fields.geometry().kind));
    };
    QObject::connect(fields.kind, &QComboBox::currentIndexChanged, fields.kind, [=] {
        showKind();
        fields.speed->setValue(presetsOf(fields.geometry().kind).front().second);
        showNote();
    });
    for (QDoubleSpinBox* box : {fields.baseline, fields.speed}) {
        QObject::connect(box, &QDoubleSpinBox::valueChanged, box, showNote);
    }
    showKind();
    showNote();
}

} // namespace

std::optional<Bearing::Geometry>
ask(QWidget* parent, const std::optional<Bearing::Geometry>& current, std::uint64_t sampleRate) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Geometria dei ricevitori"));
    const Bearing::Geometry start = current.value_or(Bearing::Geometry{1.0});
    const Fields fields{
        kindBox(dialog, start.kind),
        new QLabel(&dialog),
        spinBox(dialog, "distanza", 0.001, 10'000.0, 3, QStringLiteral(" m"), start.baseline),
        new QLabel(&dialog),
        spinBox(dialog, "velocita", 1.0, 100'000.0, 1, QStringLiteral(" m/s"), start.speed),
        new QStackedWidget(&dialog),
        new QLabel(&dialog)};
    for (const Kind kind : {Kind::Baseline, Kind::Pipe}) {
        fields.presets->addWidget(presetButtons(kind, fields.speed));
    }
    fields.sector->setObjectName(QStringLiteral("settore"));
    fields.sector->setWordWrap(true);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    auto* form = new QFormLayout(&dialog);
    form->addRow(fields.kind);
    form->addRow(fields.baselineName, fields.baseline);
    form->addRow(fields.speedName, fields.speed);
    form->addRow(fields.presets);
    form->addRow(fields.sector);
    form->addRow(buttons);
    bind(fields, sampleRate);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return fields.geometry();
}

} // namespace GeometryDialog
