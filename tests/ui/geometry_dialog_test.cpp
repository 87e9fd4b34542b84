// The geometry dialog: its two kinds, the presets and the note on what the
// lags see at the rate of the data held.

#include "geometry_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <functional>

namespace {

using Kind = Bearing::Geometry::Kind;

// Opens the dialog, works on it once it shows, and accepts it.
std::optional<Bearing::Geometry> askWith(const std::optional<Bearing::Geometry>& current,
                                         std::uint64_t rate,
                                         const std::function<void(QDialog&)>& work) {
    QTimer opener;
    opener.setInterval(0);
    QObject::connect(&opener, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            opener.stop();
            work(*dialog);
            dialog->accept();
        }
    });
    opener.start();
    return GeometryDialog::ask(nullptr, current, rate);
}

QString withLocalePoint(const char* text) {
    return QString::fromUtf8(text).replace(QLatin1Char(','), QLocale().decimalPoint());
}

} // namespace

class GeometryDialogTest : public QObject {
    Q_OBJECT

private slots:
    // A kind chosen brings its names, presets and first speed; the kind
    // comes back with the geometry.
    void kindsComeBackWithTheirValues() {
        const struct {
            std::optional<Bearing::Geometry> current;
            int kind;           // the combo's entry chosen, -1 for none
            const char* preset; // a button pressed, or none
            Bearing::Geometry expected;
        } cases[] = {{Bearing::Geometry{120.0, 1200.0, Kind::Pipe},
                      -1,
                      nullptr,
                      {120.0, 1200.0, Kind::Pipe}},
                     {std::nullopt, 1, "PVC, acqua", {1.0, 480.0, Kind::Pipe}},
                     {std::nullopt, 1, nullptr, {1.0, 1300.0, Kind::Pipe}},
                     {Bearing::Geometry{120.0, 1200.0, Kind::Pipe},
                      0,
                      "Acqua",
                      {120.0, Bearing::kSpeedOfSoundInWater, Kind::Baseline}}};
        for (const auto& c : cases) {
            QString distanceName;
            const auto geometry = askWith(c.current, 50'000, [&](QDialog& dialog) {
                if (c.kind >= 0) {
                    dialog.findChild<QComboBox*>(QStringLiteral("tipo"))->setCurrentIndex(c.kind);
                }
                for (auto* button : dialog.findChildren<QPushButton*>()) {
                    if (c.preset && button->text() == QString::fromUtf8(c.preset)) {
                        QVERIFY(button->isVisible());
                        button->click();
                    }
                }
                auto* form = dialog.findChild<QFormLayout*>();
                distanceName =
                    qobject_cast<QLabel*>(form->labelForField(dialog.findChild<QDoubleSpinBox*>(
                                              QStringLiteral("distanza"))))
                        ->text();
            });
            QVERIFY(geometry);
            QCOMPARE(geometry->kind, c.expected.kind);
            QCOMPARE(geometry->baseline, c.expected.baseline);
            QCOMPARE(geometry->speed, c.expected.speed);
            QCOMPARE(distanceName.contains(QStringLiteral("condotta")),
                     c.expected.kind == Kind::Pipe);
        }
    }

    // The note under the fields follows them: at 50 kHz a metre in air
    // spans 145 lags across, more than the 120 each side; 0.3 m spans 43,
    // which needs no note.
    void sectorNoteFollowsTheFields() {
        const struct {
            std::uint64_t rate;
            double baseline;
            const char* note; // contained, or the note empty
            double typed;
            const char* noteAfter;
        } cases[] = {{1'000'000, 0.3, "\u00B17,9\u00B0", 1.0, "\u00B12,4\u00B0"},
                     {50'000, 1.0, "\u00B155,4\u00B0", 0.3, ""},
                     {50'000, 0.3, "", 1.0, "\u00B155,4\u00B0"}};
        for (const auto& c : cases) {
            QString note;
            QString noteAfter;
            askWith(Bearing::Geometry{c.baseline}, c.rate, [&](QDialog& dialog) {
                auto* shown = dialog.findChild<QLabel*>(QStringLiteral("settore"));
                note = shown->text();
                dialog.findChild<QDoubleSpinBox*>(QStringLiteral("distanza"))->setValue(c.typed);
                noteAfter = shown->text();
            });
            for (const auto& [text, expected] :
                 {std::pair{note, c.note}, {noteAfter, c.noteAfter}}) {
                QVERIFY2(*expected ? text.contains(withLocalePoint(expected)) : text.isEmpty(),
                         qPrintable(text));
            }
        }
    }
};

QTEST_MAIN(GeometryDialogTest)
#include "geometry_dialog_test.moc"
