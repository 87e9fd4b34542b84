// The analysis as the operator sees it: from the click handler's start until
// the window system holds the last bar. After the handler the pending events
// are processed, which paints and flushes what the handler asked for, and on
// X11 one round trip to the server makes sure it has taken all of it in.
// BM_BareAnalysis is the computation alone, for comparison in the same run.
//
// QT_QPA_PLATFORM chooses the platform, offscreen when it is unset; under a
// real X server: QT_QPA_PLATFORM=xcb xvfb-run build/default/bench/window_bench
// The window is measured at each scale factor of kScales, one process each,
// since Qt reads the factor once; QT_SCALE_FACTOR set outside picks one.

#include "form3.h"
#include "operator_error.h"
#include "sector_correlator.h"
#include "session_files.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

namespace {

class NoSource final : public CaptureSource {
public:
    Capture capture(CaptureWorker::Progress&) override {
        throw OperatorError(OperatorError::Kind::PortMissing, subject());
    }
    std::string subject() const override { return kPortDevice; }
};

// Waits for the X server to answer one request, so that every request sent
// before it has been carried out; nothing to wait for off X11.
void roundTripToTheWindowSystem() {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        return;
    }
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t* connection = x11->connection();
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));
}

void BM_AnalysisToScreen(benchmark::State& state) {
    SessionFiles files({});
    Form3 window(std::make_shared<NoSource>(), files);
    window.show();
    // Bars are painted only on a window that the window system shows.
    while (!window.windowHandle()->isExposed()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    window.Command4_Click();
    for (auto _ : state) {
        window.command2_click();
        QApplication::processEvents();
        roundTripToTheWindowSystem();
    }
    state.SetLabel(QGuiApplication::platformName().toStdString());
}

void BM_BareAnalysis(benchmark::State& state) {
    auto store = std::make_unique<SampleStore>();
    double sink = 0.0;
    for (auto _ : state) {
        SectorCorrelator::analyse(*store, [&](Side, int, double value) { sink += value; });
        benchmark::DoNotOptimize(sink);
    }
}

// Common desktop scales: fractional ones draw each bar across pixel edges.
const char* const kScales[] = {"1", "1.25", "1.5", "2"};

int runAtScale(int argc, char* argv[], bool withBareAnalysis) {
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    const std::string name =
        "BM_AnalysisToScreen/scale:" + qgetenv("QT_SCALE_FACTOR").toStdString();
    benchmark::RegisterBenchmark(name.c_str(), BM_AnalysisToScreen)->Unit(benchmark::kMillisecond);
    if (withBareAnalysis) {
        benchmark::RegisterBenchmark("BM_BareAnalysis", BM_BareAnalysis)
            ->Unit(benchmark::kMillisecond);
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (!qEnvironmentVariableIsEmpty("QT_SCALE_FACTOR")) {
        return runAtScale(argc, argv, true);
    }
    for (const char* scale : kScales) {
        const pid_t child = ::fork();
        if (child == 0) {
            qputenv("QT_SCALE_FACTOR", scale);
            std::_Exit(runAtScale(argc, argv, scale == kScales[0]));
        }
        int status = 0;
        if (child < 0 || ::waitpid(child, &status, 0) != child || status != 0) {
            return 1;
        }
    }
    return 0;
}
