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
        driver.form->offerSources(sources, std::nullopt);
        SourceDialog dialog(sources, CaptureOptions::Port{});
        QVERIFY(okOf(dialog)->isEnabled());
        chooseDemo(dialog, "D2", "D3", "1 MHz");
        QCOMPARE(child<QComboBox>(dialog, "device")->count(), 1);
        QCOMPARE(child<QComboBox>(dialog, "right")->count(), 8);
        QVERIFY(okOf(dialog)->isEnabled());
        QVERIFY(child<QLabel>(dialog, "status")->text().contains(QString::number(kSamples)));

        driver.form->useSource(std::get<CaptureOptions::Analyser>(dialog.choice()));
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

        driver.form->useSource(std::nullopt);
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
        QVERIFY(!sweep->isEnabled());
        child<QRadioButton>(dialog, "simulator")->setChecked(true);
        QVERIFY(sweep->isEnabled());
        QCOMPARE(sweep->value(), SourceDialog::kSweep);
        sweep->setValue(30);
        child<QComboBox>(dialog, "simrate")->setCurrentText(QStringLiteral("1 MHz"));
        QVERIFY(okOf(dialog)->isEnabled());
        QVERIFY(child<QLabel>(dialog, "status")->text().contains(QStringLiteral("130 s")));

        WindowSettings::saveSourceChoice(dialog.choice());
        const auto remembered = WindowSettings::sourceChoice();
        const auto* simulation = std::get_if<CaptureOptions::Simulation>(&remembered);
        QVERIFY(simulation);
        QCOMPARE(simulation->lag, 0);
        QCOMPARE(simulation->lagEnd, 0);
        QCOMPARE(simulation->seconds, 30.0);
        QCOMPARE(simulation->rate, std::uint64_t{1'000'000});
        SourceDialog reopened(sources, remembered);
        QVERIFY(child<QRadioButton>(reopened, "simulator")->isChecked());
        QCOMPARE(child<QSpinBox>(reopened, "sweep")->value(), 30);
        QCOMPARE(child<QComboBox>(reopened, "simrate")->currentText(), QStringLiteral("1 MHz"));
    }

    // A remembered source that does not pass its checks is the port; one
    // remembered before the kind was, an analyser.
    void sourceSettingsThatDoNotPassGiveThePort() {
        using Keys = std::vector<std::pair<const char*, const char*>>;
        const Keys analyser = {{"source/device", "demo"},
                               {"source/right", "D0"},
                               {"source/left", "D1"},
                               {"source/samplerate", "1000000"}};
        const struct {
            Keys keys;
            const char* kind;
        } cases[] = {
            {{{"source/kind", "simulator"}, {"source/sweep", "10"}, {"source/simrate", "50000"}},
             "simulator"},
            {{{"source/kind", "simulator"}, {"source/sweep", "0"}, {"source/simrate", "50000"}},
             "port"},
            {{{"source/kind", "simulator"}, {"source/sweep", "1e3"}, {"source/simrate", "50000"}},
             "port"},
            {{{"source/kind", "simulator"}, {"source/sweep", "4000"}, {"source/simrate", "50000"}},
             "port"},
            {{{"source/kind", "simulator"}, {"source/sweep", "10"}, {"source/simrate", "7"}},
             "port"},
            {{{"source/kind", "simulator"}, {"source/simrate", "50000"}}, "port"},
            {{{"source/kind", "simulator"}, {"source/sweep", "10"}}, "port"},
            {{{"source/kind", "simulatore"}, {"source/sweep", "10"}, {"source/simrate", "50000"}},
             "port"},
            {analyser, "analyser"},
            {{{"source/kind", "port"}, analyser[0], analyser[1], analyser[2], analyser[3]}, "port"},
            {{{"source/kind", "analyser"}, {"source/sweep", "10"}, {"source/simrate", "50000"}},
             "port"},
        };
        const char* const kinds[] = {"port", "analyser", "simulator"};
        for (const auto& c : cases) {
            QSettings().clear();
            for (const auto& [key, value] : c.keys) {
                QSettings().setValue(QString::fromLatin1(key), QString::fromLatin1(value));
            }
            const auto choice = WindowSettings::sourceChoice();
            QCOMPARE(kinds[choice.index()], c.kind);
        }
    }

private:
    QTemporaryDir settings_;
};

QTEST_MAIN(SourceDialogTest)
#include "source_dialog_test.moc"
