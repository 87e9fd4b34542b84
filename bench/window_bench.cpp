// The analysis as the operator sees it: from the click handler's start until
// the window system holds the last bar. After the handler the pending events
// are processed, which paints and flushes what the handler asked for, and on
// X11 one round trip to the server makes sure it has taken all of it in.
// BM_BareAnalysis is the computation alone, for comparison in the same run.
//
// QT_QPA_PLATFORM chooses the platform, offscreen when it is unset; under a
// real X server: QT_QPA_PLATFORM=xcb xvfb-run build/default/bench/window_bench

#include "form3.h"
#include "operator_error.h"
#include "sector_correlator.h"
#include "session_files.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>
#include <benchmark/benchmark.h>
#include <memory>
#include <xcb/xcb.h>

namespace {

class NoSource final : public CaptureSource {
public:
    void scan(SampleStore&) override {
        throw OperatorError(OperatorError::Kind::PortMissing, "/dev/parport0");
    }
    std::uint64_t sampleRate() const override { return 50'000; }
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
    NoSource source;
    SessionFiles files({});
    Form3 window(source, files);
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
BENCHMARK(BM_AnalysisToScreen)->Unit(benchmark::kMillisecond);

void BM_BareAnalysis(benchmark::State& state) {
    auto store = std::make_unique<SampleStore>();
    double sink = 0.0;
    for (auto _ : state) {
        SectorCorrelator::analyse(*store, [&](Side, int, double value) { sink += value; });
        benchmark::DoNotOptimize(sink);
    }
}
BENCHMARK(BM_BareAnalysis)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
