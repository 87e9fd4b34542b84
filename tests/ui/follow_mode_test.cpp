// Continuous scanning in the window, from libsigrok's demo analyser.

#include "form3_driver.h"
#include "full_disk.h"
#include "installed_sources.h"
#include "operator_message.h"
#include "result_csv.h"
#include "row_queue.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Kind = OperatorError::Kind;

std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void put(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

} // namespace

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

        driver.form->setFollowing(true);
        QVERIFY(driver.form->following());
        QVERIFY(!driver.button("Command1")->isEnabled());
        QVERIFY(!driver.slider()->isEnabled());
        driver.form->recordRows(record);
        QTRY_VERIFY_WITH_TIMEOUT(driver.form->bearingTime()->rows() >= 3, 20'000);
        QVERIFY(driver.form->bearingTime()->y() > layoutBottom);
        QCOMPARE(driver.form->plot().bars().size(), std::size_t{2 * (kMaxLag + 1)});
        QVERIFY(!driver.label("Risultato")->text().isEmpty());

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
    // at once whatever it is; the file ends at a whole row whatever stops the
    // recording, and the failure says how many rows it kept.
    void recordingKeepsWholeRowsInRegularFilesOnly() {
        const Follower::Row row;
        const std::string line = ResultCsv::row(row.arrived, row.windows, row.lost, row.result);
        const std::string header = std::string(ResultCsv::kRowHeader) + "\n";
        const std::string rows = line + "\n";
        const struct {
            const char* name;
            std::function<std::string(const std::string& folder)> make; // the target
            std::optional<Kind> refusal;                                // at the start
            std::size_t room = 0; // bytes the disk takes, when full
            std::function<void(const std::string& path)> afterFirstRow = {};
            std::optional<Kind> stop = {};
            std::string left = {}; // the file's contents at the end
            std::vector<std::string> kept = {};
        } cases[] = {
            {"new file",
             [](const std::string& f) { return f + "/new.csv"; },
             {},
             0,
             {},
             {},
             header + rows + rows + rows},
            {"file with rows",
             [&](const std::string& f) {
                 put(f + "/old.csv", header + rows);
                 return f + "/old.csv";
             },
             {},
             0,
             {},
             {},
             header + rows + rows + rows + rows},
            {"FIFO",
             [](const std::string& f) {
                 ::mkfifo((f + "/fifo").c_str(), 0600);
                 return f + "/fifo";
             },
             Kind::FileTargetNotRegular},
            {"device node", [](const std::string&) { return "/dev/null"; },
             Kind::FileTargetNotRegular},
            {"folder", [](const std::string& f) { return f; }, Kind::FileTargetNotRegular},
            {"full disk",
             [](const std::string& f) { return f + "/full.csv"; },
             {},
             header.size() + rows.size() + rows.size() / 2,
             {},
             Kind::RecordingStopped,
             header + rows,
             {"1"}},
            {"removed file",
             [](const std::string& f) { return f + "/removed.csv"; },
             {},
             0,
             [](const std::string& path) { ::unlink(path.c_str()); },
             Kind::RecordingFileGone,
             ""},
            {"replaced file",
             [](const std::string& f) { return f + "/replaced.csv"; },
             {},
             0,
             [](const std::string& path) {
                 put(path + ".new", "other\n");
                 std::rename((path + ".new").c_str(), path.c_str());
             },
             Kind::RecordingFileGone,
             "other\n"},
        };
        for (const auto& c : cases) {
            QTemporaryDir folder;
            const std::string path = c.make(folder.path().toStdString());
            std::optional<FullDisk> full;
            if (c.room > 0) {
                full.emplace(static_cast<off_t>(c.room));
            }
            RowQueue queue([] {});
            try {
                queue.record(path);
                QVERIFY2(!c.refusal, c.name);
            } catch (const OperatorError& error) {
                QVERIFY2(c.refusal && error.kind() == *c.refusal, c.name);
                QCOMPARE(error.subject(), path);
                continue;
            }
            queue.push(row);
            if (c.afterFirstRow) {
                c.afterFirstRow(path);
            }
            queue.push(row);
            queue.push(row);
            full.reset();
            const auto failure = queue.recordingFailure();
            QCOMPARE(failure.has_value(), c.stop.has_value());
            if (failure) {
                QVERIFY2(failure->kind() == *c.stop, c.name);
                QCOMPARE(failure->choices(), c.kept);
            }
            QCOMPARE(contentsOf(path), c.left);
        }
    }

    // The window says why it will not record onto a FIFO, without waiting
    // for a reader.
    void recordingOntoAFifoIsRefusedAtOnce() {
        const std::string fifo = folder_.filePath(QStringLiteral("fifo")).toStdString();
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        Form3Driver driver;
        const QString message = Form3Driver::answeringMessageBox(
            [&] { driver.form->recordRows(QString::fromStdString(fifo)); });
        QCOMPARE(message,
                 QString::fromStdString(operatorMessage({Kind::FileTargetNotRegular, fifo})));
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

private:
    QTemporaryDir folder_;
};

QTEST_MAIN(FollowModeTest)
#include "follow_mode_test.moc"
