// The analysis as the operator sees it: 242 lags computed and each bar painted
// as soon as it is done, on Qt's offscreen platform.

#include "form3.h"
#include "operator_error.h"

#include <QApplication>
#include <QWindow>
#include <benchmark/benchmark.h>

namespace {

class NoSource final : public CaptureSource {
public:
    void scan(SampleStore&) override {
        throw OperatorError(OperatorError::Kind::PortMissing, "/dev/parport0");
    }
};

void BM_AnalysisWithDrawing(benchmark::State& state) {
    NoSource source;
    Form3 window(source);
    window.show();
    // Bars are painted only on a window that the window system shows.
    while (!window.windowHandle()->isExposed()) {
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    window.Command4_Click();
    for (auto _ : state) {
        window.command2_click();
    }
}
BENCHMARK(BM_AnalysisWithDrawing)->Unit(benchmark::kMillisecond);

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
