#include "bar_probe.h"
#include "form3_driver.h"
#include "operator_message.h"
#include "plot_geometry.h"
#include "test_values.h"
#include "window_settings.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>
#include <algorithm>
#include <cstring>

namespace {

struct Colours {
    QColor command3, command4, command2;
};

Colours coloursOf(const Form3Driver& driver) {
    return {driver.colourOf("Command3"), driver.colourOf("Command4"), driver.colourOf("Command2")};
}

void expectColours(const Form3Driver& driver, const Colours& expected) {
    const Colours actual = coloursOf(driver);
    QCOMPARE(actual.command3, expected.command3);
    QCOMPARE(actual.command4, expected.command4);
    QCOMPARE(actual.command2, expected.command2);
}

// The window as the screen shows it.
QImage onScreen(const Form3Driver& driver) {
    QApplication::processEvents();
    return driver.form->screen()->grabWindow(driver.form->winId()).toImage();
}

// The median red, green and blue of a button's face on the screen, inside its
// two-pixel border and with the pixels of its caption left out.
QColor medianFace(const QImage& screen, const QPushButton* button) {
    const QRect face = button->geometry().adjusted(2, 2, -2, -2);
    const QRect caption =
        QFontMetrics(button->font())
            .boundingRect(button->rect(), Qt::AlignCenter | Qt::TextWordWrap, button->text())
            .translated(button->geometry().topLeft());
    std::vector<int> channels[3];
    for (int y = face.top(); y <= face.bottom(); ++y) {
        for (int x = face.left(); x <= face.right(); ++x) {
            if (!caption.contains(x, y)) {
                const QColor pixel = screen.pixelColor(x, y);
                channels[0].push_back(pixel.red());
                channels[1].push_back(pixel.green());
                channels[2].push_back(pixel.blue());
            }
        }
    }
    int median[3];
    for (int c = 0; c < 3; ++c) {
        auto middle = channels[c].begin() + static_cast<std::ptrdiff_t>(channels[c].size() / 2);
        std::nth_element(channels[c].begin(), middle, channels[c].end());
        median[c] = *middle;
    }
    return {median[0], median[1], median[2]};
}

int tallestLeftLag(const SampleStore& store) {
    const auto* first = store.correlationLeft.data();
    return static_cast<int>(std::max_element(first, first + 121) - first);
}

} // namespace

class Form3CommandsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QVERIFY(settingsFolder_.isValid());
        keepSettingsIn(settingsFolder_.path());
    }

    void buttonColoursRecordWhatTheChannelsHold() {
        Form3Driver driver;
        expectColours(driver, {buttonFace(), buttonFace(), buttonFace()});
        QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
        expectColours(driver, {kRed, buttonFace(), buttonFace()});
        QTest::mouseClick(driver.button("Command4"), Qt::LeftButton);
        expectColours(driver, {buttonFace(), kRed, buttonFace()});
        QTest::mouseClick(driver.button("Command1"), Qt::LeftButton);
        expectColours(driver, {buttonFace(), buttonFace(), kGreen});
        // A simulation after a scan leaves the analysis button green.
        QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
        expectColours(driver, {kRed, buttonFace(), kGreen});
        QTest::mouseClick(driver.button("Command2"), Qt::LeftButton);
        expectColours(driver, {kRed, buttonFace(), buttonFace()});
        QCOMPARE(driver.colourOf("Command1"), buttonFace());
    }

    void colouredButtonsShowTheirColour() {
        Form3Driver driver;
        QTest::mouseClick(driver.button("Command4"), Qt::LeftButton);
        QTest::mouseClick(driver.button("Command1"), Qt::LeftButton);
        QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
        const QImage image = driver.form->grab().toImage();
        const auto shade = [&](const char* name) {
            // Low inside the bevel, clear of the caption (the face shades
            // lighter towards the top).
            const QRect area = driver.button(name)->geometry();
            return image.pixelColor(area.left() + 4, area.bottom() - 6);
        };
        const QColor red = shade("Command3");
        QVERIFY(red.red() > 200 && red.green() < 120 && red.blue() < 120);
        const QColor green = shade("Command2");
        QVERIFY(green.green() > 200 && green.red() < 120 && green.blue() < 120);
        const QColor plain = shade("Command4");
        QVERIFY(qAbs(plain.red() - plain.green()) < 10 && plain.red() > 150);
    }

    // The numbers come from the screen: a style that lightens the colour it
    // is given, as Fusion's gradient does, shows a pink for red.
    void marksShowTheirExactColoursOnScreen() {
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        QTest::mouseClick(driver.button("Command1"), Qt::LeftButton);
        QTest::mouseClick(driver.button("Command4"), Qt::LeftButton);
        driver.button("Command1")->setFocus();
        QImage screen = onScreen(driver);
        QVERIFY(!screen.isNull());
        QCOMPARE(medianFace(screen, driver.button("Command4")), kRed);
        QCOMPARE(medianFace(screen, driver.button("Command2")), kGreen);
        // Unmarked buttons keep the style's face, lighter at the top.
        for (const char* name : {"Command1", "Command3"}) {
            const QRect area = driver.button(name)->geometry();
            const QColor face = medianFace(screen, driver.button(name));
            QVERIFY2(qAbs(face.red() - buttonFace().red()) < 16 && face.red() == face.green(),
                     name);
            QVERIFY(screen.pixelColor(area.left() + 4, area.top() + 3).lightness() >
                    screen.pixelColor(area.left() + 4, area.bottom() - 3).lightness());
        }

        // Raised: light above and left, dark below and right; sunken while
        // pressed; and the focus frame shows on the red face.
        QPushButton* red = driver.button("Command4");
        const QRect area = red->geometry();
        const auto topLeftLightness = [&] { return screen.pixelColor(area.topLeft()).lightness(); };
        const auto focusRow = [&] {
            int framed = 0;
            for (int x = area.left() + 6; x <= area.right() - 6; ++x) {
                framed += screen.pixelColor(x, area.top() + 4) != kRed ? 1 : 0;
            }
            return framed;
        };
        const int raised = topLeftLightness();
        QVERIFY(raised > screen.pixelColor(area.bottomRight()).lightness());
        QCOMPARE(focusRow(), 0);
        // The style frames the focus once the keyboard has moved it.
        QApplication::setActiveWindow(driver.form.get());
        driver.button("Command3")->setFocus();
        QTest::keyClick(driver.button("Command3"), Qt::Key_Tab);
        QVERIFY(red->hasFocus());
        red->setDown(true);
        screen = onScreen(driver);
        QVERIFY(topLeftLightness() < raised);
        QVERIFY(focusRow() > 0);
        QCOMPARE(medianFace(screen, red), kRed);
        red->setDown(false);
    }

    void analysisFirstThingDrawsBothFansAtFullHeight() {
        Form3Driver driver;
        QTest::mouseClick(driver.button("Command2"), Qt::LeftButton);
        const auto& bars = driver.form->plot().bars();
        QCOMPARE(bars.size(), 242U);
        for (std::size_t n = 0; n < bars.size(); ++n) {
            const Side sector = n < 121 ? Side::Left : Side::Right;
            QCOMPARE(bars[n].x, PlotGeometry::barX(sector, static_cast<int>(n % 121)));
            QCOMPARE(bars[n].endY, PlotGeometry::barEndY(kAllAgree));
        }
        // A second analysis replaces the bars instead of adding to them.
        QTest::mouseClick(driver.button("Command2"), Qt::LeftButton);
        QCOMPARE(driver.form->plot().bars().size(), 242U);
    }

    void simulationUsesTheSlidersValueWhenItStarts() {
        Form3Driver driver;
        QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
        QCOMPARE(driver.form->store().simulatedDelay, 120);
        QVERIFY(driver.label("Label16")->text().isEmpty());
        QTest::mouseClick(driver.button("Command2"), Qt::LeftButton);
        QCOMPARE(tallestLeftLag(driver.form->store()), 120);

        const auto before = std::make_unique<SampleStore>(driver.form->store());
        driver.slider()->triggerAction(QAbstractSlider::SliderSingleStepSub);
        QCOMPARE(driver.label("Label16")->text(), QStringLiteral("119"));
        driver.slider()->triggerAction(QAbstractSlider::SliderPageStepSub);
        QCOMPARE(driver.label("Label16")->text(), QStringLiteral("118"));
        QTest::keyClick(driver.slider(), Qt::Key_Home);
        QCOMPARE(driver.label("Label16")->text(), QStringLiteral("0"));
        QTest::keyClick(driver.slider(), Qt::Key_Right);
        QTest::keyClick(driver.slider(), Qt::Key_Right);
        QCOMPARE(driver.label("Label16")->text(), QStringLiteral("2"));
        QTest::keyClick(driver.slider(), Qt::Key_Left);
        QCOMPARE(driver.label("Label16")->text(), QStringLiteral("1"));
        // Moving the slider alone changes no buffer.
        QVERIFY(std::memcmp(before.get(), &driver.form->store(), sizeof(SampleStore)) == 0);

        QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
        QCOMPARE(driver.form->store().simulatedDelay, 1);
    }

    void dragReportsOnlyWhereTheThumbIsLetGo() {
        Form3Driver driver;
        QScrollBar* slider = driver.slider();
        slider->setSliderDown(true);
        for (int position : {100, 80, 37}) {
            slider->setSliderPosition(position);
            QVERIFY(driver.label("Label16")->text().isEmpty());
        }
        slider->setSliderDown(false);
        QCOMPARE(driver.label("Label16")->text(), QStringLiteral("37"));
    }

    void tallestBarStandsAtTheSimulatedDelay() {
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        driver.slider()->setValue(37);
        QTest::mouseClick(driver.button("Command4"), Qt::LeftButton);
        QTest::mouseClick(driver.button("Command2"), Qt::LeftButton);
        QCOMPARE(tallestRightBar(driver.form->grab().toImage()), 37);
    }

    void scanFillsTheChannelsFromThePort() {
        Form3Driver driver;
        driver.port->answer = 0x02;
        QTest::mouseClick(driver.button("Command1"), Qt::LeftButton);
        const SampleStore& store = driver.form->store();
        QCOMPARE(int(store.channelLeft[kSplitSamples]), 1);
        QCOMPARE(int(store.channelRight[kSplitSamples]), 0);
        QCOMPARE(int(store.rawSamples[kSamples]), 0x02);
        QCOMPARE(driver.port->calls, 260000L);
        QVERIFY(!QApplication::overrideCursor());
    }

    void failedScanSaysWhyAndChangesNothing() {
        Form3Driver driver;
        QTest::mouseClick(driver.button("Command4"), Qt::LeftButton);
        QTest::mouseClick(driver.button("Command1"), Qt::LeftButton);
        QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
        const Colours before = coloursOf(driver);
        const auto store = std::make_unique<SampleStore>(driver.form->store());

        for (const long failAt : {0L, 1L, 150001L}) {
            driver.port->calls = 0;
            driver.port->failAtCall = failAt;
            const QString message = Form3Driver::answeringMessageBox(
                [&] { QTest::mouseClick(driver.button("Command1"), Qt::LeftButton); });
            QCOMPARE(message, QString::fromStdString(operatorMessage(FakePortIo::kFailure)));
            expectColours(driver, before);
            QVERIFY(std::memcmp(store->channelLeft.data(), driver.form->store().channelLeft.data(),
                                sizeof(store->channelLeft)) == 0);
            QVERIFY(std::memcmp(store->channelRight.data(),
                                driver.form->store().channelRight.data(),
                                sizeof(store->channelRight)) == 0);
            QVERIFY(!QApplication::overrideCursor());
        }
    }

    // The window system's close during a scan closes the window once the
    // scan has ended, without the message of its failure.
    void closeDuringAScanClosesWhenItEnds() {
        Form3Driver driver;
        QSemaphore closeTaken;
        bool asked = false;
        driver.port->failAtCall = 10;
        driver.port->atFailure = [&] {
            QApplication::postEvent(driver.form->windowHandle(), new QCloseEvent);
            QMetaObject::invokeMethod(driver.form.get(), [&] { closeTaken.release(); });
            asked = closeTaken.tryAcquire(1, 10'000);
        };
        const QString message =
            Form3Driver::answeringMessageBox([&] { driver.form->Command1_Click(); });
        QVERIFY(asked);
        QCOMPARE(message, QString());
        QVERIFY(!driver.form->isVisible());
    }

    // Each remembered value, written over good ones as a hand or another
    // version might, is read back as the command line would take it, or
    // else as its default: a wrong geometry is none, so no bearing at all.
    void rememberedValuesPassTheCommandLinesChecks() {
        const struct {
            const char* key;
            const char* value;
            const char* read; // speed, period, integrating, rate
        } cases[] = {{"geometry/speed", "1480", "1480 200 1 24000000"},
                     {"geometry/speed", "-343", "none 200 1 24000000"},
                     {"geometry/speed", "nan", "none 200 1 24000000"},
                     {"geometry/speed", "0", "none 200 1 24000000"},
                     {"geometry/speed", "inf", "none 200 1 24000000"},
                     {"geometry/baseline", "2 m", "none 200 1 24000000"},
                     {"geometry/kind", "tubo", "none 200 1 24000000"},
                     {"follow/rowperiod", "0.05", "343 50 1 24000000"},
                     {"follow/rowperiod", "0.01", "343 100 1 24000000"},
                     {"follow/rowperiod", "nan", "343 100 1 24000000"},
                     {"analysis/integrate", "2", "343 200 0 24000000"},
                     {"source/samplerate", "10", "343 200 1 port"},
                     {"source/left", "D0", "343 200 1 port"}};
        for (const auto& c : cases) {
            QSettings().clear();
            WindowSettings::saveGeometry({2.0, Bearing::kSpeedOfSoundInAir});
            WindowSettings::saveRowPeriod(std::chrono::milliseconds(200));
            WindowSettings::saveIntegrating(true);
            WindowSettings::saveSourceChoice(CaptureOptions::Analyser{
                CaptureOptions::parseDeviceSpec("demo"), {}, 24'000'000, {}});
            QSettings().setValue(QString::fromLatin1(c.key), QString::fromLatin1(c.value));
            const auto geometry = WindowSettings::geometry();
            const auto choice = WindowSettings::sourceChoice();
            const auto* source = std::get_if<CaptureOptions::Analyser>(&choice);
            QCOMPARE(
                QStringLiteral("%1 %2 %3 %4")
                    .arg(geometry ? QString::number(geometry->speed) : QStringLiteral("none"))
                    .arg(WindowSettings::rowPeriod().count())
                    .arg(WindowSettings::integrating())
                    .arg(source ? QString::number(source->sampleRate) : QStringLiteral("port")),
                QString::fromLatin1(c.read));
        }
    }

    // A pipe's geometry and whitening outlast the window; whitening reads
    // every sample, so integrating waits while it is chosen. Settings from
    // before the geometry's kind are a baseline's.
    void pipeAndWhiteningAreRemembered() {
        QSettings().clear();
        const auto entry = [](const Form3Driver& driver, const char* text) {
            const auto all = driver.form->findChild<QMenu*>()->actions();
            return *std::find_if(all.begin(), all.end(),
                                 [&](QAction* action) { return action->text() == text; });
        };
        {
            Form3Driver driver;
            driver.form->setGeometry({120.0, 1200.0, Bearing::Geometry::Kind::Pipe});
            entry(driver, "Correlazione sbiancata")->trigger();
            QVERIFY(!entry(driver, "Integra tutta l'acquisizione")->isEnabled());
            driver.form->Command4_Click();
            driver.form->command2_click();
            QVERIFY(driver.label("Risultato")->text().contains(QStringLiteral("sbiancata su")));
        }
        Form3Driver driver;
        QCOMPARE(driver.form->session().choices().geometry->kind, Bearing::Geometry::Kind::Pipe);
        QVERIFY(driver.form->session().choices().whitening);
        QVERIFY(!entry(driver, "Integra tutta l'acquisizione")->isEnabled());
        driver.form->setWhitening(false);
        QVERIFY(entry(driver, "Integra tutta l'acquisizione")->isEnabled());
        QSettings().remove(QStringLiteral("geometry/kind"));
        QCOMPARE(WindowSettings::geometry()->kind, Bearing::Geometry::Kind::Baseline);
    }

private:
    QTemporaryDir settingsFolder_;
};

QTEST_MAIN(Form3CommandsTest)
#include "form3_commands_test.moc"
