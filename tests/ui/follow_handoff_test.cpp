// Rows handed from the session's analysing thread to the window's: from a
// live stream, with the window closed while the stream may still run, and
// from an open file replayed to its end. Run under ThreadSanitizer too.

#include "form3_driver.h"
#include "result_text.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>
#include <random>
#include <thread>

namespace {

using namespace std::chrono_literals;

constexpr std::uint64_t kRate = 24'000; // two windows a 100 ms row
constexpr std::size_t kRowSamples = 2'400;
constexpr std::size_t kRowsStreamed = 300;
constexpr int kDelay = 9; // the right receiver hears first

// Noise heard by the right receiver, kDelay samples later by the left, a
// row's worth at a time, lightly paced; then nothing until stopped, as a
// live source gone quiet.
class NoiseStream final : public SampleStream {
public:
    void stream(StreamSink& sink, CaptureWorker::Progress& progress) override {
        progress.enter(OperatorError::Kind::DeviceCaptureStalled, 60s);
        std::mt19937 random(7);
        std::vector<std::uint8_t> right(kRowsStreamed * kRowSamples + kDelay);
        for (auto& bit : right) {
            bit = static_cast<std::uint8_t>(random() & 1);
        }
        std::vector<std::uint8_t> piece(kRowSamples);
        for (std::size_t at = 0; at + kRowSamples < right.size() && !sink.stopping();
             at += kRowSamples) {
            for (std::size_t i = 0; i < kRowSamples; ++i) {
                piece[i] = static_cast<std::uint8_t>(right[at + i + kDelay] | right[at + i] << 1);
            }
            sink.take(piece);
            std::this_thread::sleep_for(2ms);
        }
        while (!sink.stopping()) {
            std::this_thread::sleep_for(5ms);
        }
    }
    std::uint64_t streamRate() const override { return kRate; }
    std::string subject() const override { return "rumore"; }
};

// Every source streams noise; scans are never taken here.
class NoiseSources final : public CaptureSources {
public:
    std::vector<std::string> analyserDrivers() const override { return {}; }
    std::vector<FoundAnalyser> find(const CaptureOptions::DeviceSpec&,
                                    CaptureWorker::Progress&) override {
        return {};
    }
    std::shared_ptr<CaptureSource> port() override { return nullptr; }
    std::shared_ptr<CaptureSource> analyser(const CaptureOptions::Analyser&) override {
        return nullptr;
    }
    std::shared_ptr<CaptureSource> simulation(const CaptureOptions::Simulation&) override {
        return nullptr;
    }
    std::shared_ptr<SampleStream> stream(const CaptureOptions::Source&) override {
        ++streams;
        return std::make_shared<NoiseStream>();
    }

    int streams = 0;
};

} // namespace

class FollowHandoffTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QVERIFY(folder_.isValid());
        keepSettingsIn(folder_.path());
    }

    // Rows reach the display and the last one's result the result line; the
    // window then goes, stopped first or still following, while the stream
    // and its analysis may still run: nothing may call into it afterwards.
    void rowsReachTheWindowWhichMayCloseWhileTheStreamRuns() {
        for (const bool stopFirst : {true, false}) {
            NoiseSources sources;
            auto driver = std::make_unique<Form3Driver>();
            Form3& form = *driver->form;
            form.offerSources(sources, CaptureOptions::Port{});
            form.setRowPeriod(100ms);
            form.setFollowing(true);
            QVERIFY(form.following());
            QTRY_VERIFY_WITH_TIMEOUT(form.bearingTime()->rows() >= 50, 60'000);
            if (stopFirst) {
                form.setFollowing(false);
                QVERIFY(!form.following());
                QVERIFY(driver->button("Command1")->isEnabled());
                const QString result = driver->label("Risultato")->text();
                const auto match =
                    QRegularExpression(QStringLiteral("^Sorgente: ritardo (\\d+[.,]\\d+) campioni"))
                        .match(result);
                QVERIFY2(match.hasMatch(), qPrintable(result));
                const double lag = match.captured(1).replace(',', '.').toDouble();
                QVERIFY2(std::abs(lag - kDelay) <= 0.5, qPrintable(result));
            }
            driver.reset();
            QCOMPARE(sources.streams, 1);
            // Whatever the analysis posted meanwhile is dropped with the window.
            QCoreApplication::processEvents();
        }
    }

    // An open file is replayed instead of the source, every row of it, and
    // the mode ends by itself at its last sample.
    void anOpenFileReplaysToItsEnd() {
        NoiseSources sources;
        Form3Driver driver;
        driver.form->offerSources(sources, CaptureOptions::Port{});
        driver.form->openCapture(std::string("conteggio.sr"));
        // Rows of 24,000 samples: five whole ones in the file's 130,000.
        driver.form->setRowPeriod(1ms);
        driver.form->setFollowing(true);
        QVERIFY(driver.form->following());
        QVERIFY(!driver.button("Command1")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(!driver.form->following(), 60'000);
        QCOMPARE(driver.form->bearingTime()->rows(), 5);
        QCOMPARE(sources.streams, 0);
        QVERIFY(driver.button("Command1")->isEnabled());
        QVERIFY(driver.slider()->isEnabled());
        const QString result = driver.label("Risultato")->text();
        QVERIFY2(result.endsWith(QString::fromStdString(' ' + replayEndedText())),
                 qPrintable(result));
    }

private:
    QTemporaryDir folder_;
};

QTEST_MAIN(FollowHandoffTest)
#include "follow_handoff_test.moc"
