// The geometry dialog: its two kinds, the presets and the note on what the
// lags see at the rate of the data held.

#include "geometry_dialog.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

class GeometryDialogTest : public QObject {
    Q_OBJECT

private slots:
    // A kind chosen starts from its first preset's speed, air's for a
    // baseline, and comes back with the geometry. The note follows the
    // fields: at 50 kHz a metre in air spans 145 lags across, more than the
    // 120 each side; 0.3 m spans 43, and needs none.
    void kindsValuesAndTheSectorNote() {
        using Kind = Bearing::Geometry::Kind;
        const Bearing::Geometry pipe{120.0, 1200.0, Kind::Pipe};
        const struct {
            std::optional<Bearing::Geometry> current;
            std::uint64_t rate;
            int kind;           // the entry chosen, -1 for none
            const char* preset; // a button pressed
            double typed;       // the distance typed, 0 for none
            Bearing::Geometry expected;
            const char* note; // a part of it, or "" for none
        } cases[] = {
            {pipe, 50'000, -1, "", 0, pipe, "1,44 m"},
            {std::nullopt, 50'000, 1, "PVC, acqua", 0, {1.0, 480.0, Kind::Pipe}, ""},
            {pipe, 50'000, 0, "", 0, {120.0, 343.0}, "\u00B10,4\u00B0"},
            {std::nullopt, 1'000'000, -1, "", 0, {1.0, 343.0}, "\u00B12,4\u00B0"},
            {std::nullopt, 50'000, -1, "", 0.3, {0.3, 343.0}, ""},
            {Bearing::Geometry{0.3}, 50'000, -1, "", 1.0, {1.0, 343.0}, "\u00B155,4\u00B0"}};
        for (const auto& c : cases) {
            QString note;
            // Once the dialog shows, as the operator would.
            QTimer::singleShot(0, [&] {
                auto& dialog = *qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (c.kind >= 0) {
                    dialog.findChild<QComboBox*>(QStringLiteral("tipo"))->setCurrentIndex(c.kind);
                }
                for (auto* button : dialog.findChildren<QPushButton*>()) {
                    if (button->text() == QString::fromUtf8(c.preset) && button->isVisible()) {
                        button->click();
                    }
                }
                if (c.typed > 0) {
                    dialog.findChild<QDoubleSpinBox*>(QStringLiteral("distanza"))
                        ->setValue(c.typed);
                }
                note = dialog.findChild<QLabel*>(QStringLiteral("settore"))->text();
                dialog.accept();
            });
            const auto geometry = GeometryDialog::ask(nullptr, c.current, c.rate);
            QVERIFY(geometry);
            QCOMPARE(geometry->kind, c.expected.kind);
            QCOMPARE(geometry->baseline, c.expected.baseline);
            QCOMPARE(geometry->speed, c.expected.speed);
            const QString part = QString::fromUtf8(c.note).replace(',', QLocale().decimalPoint());
            QVERIFY2(*c.note ? note.contains(part) : note.isEmpty(), qPrintable(note));
        }
    }
};

QTEST_MAIN(GeometryDialogTest)
#include "geometry_dialog_test.moc"
