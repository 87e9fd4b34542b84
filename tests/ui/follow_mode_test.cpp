// Continuous scanning in the window, from libsigrok's demo analyser.

#include "column_labels.h"
#include "form3_driver.h"
#include "full_disk.h"
#include "installed_sources.h"
#include "result_csv.h"
#include "row_recording.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>

using Kind = OperatorError::Kind;

class FollowModeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QVERIFY(folder_.isValid());
        keepSettingsIn(folder_.path());
    }

    // Rows form in the panel below the layout and are recorded; the
    // commands wait meanwhile, and Esc gives them back.
    void rowsFormBelowTheLayoutUntilEsc() {
        Form3Driver driver;
        InstalledSources sources(driver.fakePort);
        driver.form->offerSources(
            sources,
            CaptureOptions::Analyser{CaptureOptions::parseDeviceSpec("demo"), {}, 1'000'000, {}});
        const int layoutBottom = driver.label("Risultato")->geometry().bottom();
        const QString record = folder_.filePath(QStringLiteral("righe.csv"));
        driver.form->setGeometry({100.0, 1300.0, Bearing::Geometry::Kind::Pipe});

        driver.form->setFollowing(true);
        QVERIFY(driver.form->following());
        QVERIFY(!driver.button("Command1")->isEnabled());
        QVERIFY(!driver.slider()->isEnabled());
        driver.form->recordRows(record);
        QTRY_VERIFY_WITH_TIMEOUT(driver.form->bearingTime()->rows() >= 3, 20'000);
        QVERIFY(driver.form->bearingTime()->y() > layoutBottom);
        QCOMPARE(driver.form->plot().bars().size(), std::size_t{2 * (kMaxLag + 1)});
        QVERIFY(!driver.label("Risultato")->text().isEmpty());
        QCOMPARE(driver.form->bearingTime()->columnLabels().back().text,
                 QStringLiteral("49") + QLocale().decimalPoint() + QStringLiteral("94 m"));

        QTest::keyClick(driver.form.get(), Qt::Key_Escape);
        QVERIFY(!driver.form->following());
        QVERIFY(driver.button("Command1")->isEnabled());
        QVERIFY(driver.form->bearingTime()->isVisible());
        // The last row's samples are kept whole: 83 or 84 windows at 1 MHz.
        driver.form->saveCapture(QStringLiteral("riga.sr"));
        QVERIFY(driver.files.saved.at(0).samples.size() >= 83u * kWindow + kMaxLag);

        QFile file(record);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.front(), QByteArray(ResultCsv::kRowHeader));
        QVERIFY2(lines.size() >= 3, file.fileName().toLocal8Bit());
        QVERIFY2(lines.at(1).contains(",83,") || lines.at(1).contains(",84,"), lines.at(1));
    }

    // Three rows recorded onto each target: only a regular file is opened,
    // at once; whatever stops the recording, the file ends at a whole row.
    void recordingKeepsWholeRowsInRegularFilesOnly() {
        enum class Midway { Nothing, FillDisk, Remove };
        const struct {
            const char* target;
            Midway midway;
            std::optional<Kind> error;
            int rowsLeft; // -1: no file left
        } cases[] = {{"rows.csv", Midway::Nothing, {}, 3},
                     {"fifo", Midway::Nothing, Kind::FileTargetNotRegular, 0},
                     {"/dev/null", Midway::Nothing, Kind::FileTargetNotRegular, 0},
                     {"rows.csv", Midway::FillDisk, Kind::RecordingStopped, 1},
                     {"rows.csv", Midway::Remove, Kind::RecordingFileGone, -1}};
        const std::string text = ResultCsv::row(Follower::Row{}, kPortRate);
        const QByteArray line = QByteArray::fromStdString(text) + '\n';
        for (const auto& c : cases) {
            QTemporaryDir folder;
            const QString path = c.target[0] == '/'
                                     ? QString::fromLatin1(c.target)
                                     : folder.filePath(QString::fromLatin1(c.target));
            ::mkfifo(folder.filePath(QStringLiteral("fifo")).toLocal8Bit().constData(), 0600);
            std::optional<RowRecording> recording;
            try {
                recording.emplace(path.toStdString(), ResultCsv::kRowHeader);
            } catch (const OperatorError& error) {
                QVERIFY2(c.error == error.kind(), c.target);
                continue;
            }
            // The first failure ends the recording, as the session drops it.
            std::optional<OperatorError> failure;
            const auto append = [&] {
                try {
                    if (!failure) {
                        recording->append(text);
                    }
                } catch (const OperatorError& error) {
                    failure = error;
                }
            };
            append();
            std::optional<FullDisk> full;
            if (c.midway == Midway::FillDisk) {
                full.emplace(QFileInfo(path).size() + line.size() / 2);
            } else if (c.midway == Midway::Remove) {
                QFile::remove(path);
            }
            append();
            append();
            recording.reset();
            full.reset();
            QVERIFY2(c.error == (failure ? std::optional(failure->kind()) : std::nullopt),
                     c.target);
            QFile file(path);
            QCOMPARE(file.open(QIODevice::ReadOnly), c.rowsLeft >= 0);
            QCOMPARE(file.readAll(), c.rowsLeft < 0 ? QByteArray()
                                                    : QByteArray(ResultCsv::kRowHeader) + '\n' +
                                                          line.repeated(c.rowsLeft));
            if (c.error == Kind::RecordingStopped) {
                QCOMPARE(failure->choices(), std::vector{std::to_string(c.rowsLeft)});
            }
        }
    }

    // Each row from dark blue at its lowest to yellow at its highest; a
    // source's peak in white, a row that lost windows red at both ends.
    void rowLinesMarkPeaksAndLosses() {
        Follower::Row row;
        for (std::size_t i = 0; i < row.axis.size(); ++i) {
            row.axis[i] = static_cast<double>(i);
        }
        const struct {
            Bearing::Verdict verdict;
            double lag;
            int lost;
            std::size_t white; // none when row.axis.size()
        } cases[] = {{Bearing::Verdict::None, 0.0, 0, row.axis.size()},
                     {Bearing::Verdict::Source, -26.4, 0, kMaxLag - 26},
                     {Bearing::Verdict::Source, 3.6, 2, kMaxLag + 4}};
        for (const auto& c : cases) {
            row.result.verdict = c.verdict;
            row.result.lag = c.lag;
            row.lost = c.lost;
            const auto line = BearingTimePlot::lineOf(row);
            const QRgb red = qRgb(255, 0, 0);
            QCOMPARE(line.front() == red, c.lost > 0);
            QCOMPARE(line.back() == red, c.lost > 0);
            // viridis's ends, within the fit's few steps.
            const auto near = [](QRgb colour, int r, int g, int b) {
                return std::abs(qRed(colour) - r) <= 4 && std::abs(qGreen(colour) - g) <= 4 &&
                       std::abs(qBlue(colour) - b) <= 4;
            };
            if (c.lost == 0) {
                QVERIFY(near(line.front(), 68, 1, 84));
                QVERIFY(near(line.back(), 253, 231, 37));
            }
            for (std::size_t i = 0; i < line.size(); ++i) {
                QCOMPARE(line[i] == qRgb(255, 255, 255), i == c.white);
            }
        }
    }

    // Round values where the geometry puts them, left to right: 90 degrees,
    // or the pipe's sensors, where the lags reach them; the right sensor on
    // the right.
    void columnsAreLabelledInDegreesOrMetres() {
        using Place = Bearing::Geometry::Kind;
        const struct {
            Bearing::Geometry geometry;
            const char* texts; // at 50 kHz
            double lastLag;
        } cases[] = {{{1.0, 343.0, Place::Baseline}, "-45° -30° -15° 0° 15° 30° 45°", 103.07},
                     {{0.3, 343.0, Place::Baseline}, "-90° -60° -30° 0° 30° 60° 90°", 43.73},
                     {{2.0, 1200.0, Place::Pipe}, "2.0 m 1.5 m 1.0 m 0.5 m 0.0 m", 83.33}};
        for (const auto& c : cases) {
            const auto labels = ColumnLabels::of(50'000, c.geometry);
            QStringList texts;
            for (const auto& label : labels) {
                texts << label.text;
            }
            QCOMPARE(texts.join(QLatin1Char(' ')), QString::fromUtf8(c.texts).replace(
                                                       QLatin1Char('.'), QLocale().decimalPoint()));
            QVERIFY2(std::abs(labels.back().lag - c.lastLag) < 0.02,
                     qPrintable(QString::number(labels.back().lag)));
        }
    }

private:
    QTemporaryDir folder_;
};

QTEST_MAIN(FollowModeTest)
#include "follow_mode_test.moc"
