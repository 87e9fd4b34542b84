#include "correlogram_csv.h"
#include "form3_driver.h"

#include <QAction>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QImage>
#include <QMenu>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// The texts of the menu that a right click at pixels opens, or none.
QStringList menuAt(QWidget* target, QPoint pixels) {
    QStringList texts;
    QTimer closer;
    closer.setInterval(0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
            for (QAction* action : menu->actions()) {
                if (!action->isSeparator()) {
                    texts << action->text() + (action->isEnabled() ? "" : " (spenta)");
                }
            }
            menu->close();
        }
    });
    closer.start();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pixels, target->mapToGlobal(pixels));
    QApplication::sendEvent(target, &event);
    QApplication::processEvents();
    return texts;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class Form3FilesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QApplication::setStyle(QStringLiteral("Fusion")); }

    void openedCaptureIsAScanAtTheFilesRate() {
        Form3Driver driver;
        driver.form->Command3_Click();
        driver.form->openCapture(QStringLiteral("cattura.sr"));

        QCOMPARE(driver.colourOf("Command2"), kGreen);
        QCOMPARE(driver.colourOf("Command3"), buttonFace());
        const SampleStore& store = driver.form->store();
        QCOMPARE(store.rawSamples[3], 2);
        QCOMPARE(store.channelLeft[3], 1);
        QCOMPARE(store.channelRight[3], 0);
        QCOMPARE(store.channelRight[kSplitSamples], 1);
        const QString tip = driver.label("Label1")->toolTip();
        QVERIFY2(tip.contains(QStringLiteral("24 MHz")) && tip.contains(QStringLiteral("67 ns")),
                 qPrintable(tip));
        driver.form->Command4_Click();
        QVERIFY2(driver.label("Label1")->toolTip().contains(QStringLiteral("20 \u00B5s")),
                 qPrintable(driver.label("Label1")->toolTip()));
    }

    void captureThatCannotBeOpenedChangesNothingAndSaysWhy() {
        Form3Driver driver;
        driver.form->Command4_Click();
        const SampleStore before = driver.form->store();
        const QString tip = driver.label("Label1")->toolTip();
        const QString message = Form3Driver::answeringMessageBox(
            [&] { driver.form->openCapture(QString::fromStdString(FakeCaptureFiles::kBroken)); });

        QVERIFY2(message.contains(QStringLiteral("rotto.sr")) &&
                     message.contains(QStringLiteral("CRC")),
                 qPrintable(message));
        QCOMPARE(driver.colourOf("Command4"), kRed);
        QCOMPARE(driver.colourOf("Command2"), buttonFace());
        QCOMPARE(driver.label("Label1")->toolTip(), tip);
        QVERIFY(std::memcmp(&before, &driver.form->store(), sizeof before) == 0);
    }

    // A file without the default channels offers its own in the same box:
    // picked, they are read at once; cancelled, nothing changes.
    void fileWithoutTheChannelsOffersItsOwn() {
        for (const bool accept : {true, false}) {
            Form3Driver driver;
            QString shown;
            QTimer answer;
            answer.setInterval(0);
            QObject::connect(&answer, &QTimer::timeout, [&] {
                auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget());
                if (box == nullptr) {
                    return;
                }
                shown = box->findChild<QLabel*>(QStringLiteral("message"))->text();
                box->findChild<QComboBox*>(QStringLiteral("right"))->setCurrentText("2");
                box->findChild<QComboBox*>(QStringLiteral("left"))->setCurrentText("3");
                accept ? box->accept() : box->reject();
            });
            answer.start();
            driver.form->openCapture(QString::fromStdString(FakeCaptureFiles::kNumbered));
            answer.stop();

            QVERIFY2(shown.contains(QStringLiteral("\"D0\"")) && shown.contains("0, 1, 2, 3"),
                     qPrintable(shown));
            QCOMPARE(driver.colourOf("Command2"), accept ? kGreen : buttonFace());
            const auto& origin = driver.form->instrument().marks().origin;
            QCOMPARE(origin.has_value(), accept);
            if (accept) {
                QCOMPARE(std::get<FileOrigin>(*origin).channels.right, std::string("2"));
                QCOMPARE(std::get<FileOrigin>(*origin).channels.left, std::string("3"));
            }
        }
    }

    // Every sample the data hold, at the rate of the data they came from.
    void savedCaptureHoldsEverySampleAtItsRate() {
        Form3Driver driver;
        driver.form->Command3_Click();
        driver.form->saveCapture(QStringLiteral("simulata.sr"));
        driver.form->openCapture(QStringLiteral("cattura.sr"));
        driver.form->saveCapture(QStringLiteral("aperta.sr"));

        QCOMPARE(driver.files.saved.size(), std::size_t{2});
        const auto& simulated = driver.files.saved[0];
        QCOMPARE(simulated.path, std::string("simulata.sr"));
        QCOMPARE(simulated.sampleRate, kPortRate);
        QCOMPARE(simulated.samples.size(), std::size_t(NoiseSourceSimulator::kLastCopied));
        QCOMPARE(driver.files.saved[1].sampleRate, FakeCaptureFiles::kRate);
        QVERIFY(driver.files.saved[1].samples == driver.form->instrument().heldSamples());

        driver.files.saveRefused = true;
        const QString message = Form3Driver::answeringMessageBox(
            [&] { driver.form->saveCapture(QStringLiteral("pieno.sr")); });
        QVERIFY2(message.contains(QStringLiteral("disco pieno")), qPrintable(message));
    }

    void exportsWriteTheLastAnalysisAndTheWindowAsShown() {
        Form3Driver driver;
        QTemporaryDir folder;
        const QString csv = folder.filePath(QStringLiteral("correlogramma.csv"));
        const QString png = folder.filePath(QStringLiteral("finestra.png"));
        driver.form->Command3_Click();
        driver.form->command2_click();
        driver.form->exportCorrelogram(csv);
        driver.form->saveImage(png);

        QCOMPARE(contentsOf(csv),
                 QByteArray::fromStdString(correlogramCsv(driver.form->store().correlationLeft,
                                                          driver.form->store().correlationRight)));
        const QImage image(png);
        QCOMPARE(image.size(), driver.form->size() * driver.form->devicePixelRatio());
    }

    // A folder in the way makes the last step, the rename, fail, even for root.
    void failedExportSaysWhyAndLeavesNothingBehind() {
        Form3Driver driver;
        QTemporaryDir folder;
        const QString target = folder.filePath(QStringLiteral("occupato.csv"));
        QVERIFY(QDir(folder.path()).mkdir(QStringLiteral("occupato.csv")));
        driver.form->command2_click();
        const QString message =
            Form3Driver::answeringMessageBox([&] { driver.form->exportCorrelogram(target); });

        QVERIFY2(message.contains(QStringLiteral("occupato.csv")), qPrintable(message));
        QCOMPARE(QDir(folder.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                 QStringList{QStringLiteral("occupato.csv")});
    }

    // The surface's menu; saving waits for a capture, exports for an
    // analysis, and the controls
    // keep right clicks to themselves.
    void rightClickOnTheSurfaceOpensTheFileMenu() {
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        const QStringList before = menuAt(driver.form.get(), QPoint(300, 200));
        QCOMPARE(before, (QStringList{QStringLiteral("Apri acquisizione\u2026"),
                                      QStringLiteral("Salva acquisizione\u2026 (spenta)"),
                                      QStringLiteral("Esporta correlogramma (CSV)\u2026 (spenta)"),
                                      QStringLiteral("Salva immagine (PNG)\u2026 (spenta)"),
                                      QStringLiteral("Integra tutta l'acquisizione"),
                                      QStringLiteral("Correlazione sbiancata"),
                                      QStringLiteral("Geometria\u2026"),
                                      QStringLiteral("Scansione continua (spenta)"),
                                      QStringLiteral("Periodo delle righe"),
                                      QStringLiteral("Registra\u2026 (spenta)")}));
        // An analysis of the empty channels is exported, but they hold no
        // capture. Continuous scanning waits for the sources to be offered.
        driver.form->command2_click();
        QCOMPARE(
            menuAt(driver.form.get(), QPoint(300, 200)).mid(0, 6).filter(QStringLiteral("spenta")),
            QStringList{QStringLiteral("Salva acquisizione\u2026 (spenta)")});
        driver.form->Command4_Click();
        const QStringList after = menuAt(driver.form.get(), QPoint(300, 200)).mid(0, 6);
        QVERIFY2(!after.join(',').contains(QStringLiteral("spenta")), qPrintable(after.join(',')));
        for (const char* control : {"Command1", "Command2", "HScroll1"}) {
            QVERIFY2(menuAt(driver.control(control), QPoint(5, 5)).isEmpty(), control);
        }
    }

    // Qt's own dialog, whatever the desktop offers, on the keyboard too.
    void ctrlOOpensQtsOwnDialogForSessionFiles() {
        Form3Driver driver;
        QVERIFY(QTest::qWaitForWindowExposed(driver.form.get()));
        QStringList filters;
        bool nativeRefused = false;
        QTimer closer;
        closer.setInterval(0);
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                filters = dialog->nameFilters();
                nativeRefused = dialog->testOption(QFileDialog::DontUseNativeDialog);
                dialog->reject();
            }
        });
        closer.start();
        QTest::keyClick(driver.form.get(), Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(filters, QStringList{QStringLiteral("Acquisizioni sigrok (*.sr)")});
        QVERIFY(nativeRefused);
        QCOMPARE(driver.colourOf("Command2"), buttonFace());
    }
};

QTEST_MAIN(Form3FilesTest)
#include "form3_files_test.moc"
