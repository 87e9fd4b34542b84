#include "form3_driver.h"
#include "plot_geometry.h"

#include <QtTest>
#include <algorithm>
#include <random>

namespace {

// What the button colours must show, worked out from the events alone.
struct ColourModel {
    QColor command3, command4, command2;
};

bool onlyBits(const SampleStore::Bits& channel) {
    return std::all_of(channel.begin(), channel.end(), [](std::uint8_t b) { return b <= 1; });
}

bool unusedLagsZero(const SampleStore::Correlogram& correlogram) {
    return std::all_of(correlogram.begin() + kMaxLag + 1, correlogram.end(),
                       [](double value) { return value == 0.0; });
}

} // namespace

// Random operator sessions: every command in any order, scans that succeed or
// fail at any call, and pointer moves anywhere, with the window's invariants
// checked after every event.
class Form3OperatorTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }

    void randomSessionsKeepTheInvariants() {
        const auto seed =
            static_cast<std::uint32_t>(qEnvironmentVariableIsSet("OPERATOR_SEED")
                                           ? qEnvironmentVariableIntValue("OPERATOR_SEED")
                                           : std::random_device{}());
        std::mt19937 random(seed);
        const QByteArray context = "seed " + QByteArray::number(seed) + " (set OPERATOR_SEED)";

        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        const QColor face = buttonFace();
        ColourModel model{face, face, face};
        const QSize size = driver.form->size();

        for (int event = 0; event < 10000; ++event) {
            const int kind = std::uniform_int_distribution<int>(0, 99)(random);
            QByteArray what = context + ", event " + QByteArray::number(event) + ": ";
            if (kind < 40) {
                // Whole pixels, as the window system reports them at scale 1.
                const QPointF at(std::uniform_int_distribution<int>(0, size.width() - 1)(random),
                                 std::uniform_int_distribution<int>(0, size.height() - 1)(random));
                const QString before = driver.readout();
                driver.moveTo(at);
                QWidget* under = driver.form->childAt(at.toPoint());
                const QString expected =
                    under ? before
                          : QLocale().toString(PlotGeometry::lagAt(static_cast<float>(at.x() * 15)),
                                               'g', 15);
                what += "move to " + QByteArray::number(at.x()) + "," + QByteArray::number(at.y());
                QVERIFY2(driver.readout() == expected, what.constData());
                continue;
            }
            if (kind < 60) {
                const int value = std::uniform_int_distribution<int>(-2, 122)(random);
                driver.slider()->setValue(value);
                const int clamped = std::clamp(value, 0, 120);
                what += "slider " + QByteArray::number(value);
                QVERIFY2(driver.slider()->value() == clamped, what.constData());
                continue;
            }
            if (kind < 70) {
                QTest::mouseClick(driver.button("Command3"), Qt::LeftButton);
                model.command3 = kRed;
                model.command4 = face;
                what += "left source";
                QVERIFY2(driver.form->store().simulatedDelay == driver.slider()->value(),
                         what.constData());
            } else if (kind < 80) {
                QTest::mouseClick(driver.button("Command4"), Qt::LeftButton);
                model.command4 = kRed;
                model.command3 = face;
                what += "right source";
            } else if (kind < 88) {
                QTest::mouseClick(driver.button("Command2"), Qt::LeftButton);
                model.command2 = face;
                what += "analysis";
                QVERIFY2(driver.form->plot().bars().size() == 242, what.constData());
            } else {
                const bool fails = std::uniform_int_distribution<int>(0, 1)(random) == 1;
                driver.port->calls = 0;
                driver.port->failAtCall =
                    fails ? std::uniform_int_distribution<long>(0, 259999)(random) : -1;
                driver.port->answer =
                    static_cast<std::uint8_t>(std::uniform_int_distribution<int>(0, 255)(random));
                const QString message = Form3Driver::answeringMessageBox(
                    [&] { QTest::mouseClick(driver.button("Command1"), Qt::LeftButton); });
                if (!fails) {
                    model.command3 = model.command4 = face;
                    model.command2 = kGreen;
                }
                what += fails ? "failing scan" : "scan";
                QVERIFY2(message.isEmpty() != fails, what.constData());
            }
            const SampleStore& store = driver.form->store();
            QVERIFY2(onlyBits(store.channelLeft) && onlyBits(store.channelRight), what.constData());
            QVERIFY2(unusedLagsZero(store.correlationLeft) &&
                         unusedLagsZero(store.correlationRight),
                     what.constData());
            QVERIFY2(driver.colourOf("Command3") == model.command3, what.constData());
            QVERIFY2(driver.colourOf("Command4") == model.command4, what.constData());
            QVERIFY2(driver.colourOf("Command2") == model.command2, what.constData());
        }
    }
};

QTEST_MAIN(Form3OperatorTest)
#include "form3_operator_test.moc"
