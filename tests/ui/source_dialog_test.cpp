// Choosing libsigrok's demo analyser in the window, as an operator would.

#include "form3_driver.h"
#include "installed_sources.h"
#include "source_dialog.h"
#include "window_settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QRadioButton>
#include <QSettings>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>
#include <array>

namespace {

template <typename T> T* child(const QWidget& parent, const char* name) {
    return parent.findChild<T*>(QString::fromLatin1(name));
}

QPushButton* okOf(const QDialog& dialog) {
    return dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
}

// The dialog after a search for the demo, with its channels and rate set.
void chooseDemo(SourceDialog& dialog, const char* right, const char* left, const char* rate) {
    dialog.findChildren<QRadioButton*>().at(1)->setChecked(true);
    child<QComboBox>(dialog, "driver")->setCurrentText(QStringLiteral("demo"));
    dialog.search();
    child<QComboBox>(dialog, "right")->setCurrentText(QString::fromLatin1(right));
    child<QComboBox>(dialog, "left")->setCurrentText(QString::fromLatin1(left));
    child<QComboBox>(dialog, "rate")->setCurrentText(QString::fromLatin1(rate));
}

} // namespace

class SourceDialogTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QVERIFY(settings_.isValid());
        keepSettingsIn(settings_.path());
    }

    // Find the demo, pick channels and a rate, scan: green, then bars; and
    // the choice is there again at the next start.
    void demoChosenInTheDialogScansAndIsRemembered() {
        Form3Driver driver;
        InstalledSources sources(driver.fakePort);
        driver.form->offerSources(sources, CaptureOptions::Port{});
        SourceDialog dialog(sources, CaptureOptions::Port{});
        QVERIFY(okOf(dialog)->isEnabled());
        chooseDemo(dialog, "D2", "D3", "1 MHz");
        QCOMPARE(child<QComboBox>(dialog, "device")->count(), 1);
        QCOMPARE(child<QComboBox>(dialog, "right")->count(), 8);
        QVERIFY(okOf(dialog)->isEnabled());
        QVERIFY(child<QLabel>(dialog, "status")->text().contains(QString::number(kSamples)));

        driver.form->useSource(dialog.choice());
        driver.form->Command1_Click();
        QCOMPARE(driver.colourOf("Command2"), kGreen);
        const auto& origin = std::get<DeviceOrigin>(*driver.form->instrument().marks().origin);
        QCOMPARE(origin.channels.right, std::string("D2"));
        QCOMPARE(driver.form->instrument().marks().sampleRate, std::uint64_t{1'000'000});
        driver.form->command2_click();
        QCOMPARE(driver.colourOf("Command2"), buttonFace());
        QVERIFY(driver.form->store().correlationRight[0] > 0.0);
        QVERIFY(!driver.label("Risultato")->text().isEmpty());

        const auto remembered = WindowSettings::sourceChoice();
        const auto* analyser = std::get_if<CaptureOptions::Analyser>(&remembered);
        QVERIFY(analyser);
        QCOMPARE(analyser->device.text, std::string("demo"));
        QCOMPARE(analyser->channels.left, std::string("D3"));
        QCOMPARE(analyser->sampleRate, std::uint64_t{1'000'000});
        SourceDialog reopened(sources, remembered);
        QVERIFY(reopened.findChildren<QRadioButton*>().at(1)->isChecked());
        QCOMPARE(child<QComboBox>(reopened, "rate")->currentText(), QStringLiteral("1 MHz"));
        QVERIFY(okOf(reopened)->isEnabled());

        driver.form->useSource(CaptureOptions::Port{});
        QVERIFY(std::holds_alternative<CaptureOptions::Port>(WindowSettings::sourceChoice()));
    }

    // What a scan cannot take leaves OK off, and says why.
    void choicesAScanCannotTakeAreRefused() {
        FakePortIo port;
        InstalledSources sources(port);
        const struct {
            const char* right;
            const char* left;
            const char* rate;
            const char* reason;
        } cases[] = {{"D0", "D1", "2k", "2167"},
                     {"D0", "D1", "1.5", "50k"},
                     {"D0", "D1", "2G", "non offre"},
                     {"D1", "D1", "1M", "diversi"}};
        for (const auto& c : cases) {
            SourceDialog dialog(sources, CaptureOptions::Port{});
            chooseDemo(dialog, c.right, c.left, c.rate);
            QVERIFY2(!okOf(dialog)->isEnabled(), c.rate);
            QVERIFY2(
                child<QLabel>(dialog, "status")->text().contains(QString::fromLatin1(c.reason)),
                c.reason);
        }
    }

    // The simulator's sweep and rate, chosen, remembered and shown again;
    // its lags are the window's to set.
    void simulatorChosenIsRememberedAndShownAgain() {
        FakePortIo port;
        InstalledSources sources(port);
        SourceDialog dialog(sources, CaptureOptions::Port{});
        auto* sweep = child<QSpinBox>(dialog, "sweep");
        child<QRadioButton>(dialog, "simulator")->setChecked(true);
        QVERIFY(sweep->isEnabled());
        sweep->setValue(30);
        child<QComboBox>(dialog, "simrate")->setCurrentText(QStringLiteral("1 MHz"));
        QVERIFY(okOf(dialog)->isEnabled());
        QVERIFY(child<QLabel>(dialog, "status")->text().contains(QStringLiteral("130 s")));

        WindowSettings::saveSourceChoice(dialog.choice());
        const auto remembered = WindowSettings::sourceChoice();
        const auto simulation = std::get<CaptureOptions::Simulation>(remembered);
        QVERIFY(simulation.lag == 0 && simulation.lagEnd == 0 && simulation.seconds == 30.0);
        QCOMPARE(simulation.rate, std::uint64_t{1'000'000});
        SourceDialog reopened(sources, remembered);
        QVERIFY(child<QRadioButton>(reopened, "simulator")->isChecked());
        QCOMPARE(child<QSpinBox>(reopened, "sweep")->value(), 30);
        QCOMPARE(child<QComboBox>(reopened, "simrate")->currentText(), QStringLiteral("1 MHz"));
    }

    // A remembered source that does not pass its checks is the port; one
    // remembered before the kind was, an analyser. Each case is kind, sweep,
    // the simulator's rate and the device, "" for a key left out.
    void sourceSettingsThatDoNotPassGiveThePort() {
        const std::array<const char*, 5> cases[] = {{"simulator", "10", "50000", "", "simulator"},
                                                    {"simulator", "0", "50000", "", "port"},
                                                    {"simulator", "1e3", "50000", "", "port"},
                                                    {"simulator", "10", "7", "", "port"},
                                                    {"simulator", "", "50000", "", "port"},
                                                    {"simulatore", "10", "50000", "", "port"},
                                                    {"", "", "", "demo", "analyser"},
                                                    {"port", "", "", "demo", "port"},
                                                    {"analyser", "10", "50000", "", "port"}};
        const char* const keys[] = {"source/kind", "source/sweep", "source/simrate",
                                    "source/device"};
        const char* const kinds[] = {"port", "analyser", "simulator"};
        for (const auto& c : cases) {
            QSettings settings;
            settings.clear();
            settings.setValue(QStringLiteral("source/samplerate"), 1'000'000);
            settings.setValue(QStringLiteral("source/right"), QStringLiteral("D0"));
            settings.setValue(QStringLiteral("source/left"), QStringLiteral("D1"));
            for (std::size_t k = 0; k < std::size(keys); ++k) {
                if (*c[k] != '\0') {
                    settings.setValue(QString::fromLatin1(keys[k]), QString::fromLatin1(c[k]));
                }
            }
            QCOMPARE(kinds[WindowSettings::sourceChoice().index()], c[4]);
        }
    }

private:
    QTemporaryDir settings_;
};

QTEST_MAIN(SourceDialogTest)
#include "source_dialog_test.moc"
