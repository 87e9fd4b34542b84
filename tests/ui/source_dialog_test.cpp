// Choosing libsigrok's demo analyser in the window, as an operator would.

#include "form3_driver.h"
#include "installed_sources.h"
#include "source_dialog.h"
#include "window_settings.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QRadioButton>
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
        driver.form->offerSources(sources, CaptureOptions::Port{});
        SourceDialog dialog(sources, std::nullopt);
        QVERIFY(okOf(dialog)->isEnabled());
        chooseDemo(dialog, "D2", "D3", "1 MHz");
        QCOMPARE(child<QComboBox>(dialog, "device")->count(), 1);
        QCOMPARE(child<QComboBox>(dialog, "right")->count(), 8);
        QVERIFY(okOf(dialog)->isEnabled());
        QVERIFY(child<QLabel>(dialog, "status")->text().contains(QString::number(kSamples)));

        driver.form->useSource(*dialog.choice());
        driver.form->Command1_Click();
        QCOMPARE(driver.colourOf("Command2"), kGreen);
        const auto& origin = std::get<DeviceOrigin>(*driver.form->instrument().marks().origin);
        QCOMPARE(origin.channels.right, std::string("D2"));
        QCOMPARE(driver.form->instrument().marks().sampleRate, std::uint64_t{1'000'000});
        driver.form->command2_click();
        QCOMPARE(driver.colourOf("Command2"), buttonFace());
        QVERIFY(driver.form->store().correlationRight[0] > 0.0);
        QVERIFY(!driver.label("Risultato")->text().isEmpty());

        const auto remembered = WindowSettings::source();
        QVERIFY(remembered);
        QCOMPARE(remembered->device.text, std::string("demo"));
        QCOMPARE(remembered->channels.left, std::string("D3"));
        QCOMPARE(remembered->sampleRate, std::uint64_t{1'000'000});
        SourceDialog reopened(sources, remembered);
        QVERIFY(reopened.findChildren<QRadioButton*>().at(1)->isChecked());
        QCOMPARE(child<QComboBox>(reopened, "rate")->currentText(), QStringLiteral("1 MHz"));
        QVERIFY(okOf(reopened)->isEnabled());

        driver.form->useSource(CaptureOptions::Port{});
        QVERIFY(!WindowSettings::source());
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
            SourceDialog dialog(sources, std::nullopt);
            chooseDemo(dialog, c.right, c.left, c.rate);
            QVERIFY2(!okOf(dialog)->isEnabled(), c.rate);
            QVERIFY2(
                child<QLabel>(dialog, "status")->text().contains(QString::fromLatin1(c.reason)),
                c.reason);
        }
    }

private:
    QTemporaryDir settings_;
};

QTEST_MAIN(SourceDialogTest)
#include "source_dialog_test.moc"
