#include "form3_driver.h"
#include "plot_geometry.h"
#include "test_values.h"

#include <QFontInfo>
#include <QPainter>
#include <QtTest>
#include <cstring>

namespace {

bool isBlue(QRgb pixel) {
    return pixel == qRgb(0, 0, 255);
}

// Rows of the topmost and bottommost blue pixel of the plot area in a
// column, or (-1, -1). The blue banner above it does not count.
QPair<int, int> blueSpan(const QImage& image, int column) {
    int top = -1;
    int bottom = -1;
    for (int y = 90; y < image.height(); ++y) {
        if (isBlue(image.pixel(column, y))) {
            top = top < 0 ? y : top;
            bottom = y;
        }
    }
    return {top, bottom};
}

// The one column within a pixel of twips X that holds blue at the given row.
int blueColumnNear(const QImage& image, float xTwips, int row) {
    const int centre = qRound(xTwips / 15.0F);
    int found = -1;
    for (int x = centre - 1; x <= centre + 1; ++x) {
        if (isBlue(image.pixel(x, row))) {
            if (found >= 0) {
                return -2; // wider than one pixel
            }
            found = x;
        }
    }
    return found;
}

// A bare surface for the plot, so that bars of chosen values can be drawn.
class Surface final : public QWidget {
public:
    Surface() {
        resize(1020, 680);
        setAutoFillBackground(true);
        setPalette(QPalette(Qt::white));
    }
    CorrelogramPlot plot{*this};
    int paints = 0;

protected:
    void paintEvent(QPaintEvent*) override {
        ++paints;
        QPainter painter(this);
        plot.paint(painter);
    }
};

} // namespace

class Form3Test : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void controlsStandWhereTheLayoutPutsThem_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QRect>("geometry");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::newRow("Label14") << "Asse base ricevente" << QRect(448, 48, 113, 17) << 8.25
                                 << false;
        QTest::newRow("Label1") << "" << QRect(440, 640, 55, 20) << 12.0 << true;
        QTest::newRow("Command1") << "SCANSIONE SETTORE" << QRect(592, 624, 73, 41) << 8.25
                                  << false;
        QTest::newRow("Command3") << "Sorgente SN" << QRect(693, 624, 73, 41) << 8.25 << false;
        QTest::newRow("Command4") << "Sorgente DX" << QRect(795, 624, 73, 41) << 8.25 << false;
        QTest::newRow("Command2") << "   ANALISI     " << QRect(896, 624, 73, 41) << 8.25 << false;
        QTest::newRow("Label15") << "Impostazione ritardo simulato" << QRect(696, 552, 177, 17)
                                 << 8.25 << true;
        QTest::newRow("HScroll1") << "" << QRect(696, 584, 169, 25) << 8.25 << false;
        QTest::newRow("Label16") << "" << QRect(872, 584, 89, 33) << 12.0 << true;
    }
    void controlsStandWhereTheLayoutPutsThem() {
        QFETCH(QString, text);
        QFETCH(QRect, geometry);
        QFETCH(double, points);
        QFETCH(bool, bold);
        Form3Driver driver;
        QWidget* control = driver.control(QTest::currentDataTag());
        QVERIFY(control);
        QCOMPARE(control->geometry(), geometry);
        QCOMPARE(control->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(control->font().pointSizeF(), points);
        QCOMPARE(control->font().weight(), bold ? QFont::Bold : QFont::Normal);
        QVERIFY(!control->accessibleName().isEmpty());
        if (auto* button = qobject_cast<QPushButton*>(control)) {
            QCOMPARE(button->text(), text);
        } else if (auto* label = qobject_cast<QLabel*>(control)) {
            QCOMPARE(label->text(), text);
        }
    }

    void textSizedLabelsFitTheirText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QPoint>("topLeft");
        QTest::addColumn<double>("points");
        QTest::addColumn<bool>("bold");
        QTest::newRow("Label24") << " CORRELATORE  PANORAMICO  SETTORIALE  2 X 120  PUNTI "
                                 << QPoint(24, 0) << 24.0 << false;
        QTest::newRow("Label6") << "SETTORE DI SINISTRA" << QPoint(272, 64) << 8.25 << true;
        QTest::newRow("Label13") << "SETTORE DI DESTRA" << QPoint(600, 64) << 8.25 << true;
        QTest::newRow("Label7") << QString::fromUtf8(" n\u00B0 UNITA' DI RITARDO ")
                                << QPoint(384, 624) << 9.75 << true;
    }
    void textSizedLabelsFitTheirText() {
        QFETCH(QString, text);
        QFETCH(QPoint, topLeft);
        QFETCH(double, points);
        QFETCH(bool, bold);
        Form3Driver driver;
        QLabel* label = driver.label(QTest::currentDataTag());
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->pos(), topLeft);
        QCOMPARE(label->font().pointSizeF(), points);
        QCOMPARE(label->font().weight(), bold ? QFont::Bold : QFont::Normal);
        const int textWidth = QFontMetrics(label->font()).horizontalAdvance(text);
        QVERIFY(label->width() >= textWidth);
        // A framed label keeps half an x of indent either side of its text.
        const int indent =
            label->frameWidth() > 0 ? QFontMetrics(label->font()).horizontalAdvance('x') : 0;
        QVERIFY2(label->width() <= textWidth + 2 * label->frameWidth() + indent + 2,
                 qPrintable(QStringLiteral("%1 for %2").arg(label->width()).arg(textWidth)));
    }

    void sectorTitlesStandEitherSideOfTheAxis() {
        Form3Driver driver;
        QVERIFY(driver.label("Label6")->geometry().right() < 506);
        QVERIFY(driver.label("Label13")->geometry().left() > 507);
    }

    void windowShowsTheWholeLayoutOnASmallScreen() {
        Form3Driver driver;
        QCOMPARE(driver.form->windowTitle(),
                 QStringLiteral("Sistema sperimentale per la ricerca della correlazione tra due "
                                "segnali di rumore"));
        const QSize size = driver.form->size();
        QVERIFY(size.width() >= 1007 && size.height() >= 667);
        QVERIFY(size.width() <= 1280 && size.height() <= 740);
        const QRect children = driver.form->childrenRect();
        QVERIFY(driver.form->rect().contains(children));
    }

    void fontFallsBackToAnInstalledSansSerif() {
        Form3Driver driver;
        const QString family = QFontInfo(driver.form->font()).family();
        QVERIFY2(family == QStringLiteral("MS Sans Serif") ||
                     family == QStringLiteral("Liberation Sans"),
                 qPrintable(family));
    }

    void coloursComeFromTheLayoutAndThePalette() {
        Form3Driver driver;
        const QPalette system = QApplication::palette();
        QLabel* banner = driver.label("Label24");
        QCOMPARE(banner->palette().color(banner->backgroundRole()), QColor(0, 0, 255));
        QCOMPARE(banner->palette().color(QPalette::WindowText),
                 system.color(QPalette::HighlightedText));
        QCOMPARE(banner->frameShadow(), QFrame::Sunken);
        QCOMPARE(banner->lineWidth(), 2);
        QLabel* readout = driver.label("Label1");
        QCOMPARE(readout->palette().color(readout->backgroundRole()), QColor(192, 192, 192));
        QCOMPARE(driver.form->palette().color(QPalette::Window), system.color(QPalette::Button));
        for (const char* name : {"Command1", "Command2", "Command3", "Command4"}) {
            QCOMPARE(driver.colourOf(name), system.color(QPalette::Button));
        }
    }

    void startsEmptyWithTheSliderAtItsEnd() {
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        QVERIFY(driver.readout().isEmpty());
        QVERIFY(driver.label("Label16")->text().isEmpty());
        QCOMPARE(driver.slider()->value(), 120);
        QCOMPARE(driver.slider()->minimum(), 0);
        QCOMPARE(driver.slider()->maximum(), 120);
        QVERIFY(driver.form->plot().bars().empty());
        const auto zero = std::make_unique<SampleStore>();
        QVERIFY(std::memcmp(&driver.form->store(), zero.get(), sizeof(SampleStore)) == 0);

        QCOMPARE(QApplication::focusWidget(), driver.button("Command1"));
        QStringList order;
        for (int n = 0; n < 5; ++n) {
            order << QApplication::focusWidget()->objectName();
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        }
        QCOMPARE(order, QStringList({"Command1", "Command2", "Command3", "Command4", "HScroll1"}));
        QCOMPARE(QApplication::focusWidget(), driver.button("Command1"));
    }

    void decorationsFrameTheReadout() {
        Form3Driver driver;
        const QImage image = driver.form->grab().toImage();
        const QColor ink = QApplication::palette().color(QPalette::WindowText);
        // The axis, two pixels wide.
        QCOMPARE(blueSpan(image, 506).first, -1);
        int inked = 0;
        for (int x = 505; x <= 508; ++x) {
            inked += image.pixelColor(x, 200) == ink ? 1 : 0;
        }
        QCOMPARE(inked, 2);
        // The frame's left and bottom edges, its top edge hidden by the caption.
        QCOMPARE(image.pixelColor(376, 650), ink);
        QCOMPARE(image.pixelColor(450, 667), ink);
        QCOMPARE(image.pixelColor(385, 624), driver.form->palette().color(QPalette::Window));
    }

    void readoutGivesTheLagInTenths_data() {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<float>("x");
        QTest::addColumn<QString>("text");
        const QLocale c = QLocale::c();
        const QLocale italian(QLocale::Italian, QLocale::Italy);
        QTest::newRow("axis") << c << 7600.0F << "0";
        QTest::newRow("left lag 1") << c << 7537.5F << "-1";
        QTest::newRow("just left of the axis") << c << 7599.0F << "-0.1";
        QTest::newRow("just left, Italian") << italian << 7599.0F << "-0,1";
        QTest::newRow("a tenth") << c << 7606.25F << "0.1";
        QTest::newRow("a tenth, Italian") << italian << 7606.25F << "0,1";
        QTest::newRow("lag 12") << c << 8350.0F << "12";
        QTest::newRow("window edge") << c << 0.0F << "-121.6";
        QTest::newRow("window edge, Italian") << italian << 0.0F << "-121,6";
        QTest::newRow("far right, Italian") << italian << 19000.0F << "182,4";
        // Only the decimal separator comes from the locale: never other digits,
        // nor a minus after the number.
        QTest::newRow("window edge, Arabic")
            << QLocale(QLocale::Arabic, QLocale::Egypt) << 0.0F << QString::fromUtf8("-121\u066B6");
        QTest::newRow("lag 12, Burmese")
            << QLocale(QLocale::Burmese, QLocale::Myanmar) << 8350.0F << "12";
        QTest::newRow("a tenth, Bengali")
            << QLocale(QLocale::Bengali, QLocale::Bangladesh) << 7606.25F << "0.1";
    }
    void readoutGivesTheLagInTenths() {
        QFETCH(QLocale, locale);
        QFETCH(float, x);
        QFETCH(QString, text);
        QLocale::setDefault(locale);
        Form3Driver driver;
        driver.form->form_MouseMove(Qt::LeftButton, Qt::ShiftModifier, x, 123.0F);
        QCOMPARE(driver.readout(), text);
        QCOMPARE(driver.label("Label1")->width(), 55);
    }

    void onlyTheWindowsOwnSurfaceMovesTheReadout() {
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        driver.moveTo({510, 300}); // 7650 twips
        QCOMPARE(driver.readout(), QStringLiteral("0,8"));

        for (const char* name : {"Label24", "Label14", "Label6", "Label1", "Label7", "Label16",
                                 "Command1", "Command2", "HScroll1"}) {
            const QRect area = driver.control(name)->geometry();
            driver.moveTo(QPointF(area.center()));
            QCOMPARE(driver.readout(), QStringLiteral("0,8"));
            // A move with a button held is ignored by a label and would pass
            // on to the window unless the control keeps it.
            QMouseEvent drag(QEvent::MouseMove, QPointF(area.center()),
                             driver.form->mapToGlobal(QPointF(area.center())), Qt::NoButton,
                             Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(driver.form->windowHandle(), &drag);
            QCOMPARE(driver.readout(), QStringLiteral("0,8"));
        }

        driver.moveTo({506, 200}); // on the axis line: 7590 twips
        QCOMPARE(driver.readout(), QStringLiteral("-0,2"));
        driver.moveTo({376, 650}); // on the frame's edge: 5640 twips
        QCOMPARE(driver.readout(), QStringLiteral("-31,4"));
    }

    // Nothing processes events inside an analysis: an analysis that has gone
    // a frame without showing anything has to show its bars itself.
    void slowAnalysisShowsItsBarsAsItGoes() {
        Surface surface;
        surface.show();
        QVERIFY(QTest::qWaitForWindowExposed(&surface));
        QApplication::processEvents();
        surface.plot.clear();
        surface.plot.drawBar(Side::Right, 1, 300.0);
        const int paints = surface.paints;
        QTest::qSleep(20);
        surface.plot.drawBar(Side::Right, 2, 300.0);
        QVERIFY(surface.paints > paints);
    }

    // One device pixel wide at the screen's own pixel ratio; the scaled run
    // of this test has a ratio of 2.
    void barsAreOneDevicePixelWideAtAnyScale() {
        Surface surface;
        surface.show();
        QVERIFY(QTest::qWaitForWindowExposed(&surface));
        surface.plot.drawBar(Side::Right, 64, 300.0); // 3500 to 6000 twips high
        const QImage image = surface.grab().toImage();
        const qreal ratio = image.devicePixelRatio();
        for (const int y : {240, 300, 390}) {
            const int row = qRound(y * ratio);
            std::vector<int> blue;
            for (int x = 0; x < image.width(); ++x) {
                if (isBlue(image.pixel(x, row))) {
                    blue.push_back(x);
                }
            }
            QCOMPARE(blue.size(), 1U);
            QVERIFY(qAbs(blue.front() - 11600.0 / 15.0 * ratio) <= 1.0);
        }
    }

    void sliderOpensNoMenu() {
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        bool menuOpened = false;
        QTimer closer;
        closer.setInterval(0);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                menuOpened = true;
                popup->close();
            }
        });
        closer.start();
        const QPoint centre = driver.slider()->rect().center();
        QContextMenuEvent rightClick(QContextMenuEvent::Mouse, centre,
                                     driver.slider()->mapToGlobal(centre));
        QApplication::sendEvent(driver.slider(), &rightClick);
        QVERIFY(!menuOpened);
    }

    void barsStandAtTheirLagsAndValues() {
        Surface surface;
        surface.show();
        QVERIFY(QTest::qWaitForWindowExposed(&surface));
        surface.plot.drawBar(Side::Left, 0, kAllAgree);
        surface.plot.drawBar(Side::Left, 120, kAllAgree);
        surface.plot.drawBar(Side::Right, 0, 300.0);
        surface.plot.drawBar(Side::Right, 10, 50.0);
        surface.plot.drawBar(Side::Right, 120, kAllAgree);
        surface.plot.drawBar(Side::Right, 64, 0.0);
        const QImage image = surface.grab().toImage();

        // Lag 0 of both sectors on the axis: the taller one shows in full.
        const int axis = blueColumnNear(image, 7600.0F, 300);
        QVERIFY(axis >= 506 && axis <= 507);
        QPair<int, int> span = blueSpan(image, axis);
        QVERIFY2(span.first >= 124 && span.first <= 125, qPrintable(QString::number(span.first)));
        QVERIFY(span.second >= 399 && span.second <= 400);

        for (const float x : {100.0F, 15100.0F}) {
            const int column = blueColumnNear(image, x, 300);
            QVERIFY(column >= 0);
            span = blueSpan(image, column);
            QVERIFY(span.first >= 124 && span.first <= 125);
        }
        // A value of 50 has no length: at most the start pixel.
        const int flat = qRound(8225.0F / 15.0F);
        for (int x = flat - 1; x <= flat + 1; ++x) {
            span = blueSpan(image, x);
            QVERIFY(span.first == -1 || (span.first >= 399 && span.second <= 401));
        }
        // Below 50 a bar hangs down from its start point, to 6500 for 0.
        const int low = blueColumnNear(image, 11600.0F, 420);
        QVERIFY(low >= 0);
        span = blueSpan(image, low);
        QVERIFY(span.first >= 399 && span.first <= 400);
        QVERIFY(span.second >= 432 && span.second <= 434);

        surface.plot.clear();
        QVERIFY(surface.plot.bars().empty());
        const QImage cleared = surface.grab().toImage();
        QCOMPARE(blueSpan(cleared, axis).first, -1);
    }
};

QTEST_MAIN(Form3Test)
#include "form3_test.moc"
